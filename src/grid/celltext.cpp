#include "grid/celltext.h"

#include "sampling/monitorrec.h"

#include <QDate>
#include <QLocale>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double kFirstDay = -693593; // 0001-01-01
constexpr double kLastDay = 2958465;  // 9999-12-31
constexpr qint64 kMsPerDay = 86400000;

QString blockerText(std::int32_t ABlocking) {
    return ABlocking == 0 ? QString() : QString::number(ABlocking);
}

} // namespace

QString GroupedText(double AValue, const QString& AThousandSeparator) {
    // -0.4 rounds to -0, which compares equal to 0 and so gets no minus sign.
    const double rounded = std::round(AValue);
    const QString digits = QString::number(std::fabs(rounded), 'f', 0);

    QString text;
    if (rounded < 0)
        text += u'-';
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            text += AThousandSeparator;
        text += digits[i];
    }
    return text;
}

QString DateTimeText(double ADays) {
    if (!(ADays > kFirstDay - 1 && ADays < kLastDay + 1))
        return QString(); // also NaN
    double whole = 0;
    const double fraction = std::modf(ADays, &whole);
    QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    qint64 ms = std::llround(std::fabs(fraction) * double(kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        date = date.addDays(1);
        if (date.year() > 9999)
            return QString();
    }
    const qint64 seconds = ms / 1000;
    return QString::asprintf("%02d.%02d.%04d %02d:%02d:%02d", date.day(), date.month(), date.year(),
                             int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
}

QString CellText(const TMonitorRec& ARec, int AColumn, const QString& AThousandSeparator) {
    const QString& sep = AThousandSeparator;
    switch (AColumn) {
    case 0:
        return QString::number(ARec.SPID);
    case 1:
        return ARec.Login;
    case 2:
        return ARec.Status;
    case 3:
        return ARec.Command;
    case 4:
        return ARec.DB;
    case 5:
        return ARec.ProgName;
    case 6:
        return DateTimeText(ARec.LoginTime);
    case 7:
        return DateTimeText(ARec.LastTime);
    case 8:
        return GroupedText(ARec.CPU, sep);
    case 9:
        return GroupedText(double(ARec.IO), sep);
    case 10:
        return GroupedText(ARec.Mem, sep);
    case 11:
        return ARec.Host;
    case 12:
        return ARec.NTLogin;
    case 13:
        return blockerText(ARec.Blocking);
    case 14:
        return ARec.ClientInterface;
    case 15:
        return ARec.NTDomain;
    case 16:
        return GroupedText(ARec.ElapsedTime, sep);
    case 17:
        return GroupedText(double(ARec.Reads), sep);
    case 18:
        return GroupedText(double(ARec.Writes), sep);
    case 19:
        return GroupedText(double(ARec.LogicalReads), sep);
    case 20:
        return QString::number(ARec.IsolationLevel);
    case 21:
        return GroupedText(ARec.LockTimeout, sep);
    case 22:
        return GroupedText(double(ARec.RowCnt), sep);
    case 23:
        return ARec.OriginalLogin;
    case 24:
        return QString::number(ARec.OpenTran);
    case 25:
        return ARec.WaitType;
    case 26:
        return GroupedText(ARec.WaitTime, sep);
    case 27:
        return ARec.WaitResource;
    case 28:
        return QString::number(ARec.NestedLevel);
    case 29:
        return ARec.CLR ? u"True"_s : u"False"_s;
    case 30:
        return ARec.NetTransport;
    case 31:
        return ARec.Protocol;
    case 32:
        return ARec.AuthScheme;
    case 33:
        return ARec.ClientAddress;
    case 34:
        return QString::number(ARec.ClientPort);
    case 35:
        return ARec.ServerAddress;
    case 36:
        return QString::number(ARec.ServerPort);
    default:
        return QString();
    }
}

const QString& SystemThousandSeparator() {
    static const QString separator = QLocale::system().groupSeparator();
    return separator;
}
