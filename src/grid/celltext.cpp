#include "grid/celltext.h"

#include "sampling/monitorrec.h"

#include <QDate>
#include <QLocale>
#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr double kFirstDay = -693593; // 0001-01-01
constexpr double kLastDay = 2958465;  // 9999-12-31
constexpr qint64 kMsPerDay = 86400000;

// A rate has no text before the session's second snapshot.
QString rateText(double ARate, const QString& ASeparator) {
    return ARate < 0 ? QString() : GroupedText(ARate, ASeparator);
}

QString blockerText(std::int32_t ABlocking) {
    return ABlocking == 0 ? QString() : QString::number(ABlocking);
}

} // namespace

QString GroupedText(double AValue, const QString& AThousandSeparator) {
    // -0.4 rounds to -0, which compares equal to 0 and so gets no minus sign.
    const double rounded = std::round(AValue);
    if (!(std::fabs(rounded) < 9.2e18)) { // beyond 64 bits, or NaN: the slow way
        const QString digits = QString::number(std::fabs(rounded), 'f', 0);
        QString text;
        if (rounded < 0)
            text += u'-';
        for (qsizetype i = 0; i < digits.size(); ++i) {
            if (i > 0 && (digits.size() - i) % 3 == 0)
                text += AThousandSeparator;
            text += digits[i];
        }
        return text;
    }
    // Whole numbers are most of a grid: digits written straight into a buffer, right to
    // left, a separator after every third.
    std::uint64_t v = static_cast<std::uint64_t>(std::fabs(rounded));
    char16_t buffer[64];
    char16_t* end = buffer + 64;
    char16_t* p = end;
    const qsizetype sepLength = AThousandSeparator.size();
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0 && sepLength > 0) {
            p -= sepLength;
            std::copy_n(AThousandSeparator.utf16(), sepLength, p);
        }
        *--p = static_cast<char16_t>(u'0' + v % 10);
        v /= 10;
        ++digits;
    } while (v != 0);
    if (rounded < 0)
        *--p = u'-';
    return QString(reinterpret_cast<const QChar*>(p), end - p);
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
    const int seconds = static_cast<int>(ms / 1000);
    int year = 0, month = 0, day = 0;
    date.getDate(&year, &month, &day);
    // "dd.mm.yyyy hh:mm:ss", written digit by digit: the log writes thousands of these.
    char16_t t[19];
    auto two = [&t](int at, int value) {
        t[at] = static_cast<char16_t>(u'0' + value / 10);
        t[at + 1] = static_cast<char16_t>(u'0' + value % 10);
    };
    two(0, day);
    t[2] = u'.';
    two(3, month);
    t[5] = u'.';
    two(6, year / 100);
    two(8, year % 100);
    t[10] = u' ';
    two(11, seconds / 3600);
    t[13] = u':';
    two(14, seconds / 60 % 60);
    t[16] = u':';
    two(17, seconds % 60);
    return QString(reinterpret_cast<const QChar*>(t), 19);
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
    case 37:
        return rateText(ARec.CpuRate, sep);
    case 38:
        return rateText(ARec.ReadsRate, sep);
    case 39:
        return rateText(ARec.WritesRate, sep);
    case 40:
        return rateText(ARec.LogicalReadsRate, sep);
    default:
        return QString();
    }
}

const QString& SystemThousandSeparator() {
    static const QString separator = QLocale::system().groupSeparator();
    return separator;
}
