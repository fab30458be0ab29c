// The recording's own clock: it follows a wall clock that keeps pace with real time, and
// goes on at real time's pace, without a jump, when the wall clock steps.

#include "recorder/recordingclock.h"

#include <QTest>
#include <limits>

namespace {

constexpr qint64 kWall = 1765400000000; // 2025-12-10
constexpr qint64 kYear = 365LL * 86400000;
constexpr qint64 kHour = 3600000;
constexpr qint64 x = std::numeric_limits<qint64>::min(); // no step to tell

struct TTick {
    qint64 Wall; // what the wall clock says
    qint64 Real; // what the boot clock says
};

} // namespace

Q_DECLARE_METATYPE(QList<TTick>)

class TestRecordingClock : public QObject {
    Q_OBJECT
private slots:
    void times_data();
    void times();
};

void TestRecordingClock::times_data() {
    QTest::addColumn<qint64>("last"); // the recording's newest time; -1: none
    QTest::addColumn<QList<TTick>>("ticks");
    QTest::addColumn<QList<qint64>>("times");
    QTest::addColumn<QList<qint64>>("steps"); // what takeStep() gives after each; x: nothing
    const auto t = [](qint64 wall, qint64 real) { return TTick{kWall + wall, 5000 + real}; };
    QTest::newRow("the clock keeps pace")
        << qint64(-1) << QList<TTick>{t(0, 0), t(1000, 1000), t(2000, 2000)}
        << QList<qint64>{kWall, kWall + 1000, kWall + 2000} << QList<qint64>{x, x, x};
    QTest::newRow("small corrections are followed")
        << qint64(-1) << QList<TTick>{t(0, 0), t(3000, 1000), t(2500, 2000)}
        << QList<qint64>{kWall, kWall + 3000, kWall + 3001} << QList<qint64>{x, x, x};
    QTest::newRow("a year ahead at once")
        << qint64(-1)
        << QList<TTick>{t(0, 0), t(1000, 1000), t(kYear + 2000, 2000), t(kYear + 3000, 3000)}
        << QList<qint64>{kWall, kWall + 1000, kWall + 2000, kWall + 3000}
        << QList<qint64>{x, x, kYear, x};
    QTest::newRow("an hour back at once")
        << qint64(-1) << QList<TTick>{t(0, 0), t(-kHour + 1000, 1000), t(-kHour + 2000, 2000)}
        << QList<qint64>{kWall, kWall + 1000, kWall + 2000} << QList<qint64>{x, -kHour, x};
    QTest::newRow("ahead, then set right again")
        << qint64(-1) << QList<TTick>{t(0, 0), t(kYear + 1000, 1000), t(2000, 2000)}
        << QList<qint64>{kWall, kWall + 1000, kWall + 2000} << QList<qint64>{x, kYear, 0};
    QTest::newRow("the machine slept an hour")
        << qint64(-1) << QList<TTick>{t(0, 0), t(kHour, kHour), t(kHour + 1000, kHour + 1000)}
        << QList<qint64>{kWall, kWall + kHour, kWall + kHour + 1000} << QList<qint64>{x, x, x};
    QTest::newRow("a run that goes on after a pause")
        << kWall - kHour << QList<TTick>{t(0, 0), t(1000, 1000)}
        << QList<qint64>{kWall, kWall + 1000} << QList<qint64>{x, x};
    QTest::newRow("a run whose clock is behind the recording")
        << kWall + kHour << QList<TTick>{t(0, 0), t(1000, 1000)}
        << QList<qint64>{kWall + kHour + 1, kWall + kHour + 1001} << QList<qint64>{-kHour - 1, x};
}

void TestRecordingClock::times() {
    QFETCH(qint64, last);
    QFETCH(QList<TTick>, ticks);
    QFETCH(QList<qint64>, times);
    QFETCH(QList<qint64>, steps);
    TRecordingClock clock(last);
    for (int i = 0; i < ticks.size(); ++i) {
        QCOMPARE(clock.next(ticks[i].Wall, ticks[i].Real), times[i]);
        QCOMPARE(clock.takeStep().value_or(x), steps[i]);
    }
}

QTEST_APPLESS_MAIN(TestRecordingClock)
#include "tst_recordingclock.moc"
