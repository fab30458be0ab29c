// The English translation covers every source text: lupdate, run over the sources into a
// copy of the translation file, must leave nothing unfinished, and every translation keeps
// the placeholders of its source.

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

struct TMessage {
    QString context;
    QString source;
    QString translation;
    QString type; // the translation's type attribute: "", "unfinished", "vanished", ...
};

// Text of an element of a .ts file, with lupdate's <byte value="xd"/> as the character.
QString readText(QXmlStreamReader& xml) {
    QString text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters())
            text += xml.text();
        else if (xml.isStartElement() && xml.name() == u"byte")
            text +=
                QChar(xml.attributes().value(QStringLiteral("value")).mid(1).toUInt(nullptr, 16));
        else if (xml.isEndElement() && xml.name() != u"byte")
            break;
    }
    return text;
}

QList<TMessage> readTs(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QList<TMessage> messages;
    QString context;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"name")
            context = readText(xml);
        else if (xml.name() == u"message")
            messages.append({context, {}, {}, {}});
        else if (xml.name() == u"source" && !messages.isEmpty())
            messages.last().source = readText(xml);
        else if (xml.name() == u"translation" && !messages.isEmpty()) {
            messages.last().type = xml.attributes().value(QStringLiteral("type")).toString();
            messages.last().translation = readText(xml);
        }
    }
    return messages;
}

QStringList placeholders(const QString& text) {
    static const QRegularExpression marker(QStringLiteral("%\\d+"));
    QStringList found;
    for (const QRegularExpressionMatch& m : marker.globalMatch(text))
        found << m.captured();
    found.sort();
    return found;
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT
private slots:
    void everySourceTextHasAnEnglishTranslation();
    void everyContextIsALiteral();
};

void TestTranslations::everySourceTextHasAnEnglishTranslation() {
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("dervel_en.ts"));
    QVERIFY(QFile::copy(QStringLiteral(DERVEL_TS), copy));
    QProcess lupdate;
    lupdate.start(QStringLiteral(LUPDATE),
                  {QStringLiteral("-source-language"), QStringLiteral("ru_RU"),
                   QStringLiteral("-target-language"), QStringLiteral("en_US"),
                   QStringLiteral("-locations"), QStringLiteral("none"),
                   QStringLiteral("-no-obsolete"), QStringLiteral(DERVEL_SOURCES),
                   QStringLiteral("-ts"), copy});
    QVERIFY(lupdate.waitForFinished(120000));
    QCOMPARE(lupdate.exitCode(), 0);

    const QList<TMessage> messages = readTs(copy);
    QVERIFY(messages.size() > 100);
    QStringList problems;
    for (const TMessage& m : messages) {
        const QString where = m.context + QStringLiteral(": \"") + m.source + u'"';
        if (m.type == u"unfinished" || m.translation.isEmpty())
            problems << where + QStringLiteral(" has no English translation");
        else if (placeholders(m.source) != placeholders(m.translation))
            problems << where + QStringLiteral(" loses or adds a placeholder");
    }
    QVERIFY2(problems.isEmpty(),
             qPrintable(QStringLiteral("\n") + problems.join(u'\n') +
                        QStringLiteral("\n(translations/update.sh updates the file)")));
}

// lupdate finds a text only when its context is written out: a context in a variable
// would leave the text out of the translation file, and this check could not see it.
void TestTranslations::everyContextIsALiteral() {
    static const QRegularExpression call(QStringLiteral("translate\\(\\s*([^\\s\"])"));
    QStringList problems;
    QDirIterator it(QStringLiteral(DERVEL_SOURCES),
                    {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const QRegularExpressionMatch& m : call.globalMatch(text))
            problems << path + QStringLiteral(": translate(") + m.captured(1) +
                            QStringLiteral("...");
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
