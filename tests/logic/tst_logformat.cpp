#include "recording/logformat.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

} // namespace

class TestLogFormat : public QObject {
    Q_OBJECT
private slots:
    void fileName_data();
    void fileName();
    void filePath_data();
    void filePath();
    void timeStamp_data();
    void timeStamp();
    void headerLine_data();
    void headerLine();
    void stopMessage();
};

void TestLogFormat::fileName_data() {
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("expected");

    const QDateTime start = at(2024, 1, 31, 14, 5, 9);
    QTest::newRow("named instance")
        << start << u"HOST\\INST"_s << u"20240131-140509-HOST-INST.log"_s;
    QTest::newRow("every slash and question mark")
        << start << u"a/b\\c?d//e??"_s << u"20240131-140509-a-b-c-d--e--.log"_s;
    QTest::newRow("other characters kept")
        << start << u"Сервер: 1 *<>|.\"x\""_s << u"20240131-140509-Сервер: 1 *<>|.\"x\".log"_s;
    QTest::newRow("empty name") << start << u""_s << u"20240131-140509-.log"_s;
    QTest::newRow("leading zeros, milliseconds dropped")
        << at(2024, 3, 5, 4, 3, 2, 999) << u"srv"_s << u"20240305-040302-srv.log"_s;
    QTest::newRow("midnight") << at(2023, 12, 31, 0, 0, 0) << u"srv"_s
                              << u"20231231-000000-srv.log"_s;
}

void TestLogFormat::fileName() {
    QFETCH(QDateTime, start);
    QFETCH(QString, server);
    QFETCH(QString, expected);
    QCOMPARE(LogFileName(start, server), expected);
}

void TestLogFormat::filePath_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("folder without separator")
        << u"/opt/dervel"_s << u"/opt/dervel/20240131-140509-HOST-INST.log"_s;
    QTest::newRow("folder with separator")
        << u"/opt/dervel/"_s << u"/opt/dervel/20240131-140509-HOST-INST.log"_s;
    QTest::newRow("root") << u"/"_s << u"/20240131-140509-HOST-INST.log"_s;
}

void TestLogFormat::filePath() {
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(LogFilePath(folder, at(2024, 1, 31, 14, 5, 9), u"HOST\\INST"_s), expected);
}

void TestLogFormat::timeStamp_data() {
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");

    QTest::newRow("quarter second")
        << at(2024, 1, 31, 14, 5, 10, 250) << u"20240131 14:05:10.250"_s;
    QTest::newRow("midnight") << at(2024, 1, 1, 0, 0, 0) << u"20240101 00:00:00.000"_s;
    QTest::newRow("last millisecond of a day")
        << at(2024, 12, 31, 23, 59, 59, 999) << u"20241231 23:59:59.999"_s;
    QTest::newRow("milliseconds padded")
        << at(2024, 2, 9, 8, 7, 6, 7) << u"20240209 08:07:06.007"_s;
}

void TestLogFormat::timeStamp() {
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    QCOMPARE(LogTimeStamp(time), expected);
}

void TestLogFormat::headerLine_data() {
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<QString>("header");

    QTest::newRow("four columns") << QStringList{u"SPID"_s, u"Login"_s, u"Status"_s, u"Command"_s}
                                  << u"Time;SPID;Login;Status;Command\r\n"_s;
    QTest::newRow("no columns") << QStringList{} << u"Time\r\n"_s;
    QTest::newRow("captions as they stand")
        << QStringList{u"I/O"_s, u"Net Address"_s} << u"Time;I/O;Net Address\r\n"_s;
}

void TestLogFormat::headerLine() {
    QFETCH(QStringList, captions);
    QFETCH(QString, header);
    QCOMPARE(LogHeaderLine(captions), header);
}

void TestLogFormat::stopMessage() {
    QCOMPARE(RecordStopMessage(u"Permission denied"_s, u"/opt/dervel/20240131-140509-srv.log"_s),
             u"Запись остановлена:\r\nPermission denied.\r\n"
             u"Файл /opt/dervel/20240131-140509-srv.log."_s);
}

QTEST_APPLESS_MAIN(TestLogFormat)
#include "tst_logformat.moc"
