#include "registry/regwriter.h"

#include "registry/regkey.h"

namespace {

const char* const kHeader = "Windows Registry Editor Version 5.00";
const char* const kRoot = "HKEY_CURRENT_USER";

// Hex lines break once they reach this width, as regedit's do.
constexpr int kHexLineWidth = 77;

QString Quoted(const QString& text) {
    QString result;
    result.reserve(text.size() + 2);
    result += u'"';
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            result += u'\\';
        result += c;
    }
    result += u'"';
    return result;
}

bool IsControl(QChar c) {
    return c.category() == QChar::Other_Control;
}

// A REG_SZ goes out as "text" only when reading that text back gives the same
// bytes: UTF-16 with one terminating NUL and nothing that would break the line.
bool SzAsText(const QByteArray& data, QString& text) {
    if (data.size() < 2 || data.size() % 2 != 0)
        return false;
    const int units = data.size() / 2 - 1;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    if (bytes[2 * units] != 0 || bytes[2 * units + 1] != 0)
        return false;
    text.resize(units);
    for (int i = 0; i < units; ++i) {
        const QChar c(char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
        if (c.isNull() || IsControl(c))
            return false;
        text[i] = c;
    }
    return QStringView(text).isValidUtf16();
}

void AppendHex(QString& out, QString line, const QByteArray& data) {
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < data.size(); ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        line += QLatin1Char(digits[b >> 4]);
        line += QLatin1Char(digits[b & 15]);
        if (i == data.size() - 1)
            break;
        line += u',';
        if (line.size() >= kHexLineWidth) {
            out += line;
            out += QLatin1String("\\\n");
            line = QStringLiteral("  ");
        }
    }
    out += line;
    out += u'\n';
}

void AppendValue(QString& out, const TRegValue& value) {
    const QString name = value.Name.isEmpty() ? QStringLiteral("@") : Quoted(value.Name);
    QString text;
    if (value.Type == regSz && SzAsText(value.Data, text)) {
        out += name + u'=' + Quoted(text) + u'\n';
    } else if (value.Type == regDword && value.Data.size() == 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(value.Data.constData());
        const quint32 dword = b[0] | (b[1] << 8) | (b[2] << 16) | (quint32(b[3]) << 24);
        out += name + QStringLiteral("=dword:%1\n").arg(dword, 8, 16, QLatin1Char('0'));
    } else if (value.Type == regBinary) {
        AppendHex(out, name + QStringLiteral("=hex:"), value.Data);
    } else {
        AppendHex(out, name + QStringLiteral("=hex(%1):").arg(value.Type, 0, 16), value.Data);
    }
}

void AppendKey(QString& out, const TRegKey& key, const QString& path, bool isRoot) {
    if (!isRoot || !key.Values.empty()) {
        out += u'[' + path + QLatin1String("]\n");
        for (const TRegValue& value : key.Values)
            AppendValue(out, value);
        out += u'\n';
    }
    for (const TRegKey& sub : key.SubKeys)
        AppendKey(out, sub, path + u'\\' + sub.Name, false);
}

} // namespace

QByteArray FormatRegFile(const TRegKey& root) {
    QString out = QLatin1String(kHeader) + QLatin1String("\n\n");
    AppendKey(out, root, QLatin1String(kRoot), true);
    return out.toUtf8();
}
