#include "registry/regreader.h"

#include "registry/regkey.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QStringList>

namespace {

class TParser {
public:
    TParser(TRegKey& root, TRegParseError& error) : FRoot(root), FError(error) {}
    bool Run(const QByteArray& bytes);

private:
    bool Fail(int line, const QString& reason);
    bool Decode(const QByteArray& bytes);
    bool Section(int line, QStringView text);
    bool ValueLine(int& index);
    bool QuotedText(int line, QStringView& rest, QString& text);
    bool HexBytes(int line, QStringView list, QByteArray& data);

    TRegKey& FRoot;
    TRegParseError& FError;
    QStringList FLines;
    TRegKey* FKey = nullptr; // the section being read; null before the first
    bool FDeletedSection = false;
};

bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool ParseHex(QStringView digits, int maxDigits, quint32& number) {
    if (digits.isEmpty() || digits.size() > maxDigits)
        return false;
    number = 0;
    for (QChar c : digits) {
        if (!IsHexDigit(c))
            return false;
        const char16_t u = c.unicode();
        number = number * 16 + (u <= u'9' ? u - u'0' : (u | 0x20) - u'a' + 10);
    }
    return true;
}

QByteArray SzBytes(const QString& text) {
    QByteArray data;
    data.reserve(2 * text.size() + 2);
    for (QChar c : text) {
        data += char(c.unicode() & 0xff);
        data += char(c.unicode() >> 8);
    }
    data += '\0';
    data += '\0';
    return data;
}

bool TParser::Fail(int line, const QString& reason) {
    FError.Line = line;
    FError.Reason = reason;
    return false;
}

bool TParser::Decode(const QByteArray& bytes) {
    if (bytes.isEmpty())
        return Fail(1, QCoreApplication::translate("SettingsFile", "файл пуст"));

    QString text;
    if (bytes.startsWith("\xff\xfe")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        text = decoder(QByteArrayView(bytes).sliced(2));
        if (decoder.hasError() || bytes.size() % 2 != 0)
            return Fail(
                1, QCoreApplication::translate("SettingsFile", "файл не является текстом UTF-16"));
    } else {
        // Line by line, so that a bad byte can be reported with its line.
        const qsizetype start = bytes.startsWith("\xef\xbb\xbf") ? 3 : 0;
        int line = 1;
        for (qsizetype pos = start; pos < bytes.size(); ++line) {
            qsizetype end = bytes.indexOf('\n', pos);
            end = end < 0 ? bytes.size() : end + 1;
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            text += decoder(QByteArrayView(bytes).sliced(pos, end - pos));
            if (decoder.hasError())
                return Fail(line, QCoreApplication::translate("SettingsFile",
                                                              "строка не является текстом UTF-8"));
            pos = end;
        }
    }
    FLines = text.split(u'\n');
    // Every line, the last included, ends with a line break; a file cut short
    // mostly ends inside one.
    if (!FLines.last().isEmpty())
        return Fail(int(FLines.size()),
                    QCoreApplication::translate("SettingsFile", "файл обрывается внутри строки"));
    FLines.removeLast();
    if (FLines.isEmpty())
        return Fail(1, QCoreApplication::translate("SettingsFile", "файл пуст"));
    for (int i = 0; i < FLines.size(); ++i) {
        QString& line = FLines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.contains(QChar::Null))
            return Fail(i + 1,
                        QCoreApplication::translate("SettingsFile", "строка содержит символ NUL"));
    }
    return true;
}

bool TParser::Run(const QByteArray& bytes) {
    if (!Decode(bytes))
        return false;
    if (FLines.first().trimmed() != QLatin1String("Windows Registry Editor Version 5.00"))
        return Fail(1, QCoreApplication::translate("SettingsFile",
                                                   "первая строка не \"Windows Registry Editor "
                                                   "Version 5.00\""));
    for (int i = 1; i < FLines.size(); ++i) {
        const QStringView text = QStringView(FLines[i]).trimmed();
        if (text.isEmpty() || text.startsWith(u';'))
            continue;
        if (text.startsWith(u'[')) {
            if (!Section(i + 1, text))
                return false;
        } else if (text.startsWith(u'"') || text.startsWith(u'@')) {
            if (!ValueLine(i))
                return false;
        } else {
            return Fail(i + 1,
                        QCoreApplication::translate(
                            "SettingsFile", "строка не является ни разделом, ни параметром"));
        }
    }
    return true;
}

bool TParser::Section(int line, QStringView text) {
    if (!text.endsWith(u']'))
        return Fail(line, QCoreApplication::translate("SettingsFile",
                                                      "в имени раздела нет закрывающей \"]\""));
    QStringView path = text.sliced(1, text.size() - 2);
    FDeletedSection = path.startsWith(u'-');
    if (FDeletedSection)
        path = path.sliced(1);
    QStringList names = path.toString().split(u'\\');
    const QString root = names.takeFirst();
    if (!RegNamesEqual(root, QStringLiteral("HKEY_CURRENT_USER")) &&
        !RegNamesEqual(root, QStringLiteral("HKCU")))
        return Fail(line, QCoreApplication::translate("SettingsFile",
                                                      "раздел находится не в HKEY_CURRENT_USER"));
    for (const QString& name : names)
        if (name.isEmpty())
            return Fail(line, QCoreApplication::translate("SettingsFile",
                                                          "в пути раздела есть пустое имя"));
    if (FDeletedSection) {
        FRoot.Remove(names);
        FKey = nullptr;
    } else {
        FKey = &FRoot.Ensure(names);
    }
    return true;
}

