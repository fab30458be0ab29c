#include "sampling/monitorrecreader.h"

#include "database/dbquery.h"

namespace {

// The optional columns in the order they are read.
constexpr const char* kOptional[34] = {"Command",       "Login",        "DB",
                                       "ProgName",      "LoginTime",    "LastTime",
                                       "CPU",           "IO",           "Mem",
                                       "Host",          "NTLogin",      "ClientInterface",
                                       "NTDomain",      "ElapsedTime",  "Reads",
                                       "Writes",        "LogicalReads", "IsolationLevel",
                                       "LockTimeout",   "RowCnt",       "OriginalLogin",
                                       "OpenTran",      "WaitType",     "WaitTime",
                                       "WaitResource",  "NestedLevel",  "CLR",
                                       "NetTransport",  "Protocol",     "AuthScheme",
                                       "ClientAddress", "ClientPort",   "ServerAddress",
                                       "ServerPort"};

constexpr const char* kMandatory[5] = {"Blocking", "Blocked", "IsUser", "RequestID", "SelfID"};

// A record read again for the next snapshot keeps the strings that did not change, so a
// steady server costs no allocation per row.
void text(QString& target, const TDbField* f) {
    if (f)
        f->assignTo(target);
    else if (!target.isNull())
        target = QString();
}
std::int32_t int32(const TDbField* f) {
    return f ? f->asInteger() : 0;
}
std::int64_t int64(const TDbField* f) {
    return f ? f->asLargeInt() : 0;
}
double dateTime(const TDbField* f) {
    return f ? f->asDateTime() : 0;
}
bool boolean(const TDbField* f) {
    return f ? f->asBoolean() : false;
}

} // namespace

void TMonitorRecReader::resolve() {
    FSPID = &FQuery.fieldByName(QStringLiteral("SPID"));
    for (int i = 0; i < 34; ++i)
        FOptional[i] = FQuery.findField(QLatin1String(kOptional[i]));
    FStatus = &FQuery.fieldByName(QStringLiteral("Status"));
    for (int i = 0; i < 5; ++i)
        FMandatory[i] = &FQuery.fieldByName(QLatin1String(kMandatory[i]));
    FResolved = true;
}

void TMonitorRecReader::fill(TMonitorRec& r) {
    if (!FResolved)
        resolve();
    const TDbField* const* o = FOptional;
    r.SPID = FSPID->asInteger();
    text(r.Command, o[0]);
    text(r.Login, o[1]);
    text(r.DB, o[2]);
    text(r.ProgName, o[3]);
    r.LoginTime = dateTime(o[4]);
    r.LastTime = dateTime(o[5]);
    r.CPU = int32(o[6]);
    r.IO = int64(o[7]);
    r.Mem = int32(o[8]);
    text(r.Host, o[9]);
    text(r.NTLogin, o[10]);
    text(r.ClientInterface, o[11]);
    text(r.NTDomain, o[12]);
    r.ElapsedTime = int32(o[13]);
    r.Reads = int64(o[14]);
    r.Writes = int64(o[15]);
    r.LogicalReads = int64(o[16]);
    r.IsolationLevel = int32(o[17]);
    r.LockTimeout = int32(o[18]);
    r.RowCnt = int64(o[19]);
    text(r.OriginalLogin, o[20]);
    r.OpenTran = int32(o[21]);
    text(r.WaitType, o[22]);
    r.WaitTime = int32(o[23]);
    text(r.WaitResource, o[24]);
    r.NestedLevel = int32(o[25]);
    r.CLR = boolean(o[26]);
    text(r.NetTransport, o[27]);
    text(r.Protocol, o[28]);
    text(r.AuthScheme, o[29]);
    text(r.ClientAddress, o[30]);
    r.ClientPort = int32(o[31]);
    text(r.ServerAddress, o[32]);
    r.ServerPort = int32(o[33]);
    FStatus->assignTo(r.Status);
    r.Blocking = FMandatory[0]->asInteger();
    r.Blocked = FMandatory[1]->asBoolean();
    r.IsUser = FMandatory[2]->asBoolean();
    r.RequestID = FMandatory[3]->asInteger();
    r.SelfID = FMandatory[4]->asBoolean();
    r.Color = 0;
}
