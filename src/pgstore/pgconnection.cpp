#include "pgstore/pgconnection.h"

#include <QCoreApplication>
#include <libpq-fe.h>

namespace {

// NOTICEs ("relation already exists, skipping") would go to stderr between the
// recorder's own lines; what matters comes back as an error.
void quiet(void*, const char*) {}

QString pgText(const char* AText) {
    return QString::fromUtf8(AText).trimmed();
}

} // namespace

bool IsPgAddress(const QString& AText) {
    return AText.startsWith(QLatin1String("postgresql://")) ||
           AText.startsWith(QLatin1String("postgres://"));
}

bool PgAddressHasPassword(const QString& AAddress) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(AAddress.toUtf8().constData(), &error);
    PQfreemem(error);
    if (!options)
        return false;
    bool has = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            has = true;
    PQconninfoFree(options);
    return has;
}

TPgResult::~TPgResult() {
    PQclear(FResult);
}

TPgResult& TPgResult::operator=(TPgResult&& AOther) noexcept {
    if (this != &AOther) {
        PQclear(FResult);
        FResult = std::exchange(AOther.FResult, nullptr);
    }
    return *this;
}

int TPgResult::rows() const {
    return FResult ? PQntuples(FResult) : 0;
}

bool TPgResult::isNull(int ARow, int AColumn) const {
    return PQgetisnull(FResult, ARow, AColumn) != 0;
}

QString TPgResult::text(int ARow, int AColumn) const {
    return QString::fromUtf8(PQgetvalue(FResult, ARow, AColumn),
                             PQgetlength(FResult, ARow, AColumn));
}

qint64 TPgResult::integer(int ARow, int AColumn) const {
    const char* v = PQgetvalue(FResult, ARow, AColumn);
    if (PQfformat(FResult, AColumn) == 1) {
        // Binary: network byte order, as wide as the column's type.
        const int n = PQgetlength(FResult, ARow, AColumn);
        qint64 x = (n > 0 && (v[0] & 0x80)) ? -1 : 0;
        for (int i = 0; i < n; ++i)
            x = qint64((quint64(x) << 8) | quint8(v[i]));
        return x;
    }
    if (*v == 't')
        return 1;
    if (*v == 'f')
        return 0;
    return QByteArray(v).toLongLong();
}

QByteArray TPgResult::bytes(int ARow, int AColumn) const {
    return QByteArray(PQgetvalue(FResult, ARow, AColumn), PQgetlength(FResult, ARow, AColumn));
}

TPgConnection::TPgConnection(const QString& AAddress) {
    const QByteArray address = AAddress.toUtf8();
    // The URI first; the name a DBA sees in pg_stat_activity unless the URI gives one.
    const char* keywords[] = {"dbname", "fallback_application_name", nullptr};
    const char* values[] = {address.constData(), "dervel", nullptr};
    FConn = PQconnectdbParams(keywords, values, 1);
    if (!FConn || PQstatus(FConn) != CONNECTION_OK) {
        const QString why = FConn ? pgText(PQerrorMessage(FConn)) : QString();
        PQfinish(FConn);
        FConn = nullptr;
        // The address as typed may hold a password: it is not repeated.
        throw ERecordingError(
            QCoreApplication::translate("PgStore", "Не удалось подключиться к базе записей: %1")
                .arg(why));
    }
    PQsetNoticeProcessor(FConn, quiet, nullptr);
    FWhere = QStringLiteral("postgresql://%1@%2:%3/%4")
                 .arg(QString::fromUtf8(PQuser(FConn)), QString::fromUtf8(PQhost(FConn)),
                      QString::fromUtf8(PQport(FConn)), QString::fromUtf8(PQdb(FConn)));
}

TPgConnection::~TPgConnection() {
    PQfinish(FConn);
}

ERecordingError TPgConnection::error(const QString& AWhat) const {
    return ERecordingError(
        QCoreApplication::translate("PgStore", "Ошибка базы записей %1: %2").arg(FWhere, AWhat));
}

bool TPgConnection::alive() const {
    return PQstatus(FConn) == CONNECTION_OK;
}

bool TPgConnection::reset() {
    PQreset(FConn);
    return alive();
}

TPgResult TPgConnection::check(pg_result* AResult) {
    TPgResult result(AResult);
    const ExecStatusType status = AResult ? PQresultStatus(AResult) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        return result;
    throw error(AResult ? pgText(PQresultErrorMessage(AResult)) : pgText(PQerrorMessage(FConn)));
}

TPgResult TPgConnection::exec(const QString& ASql) {
    return check(PQexec(FConn, ASql.toUtf8().constData()));
}

TPgResult TPgConnection::exec(const QString& ASql,
                              const std::vector<std::optional<QString>>& AParams,
                              const QByteArray* AData, bool ABinary) {
    std::vector<QByteArray> texts;
    texts.reserve(AParams.size());
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const std::optional<QString>& p : AParams) {
        texts.push_back(p ? p->toUtf8() : QByteArray());
        values.push_back(p ? texts.back().constData() : nullptr);
        lengths.push_back(0);
        formats.push_back(0);
    }
    if (AData) {
        values.push_back(AData->constData());
        lengths.push_back(int(AData->size()));
        formats.push_back(1);
    }
    return check(PQexecParams(FConn, ASql.toUtf8().constData(), int(values.size()), nullptr,
                              values.data(), lengths.data(), formats.data(), ABinary ? 1 : 0));
}