// Reads "..." with regedit's two escapes, \\ and \", and moves past it.
bool TParser::QuotedText(int line, QStringView& rest, QString& text) {
    text.clear();
    for (qsizetype i = 1; i < rest.size(); ++i) {
        QChar c = rest[i];
        if (c == u'"') {
            rest = rest.sliced(i + 1).trimmed();
            return true;
        }
        if (c == u'\\') {
            if (++i == rest.size() || (rest[i] != u'\\' && rest[i] != u'"'))
                return Fail(line,
                            QCoreApplication::translate(
                                "SettingsFile",
                                "обратная косая черта в кавычках должна предшествовать \\ или \""));
            c = rest[i];
        }
        text += c;
    }
    return Fail(line, QCoreApplication::translate("SettingsFile",
                                                  "у текста в кавычках нет закрывающей кавычки"));
}

bool TParser::HexBytes(int line, QStringView list, QByteArray& data) {
    data.clear();
    if (list.trimmed().isEmpty())
        return true;
    for (QStringView item : list.split(u',')) {
        quint32 byte = 0;
        if (!ParseHex(item.trimmed(), 2, byte))
            return Fail(line, QCoreApplication::translate("SettingsFile",
                                                          "неверный шестнадцатеричный байт \"%1\"")
                                  .arg(item.trimmed()));
        data += char(byte);
    }
    return true;
}

bool TParser::ValueLine(int& index) {
    const int line = index + 1;
    if (FDeletedSection)
        return Fail(line,
                    QCoreApplication::translate("SettingsFile", "параметр в удаляемом разделе"));
    if (!FKey)
        return Fail(line,
                    QCoreApplication::translate("SettingsFile", "параметр перед первым разделом"));

    QStringView rest = QStringView(FLines[index]).trimmed();
    QString name;
    if (rest.startsWith(u'@'))
        rest = rest.sliced(1).trimmed();
    else if (!QuotedText(line, rest, name))
        return false;
    if (!rest.startsWith(u'='))
        return Fail(line,
                    QCoreApplication::translate("SettingsFile", "после имени параметра нет \"=\""));
    rest = rest.sliced(1).trimmed();

    if (rest.startsWith(u'"')) {
        QString text;
        if (!QuotedText(line, rest, text))
            return false;
        if (!rest.isEmpty())
            return Fail(line, QCoreApplication::translate("SettingsFile",
                                                          "текст после закрывающей кавычки"));
        FKey->SetValue(name, regSz, SzBytes(text));
        return true;
    }
    if (rest == u'-') {
        FKey->RemoveValue(name);
        return true;
    }
    if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        quint32 dword = 0;
        const QStringView digits = rest.sliced(6);
        if (!ParseHex(digits, 8, dword))
            return Fail(line,
                        QCoreApplication::translate(
                            "SettingsFile", "для dword нужно от 1 до 8 шестнадцатеричных цифр"));
        QByteArray data(4, '\0');
        for (int i = 0; i < 4; ++i)
            data[i] = char(dword >> (8 * i));
        FKey->SetValue(name, regDword, data);
        return true;
    }
    if (rest.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        quint32 type = regBinary;
        rest = rest.sliced(3);
        if (rest.startsWith(u'(')) {
            const qsizetype close = rest.indexOf(u')');
            if (close < 0 || !ParseHex(rest.sliced(1, close - 1), 8, type))
                return Fail(line, QCoreApplication::translate(
                                      "SettingsFile", "неверный тип параметра в \"hex(...)\""));
            rest = rest.sliced(close + 1);
        }
        if (!rest.startsWith(u':'))
            return Fail(line,
                        QCoreApplication::translate("SettingsFile", "после \"hex\" нет \":\""));
        QString list = rest.sliced(1).toString();
        // Long data continues on the next lines after a trailing backslash.
        while (list.endsWith(u'\\')) {
            list.chop(1);
            if (++index == FLines.size())
                return Fail(index, QCoreApplication::translate(
                                       "SettingsFile",
                                       "шестнадцатеричные данные продолжаются за концом файла"));
            list += QStringView(FLines[index]).trimmed();
        }
        QByteArray data;
        if (!HexBytes(index + 1, list, data))
            return false;
        FKey->SetValue(name, type, data);
        return true;
    }
    return Fail(line, QCoreApplication::translate("SettingsFile", "неизвестный вид параметра"));
}

} // namespace

bool ParseRegFile(const QByteArray& bytes, TRegKey& root, TRegParseError& error) {
    return TParser(root, error).Run(bytes);
}
