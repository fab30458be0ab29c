#pragma once
// An instance with one logged-in session, and a readable form of engine values.

#include "instance.h"
#include "type_rules.h"

#include <QString>

#include <cstdio>

inline QString typeName(testserver::SqlType type) {
    return QString::fromLatin1(testserver::types::name(type));
}

inline QString valueText(const testserver::Value& v, testserver::SqlType type) {
    using namespace testserver;
    if (std::holds_alternative<std::monostate>(v))
        return "NULL";
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return QString::number(*i);
    if (const auto* d = std::get_if<double>(&v))
        return type == SqlType::DateTime ? QString::fromStdString(types::formatDateTime(*d))
                                         : QString::number(*d, 'g', 15);
    if (const auto* s = std::get_if<std::string>(&v))
        return QString::fromStdString(*s);
    QString hex = "0x";
    for (auto b : std::get<std::vector<std::uint8_t>>(v))
        hex += QString("%1").arg(b, 2, 16, QChar('0')).toUpper();
    return hex;
}

struct EngineFixture {
    testserver::Instance instance;
    int spid = 0;

    EngineFixture() {
        testserver::LoginInfo login;
        login.user = "sa";
        login.password = "Dervel-2026";
        login.host = "TESTHOST";
        login.program = "engine tests";
        spid = instance.login(login).spid;
    }

    testserver::BatchOutcome run(const std::string& sql) { return instance.execute(spid, sql); }

    // The first statement's outcome; an empty one when the batch produced none.
    testserver::StatementOutcome first(const std::string& sql) {
        auto out = run(sql);
        return out.statements.empty() ? testserver::StatementOutcome{} : out.statements.front();
    }
};
