#include "name_scope.h"

#include "sql_error.h"

namespace testserver {

std::string JoinedName(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : ".") + p;
    return out;
}

NameScope::NameScope(const NameScope* parent) : parent_(parent) {}

void NameScope::add(NameBinding binding) {
    bindings_.push_back(std::move(binding));
}

void NameScope::markOuter(std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last && i < bindings_.size(); ++i)
        bindings_[i].outer = true;
}

TypedSql NameScope::resolve(const Expr& e) const {
    const std::string& name = e.parts.back();
    const std::vector<std::string> qualifier(e.parts.begin(), e.parts.end() - 1);
    for (const NameScope* s = this; s; s = s->parent_) {
        const NameBinding* found = nullptr;
        int index = -1;
        for (const auto& b : s->bindings_) {
            if (!qualifier.empty()) {
                bool hit = false;
                if (b.alias) {
                    hit = qualifier.size() == 1 && equalsNoCase(qualifier[0], *b.alias);
                } else {
                    // sys.dm_exec_sessions.x or dm_exec_sessions.x
                    const std::vector<std::string> full = {b.object->schema, b.object->name};
                    hit = qualifier.size() <= 3 && equalsNoCase(qualifier.back(), full[1]) &&
                          (qualifier.size() == 1 ||
                           equalsNoCase(qualifier[qualifier.size() - 2], full[0]));
                }
                if (!hit)
                    continue;
                const int i = b.object->columnIndex(name);
                if (i < 0)
                    throw SqlError(207, 16, "Invalid column name '" + name + "'.", e.token.line);
                found = &b;
                index = i;
                break;
            }
            const int i = b.object->columnIndex(name);
            if (i < 0)
                continue;
            if (found)
                throw SqlError(209, 16, "Ambiguous column name '" + name + "'.", e.token.line);
            found = &b;
            index = i;
        }
        if (found) {
            const auto& c = found->object->columns[static_cast<std::size_t>(index)];
            return typedSql(found->sqlAlias + "." + sqlIdentifier(c.name), c.type,
                            c.nullable || found->outer, c.length);
        }
    }
    if (!qualifier.empty())
        throw SqlError(4104, 16,
                       "The multi-part identifier \"" + JoinedName(e.parts) +
                           "\" could not be bound.",
                       e.token.line);
    throw SqlError(207, 16, "Invalid column name '" + name + "'.", e.token.line);
}

} // namespace testserver
