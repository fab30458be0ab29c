#include "sampling/monitorrecreader.h"

#include "platform/dbquery.h"

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

QString text(const TDbField* f) {
    return f ? f->asString() : QString();
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
    r.Command = text(o[0]);
    r.Login = text(o[1]);
    r.DB = text(o[2]);
    r.ProgName = text(o[3]);
    r.LoginTime = dateTime(o[4]);
    r.LastTime = dateTime(o[5]);
    r.CPU = int32(o[6]);
    r.IO = int64(o[7]);
    r.Mem = int32(o[8]);
    r.Host = text(o[9]);
    r.NTLogin = text(o[10]);
    r.ClientInterface = text(o[11]);
    r.NTDomain = text(o[12]);
    r.ElapsedTime = int32(o[13]);
    r.Reads = int64(o[14]);
    r.Writes = int64(o[15]);
    r.LogicalReads = int64(o[16]);
    r.IsolationLevel = int32(o[17]);
    r.LockTimeout = int32(o[18]);
    r.RowCnt = int64(o[19]);
    r.OriginalLogin = text(o[20]);
    r.OpenTran = int32(o[21]);
    r.WaitType = text(o[22]);
    r.WaitTime = int32(o[23]);
    r.WaitResource = text(o[24]);
    r.NestedLevel = int32(o[25]);
    r.CLR = boolean(o[26]);
    r.NetTransport = text(o[27]);
    r.Protocol = text(o[28]);
    r.AuthScheme = text(o[29]);
    r.ClientAddress = text(o[30]);
    r.ClientPort = int32(o[31]);
    r.ServerAddress = text(o[32]);
    r.ServerPort = int32(o[33]);
    r.Status = FStatus->asString();
    r.Blocking = FMandatory[0]->asInteger();
    r.Blocked = FMandatory[1]->asBoolean();
    r.IsUser = FMandatory[2]->asBoolean();
    r.RequestID = FMandatory[3]->asInteger();
    r.SelfID = FMandatory[4]->asBoolean();
    r.Color = 0;
}
