#include "rpc_planner.h"

#include "sql_error.h"
#include "tds_encoder.h"
#include "tokenizer.h"
#include "type_rules.h"

#include <cctype>
#include <cstdio>

namespace testserver {

namespace {

std::string lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

Message error(int number, int state, std::string text) {
    Message m;
    m.number = number;
    m.severity = 16;
    m.state = state;
    m.text = std::move(text);
    return m;
}

const std::string* textOf(const tds::RpcParameter* p) {
    return p ? std::get_if<std::string>(&p->value) : nullptr;
}

bool isDateTimeType(std::uint8_t type) {
    switch (type) {
    case 0x3A:
    case 0x3D:
    case 0x6F:
    case 0x28:
    case 0x29:
    case 0x2A:
    case 0x2B:
        return true;
    default:
        return false;
    }
}

std::string literal(const tds::RpcParameter& p) {
    const Value& v = p.value;
    if (std::holds_alternative<std::monostate>(v))
        return "NULL";
    // Built by appending: GCC 12 misreads "literal" + string as an overlapping copy.
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        if (*i >= 0)
            return std::to_string(*i);
        std::string text(1, '(');
        text += std::to_string(*i);
        text += ')';
        return text;
    }
    if (const auto* d = std::get_if<double>(&v)) {
        if (isDateTimeType(p.type)) {
            std::string text(1, '\'');
            text += types::formatDateTime(*d);
            text += '\'';
            return text;
        }
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        const std::string text = buf;
        // A literal without a point or exponent would be read as an integer.
        const bool plain = text.find_first_of(".eEn") == std::string::npos;
        const std::string number = plain ? text + ".0" : text;
        return *d < 0 ? "(" + number + ")" : number;
    }
    if (const auto* s = std::get_if<std::string>(&v)) {
        std::string out = "N'";
        for (char c : *s)
            out += c == '\'' ? std::string("''") : std::string(1, c);
        return out + "'";
    }
    std::string out = "0x";
    char hex[3];
    for (auto b : std::get<std::vector<std::uint8_t>>(v)) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    return out;
}

RpcReturnValue handleValue(std::uint16_t ordinal, const tds::RpcParameter& p, int handle) {
    RpcReturnValue r;
    r.ordinal = ordinal;
    r.name = p.name;
    r.typeInfo = std::string("\x26\x04", 2); // int, as SQL Server returns handles
    r.valueBytes = std::string(1, '\x04');
    tds::putU32(r.valueBytes, static_cast<std::uint32_t>(handle));
    return r;
}

} // namespace

std::vector<std::string> declaredParameters(const std::string& declaration) {
    std::vector<std::string> names;
    int depth = 0;
    bool expectName = true;
    for (std::size_t i = 0; i < declaration.size(); ++i) {
        const char c = declaration[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            expectName = true;
        } else if (c == '@' && expectName) {
            std::size_t end = i + 1;
            while (end < declaration.size() &&
                   !std::isspace(static_cast<unsigned char>(declaration[end])) &&
                   declaration[end] != ',' && declaration[end] != '(')
                ++end;
            names.push_back(declaration.substr(i, end - i));
            expectName = false;
            i = end - 1;
        }
    }
    return names;
}

std::string bindParameters(const std::string& statement, const std::vector<std::string>& names,
                           const std::vector<const tds::RpcParameter*>& values) {
    std::vector<Token> tokens;
    try {
        tokens = tokenize(statement);
    } catch (const SqlError&) {
        return statement; // running it reports the error
    }
    std::string out;
    std::size_t copied = 0;
    for (const auto& t : tokens) {
        if (t.kind != TokenKind::Variable)
            continue;
        for (std::size_t k = 0; k < names.size() && k < values.size(); ++k) {
            if (values[k] && lower(names[k]) == lower(t.text)) {
                out.append(statement, copied, t.begin - copied);
                out += literal(*values[k]);
                copied = t.end;
                break;
            }
        }
    }
    out.append(statement, copied, std::string::npos);
    return out;
}

