#include "database/dbvalue.h"

#include "database/dberror.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>
#include <limits>

namespace {

[[noreturn]] void fail(const QString& column, const QString& what) {
    throw EDbError(QStringLiteral("Field '%1': %2").arg(column, what));
}

[[noreturn]] void failNull(const QString& column, const char* type) {
    fail(column, QStringLiteral("NULL cannot be converted to %1").arg(QLatin1String(type)));
}

// Howard Hinnant's days_from_civil: days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

QString dateTimeText(double value) {
    const double day = std::trunc(value);
    const double fraction = std::fabs(value - day);
    qint64 ms = std::llround(fraction * 86400000.0);
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(day));
    const QTime time = QTime(0, 0).addMSecs(static_cast<int>(std::min<qint64>(ms, 86399999)));
    return QLocale::system().toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
           time.toString(QStringLiteral("HH:mm:ss"));
}

std::int64_t toInt64(const TDbValue& v, const QString& column, const char* type) {
    switch (v.kind) {
    case TDbValue::Null:
        failNull(column, type);
    case TDbValue::Integer:
    case TDbValue::Boolean:
        return v.integer;
    case TDbValue::Float:
    case TDbValue::DateTime:
        if (!std::isfinite(v.number) || std::fabs(v.number) > 9.2e18)
            fail(column,
                 QStringLiteral("%1 does not fit %2").arg(v.number).arg(QLatin1String(type)));
        return std::llround(v.number);
    case TDbValue::Text: {
        bool ok = false;
        const qlonglong n = v.textView().trimmed().toLongLong(&ok);
        if (!ok)
            fail(column, QStringLiteral("'%1' is not a valid integer value").arg(v.textView()));
        return n;
    }
    case TDbValue::Bytes:
        break;
    }
    fail(column, QStringLiteral("binary data cannot be converted to %1").arg(QLatin1String(type)));
}

} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    const double days =
        static_cast<double>(daysFromCivil(year, month, day) - daysFromCivil(1899, 12, 30));
    const double time = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / 86400000.0;
    return days < 0 ? days - time : days + time;
}

QString TDbField::asString() const {
    const TDbValue& v = *FValue;
    switch (v.kind) {
    case TDbValue::Null:
        failNull(name(), "text");
    case TDbValue::Integer:
        return QString::number(v.integer);
    case TDbValue::Float:
        return QString::number(v.number, 'g', 15);
    case TDbValue::DateTime:
        return dateTimeText(v.number);
    case TDbValue::Boolean:
        return v.integer ? QStringLiteral("True") : QStringLiteral("False");
    case TDbValue::Text:
        return v.view ? v.textView().toString() : v.text;
    case TDbValue::Bytes:
        return QStringLiteral("0x") + QString::fromLatin1(v.bytes.toHex()).toUpper();
    }
    return {};
}

void TDbField::assignTo(QString& target) const {
    if (FValue->kind == TDbValue::Text) {
        const QStringView text = FValue->textView();
        if (target != text)
            target = FValue->view ? text.toString() : FValue->text;
        return;
    }
    target = asString();
}

TDbValue TDbValue::owned() const {
    TDbValue copy = *this;
    if (view) {
        copy.text = textView().toString();
        copy.view = nullptr;
        copy.viewSize = 0;
    }
    return copy;
}

std::int32_t TDbField::asInteger() const {
    const std::int64_t n = toInt64(*FValue, name(), "integer");
    if (n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::int32_t>::max())
        fail(name(), QStringLiteral("%1 does not fit a 32-bit integer").arg(n));
    return static_cast<std::int32_t>(n);
}

std::int64_t TDbField::asLargeInt() const {
    return toInt64(*FValue, name(), "integer");
}

double TDbField::asDateTime() const {
    const TDbValue& v = *FValue;
    switch (v.kind) {
    case TDbValue::Null:
        failNull(name(), "date-time");
    case TDbValue::DateTime:
    case TDbValue::Float:
        return v.number;
    case TDbValue::Integer:
        return static_cast<double>(v.integer);
    default:
        fail(name(), QStringLiteral("the value cannot be converted to a date-time"));
    }
}

bool TDbField::asBoolean() const {
    const TDbValue& v = *FValue;
    switch (v.kind) {
    case TDbValue::Null:
        failNull(name(), "Boolean");
    case TDbValue::Boolean:
    case TDbValue::Integer:
        return v.integer != 0;
    case TDbValue::Float:
        return v.number != 0;
    case TDbValue::Text: {
        const QStringView s = v.textView().trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || s == QLatin1String("1"))
            return true;
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 || s == QLatin1String("0"))
            return false;
        fail(name(), QStringLiteral("'%1' is not a valid Boolean value").arg(v.textView()));
    }
    default:
        fail(name(), QStringLiteral("the value cannot be converted to Boolean"));
    }
}
