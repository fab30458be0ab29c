#pragma once
// A value read from a result column, and its conversions to the types the app reads.

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>

struct TDbValue {
    enum Kind { Null, Integer, Float, DateTime, Boolean, Text, Bytes };
    Kind kind = Null;
    std::int64_t integer = 0; // Integer, Boolean
    double number = 0;        // Float; DateTime as days since 1899-12-30, time as the fraction
    QString text;
    QByteArray bytes;
    // Text read a block at a time stays in the cursor's buffer until the next fetch,
    // instead of in `text`: a reader that keeps an equal string then allocates nothing.
    const char16_t* view = nullptr;
    qsizetype viewSize = 0;

    QStringView textView() const { return view ? QStringView(view, viewSize) : QStringView(text); }
    // A copy that no longer points into the cursor's buffer.
    TDbValue owned() const;
};

// A result column's value under its name. Conversions of NULL, and conversions that
// lose the value, throw EDbError naming the column.
class TDbField {
public:
    TDbField(const QString* name, const TDbValue* value) : FName(name), FValue(value) {}
    const QString& name() const { return *FName; }
    const TDbValue& value() const { return *FValue; }
    bool isNull() const { return FValue->kind == TDbValue::Null; }

    QString asString() const;
    // target = asString(), without a new string when target already holds this text.
    void assignTo(QString& target) const;
    std::int32_t asInteger() const;
    std::int64_t asLargeInt() const;
    double asDateTime() const;
    bool asBoolean() const;

private:
    const QString* FName;
    const TDbValue* FValue;
};

// Days since 1899-12-30 with the time of day as the fraction; before that day the
// fraction still counts forward in time (-1.25 is 1899-12-29 06:00).
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