std::optional<int> RpcPlanner::handleArgument(const tds::RpcCall& call, std::size_t index,
                                              RpcPlan& plan) const {
    if (index >= call.parameters.size()) {
        plan.error = error(201, 4,
                           "Procedure or function '" + plan.procedure +
                               "' expects parameter '@handle', which was not supplied.");
        return std::nullopt;
    }
    const auto* handle = std::get_if<std::int64_t>(&call.parameters[index].value);
    const int id = handle ? static_cast<int>(*handle) : 0;
    if (!prepared_.count(id)) {
        plan.error = error(
            8179, 4, "Could not find prepared statement with handle " + std::to_string(id) + ".");
        return std::nullopt;
    }
    return id;
}

void RpcPlanner::planExecution(RpcPlan& plan, const Prepared& prepared,
                               const std::vector<tds::RpcParameter>& params,
                               std::size_t firstValue) {
    const std::vector<std::string> names = declaredParameters(prepared.declaration);
    std::vector<const tds::RpcParameter*> values(names.size(), nullptr);
    std::size_t position = 0;
    for (std::size_t i = firstValue; i < params.size(); ++i, ++position) {
        const auto& p = params[i];
        std::size_t slot = position;
        if (!p.name.empty())
            for (std::size_t k = 0; k < names.size(); ++k)
                if (lower(names[k]) == lower(p.name))
                    slot = k;
        if (slot < values.size())
            values[slot] = &p;
        if (p.isOutput()) {
            RpcReturnValue r;
            r.ordinal = static_cast<std::uint16_t>(i);
            r.name = p.name;
            r.typeInfo = p.typeInfo;
            r.valueBytes = p.valueBytes;
            plan.returnValues.push_back(std::move(r));
        }
    }
    for (std::size_t k = 0; k < names.size(); ++k)
        if (!values[k]) {
            plan.error = error(8178, 1,
                               "The parameterized query '(" + prepared.declaration + ")" +
                                   prepared.statement.substr(0, 100) + "' expects the parameter '" +
                                   names[k] + "', which was not supplied.");
            return;
        }
    plan.statement = bindParameters(prepared.statement, names, values);
}

RpcPlan RpcPlanner::plan(const tds::RpcCall& call) {
    RpcPlan plan;
    plan.procedure = tds::procedureName(call);
    plan.parameterCount = static_cast<int>(call.parameters.size());
    const auto& params = call.parameters;
    auto param = [&](std::size_t i) { return i < params.size() ? &params[i] : nullptr; };
    auto missing = [&](const char* name) {
        plan.error = error(201, 4,
                           "Procedure or function '" + plan.procedure + "' expects parameter '" +
                               name + "', which was not supplied.");
    };
    const std::string name = lower(plan.procedure);
    // Called by name, the special procedures may carry their schema.
    const std::string bare = name.rfind("sys.", 0) == 0 ? name.substr(4) : name;

    if (bare == "sp_executesql") {
        const auto* stmt = textOf(param(0));
        if (!stmt)
            return missing("@statement"), plan;
        const auto* declaration = textOf(param(1));
        planExecution(plan, Prepared{declaration ? *declaration : "", *stmt}, params, 2);
        return plan;
    }
    if (bare == "sp_prepare" || bare == "sp_prepexec") {
        const auto* handle = param(0);
        const auto* stmt = textOf(param(2));
        if (!handle)
            return missing("@handle"), plan;
        if (!stmt)
            return missing("@stmt"), plan;
        const auto* declaration = textOf(param(1));
        const int id = nextHandle_++;
        const Prepared prepared{declaration ? *declaration : "", *stmt};
        prepared_[id] = prepared;
        if (handle->isOutput())
            plan.returnValues.push_back(handleValue(0, *handle, id));
        // sp_prepare takes @options after the text; sp_prepexec takes the values there.
        if (bare == "sp_prepexec")
            planExecution(plan, prepared, params, 3);
        return plan;
    }
    if (bare == "sp_execute") {
        const auto id = handleArgument(call, 0, plan);
        if (id)
            planExecution(plan, prepared_.at(*id), params, 1);
        return plan;
    }
    if (bare == "sp_unprepare") {
        if (const auto id = handleArgument(call, 0, plan))
            prepared_.erase(*id);
        return plan;
    }
    plan.returnsStatus = false;
    plan.error = error(2812, 62, "Could not find stored procedure '" + plan.procedure + "'.");
    return plan;
}

} // namespace testserver
