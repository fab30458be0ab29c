#include "alerts/alertcommand.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QProcess>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

TAlertCommand::TAlertCommand(const QString& ACommandLine, int ATimeoutMs, TReport AReport)
    : FTimeoutMs(ATimeoutMs), FReport(std::move(AReport)) {
    QStringList parts = QProcess::splitCommand(ACommandLine);
    if (!parts.isEmpty())
        FProgram = parts.takeFirst();
    FArguments = parts;
    FThread = std::thread([this] { work(); });
}

TAlertCommand::~TAlertCommand() {
    {
        std::lock_guard guard(FLock);
        FStopping = true;
    }
    FWake.notify_all();
    FThread.join();
}

bool TAlertCommand::valid(const QString& ACommandLine) {
    return !QProcess::splitCommand(ACommandLine).isEmpty();
}

void TAlertCommand::enqueue(const TAlertChange& AChange) {
    {
        std::lock_guard guard(FLock);
        if (FQueue.size() < kMaxQueued) {
            FQueue.push_back(AChange);
            FWake.notify_one();
            return;
        }
    }
    FReport(QCoreApplication::translate("Alerts",
                                        "Команда оповещения не успевает: оповещение «%1» о %2 "
                                        "пропущено.")
                .arg(AlertSummaryText(AChange.Alert), AlertSubjectText(AChange.Alert)));
}

void TAlertCommand::work() {
    for (;;) {
        TAlertChange next;
        {
            std::unique_lock guard(FLock);
            FWake.wait(guard, [this] { return FStopping || !FQueue.empty(); });
            if (FQueue.empty())
                return; // stopping, and nothing left to tell
            // At the end the queue has one timeout's time to run out; what is left then
            // is not told.
            if (FStopping && FStoppedAt.time_since_epoch().count() == 0)
                FStoppedAt = std::chrono::steady_clock::now();
            if (FStopping && std::chrono::steady_clock::now() - FStoppedAt >
                                 std::chrono::milliseconds(FTimeoutMs)) {
                const std::size_t left = FQueue.size();
                FQueue.clear();
                guard.unlock();
                FReport(QCoreApplication::translate("Alerts",
                                                    "Запись остановлена: не переданы команде "
                                                    "оповещения: %1.")
                            .arg(left));
                return;
            }
            next = std::move(FQueue.front());
            FQueue.pop_front();
        }
        run(next);
    }
}

void TAlertCommand::run(const TAlertChange& AChange) {
    QProcess process;
    process.setProgram(FProgram);
    process.setArguments(FArguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(Variables(AChange));
    process.setProcessEnvironment(environment);
    // Its output is its own business; a pipe nobody reads would stall a chatty command.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that a timeout ends what the command started too (curl under
    // a shell script, say).
    process.setChildProcessModifier([] { ::setsid(); });
    process.start();
    if (!process.waitForStarted(FTimeoutMs)) {
        FReport(QCoreApplication::translate("Alerts", "Команда оповещения не запустилась: %1")
                    .arg(process.errorString()));
        return;
    }
    const qint64 pid = process.processId();
    if (!process.waitForFinished(FTimeoutMs)) {
        ::kill(-pid_t(pid), SIGKILL);
        process.waitForFinished(5000);
        FReport(QCoreApplication::translate("Alerts", "Команда оповещения не закончилась за %1 с и "
                                                      "остановлена.")
                    .arg(FTimeoutMs / 1000));
        return;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        FReport(QCoreApplication::translate("Alerts", "Команда оповещения завершилась с кодом %1.")
                    .arg(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1));
}

QProcessEnvironment TAlertCommand::Variables(const TAlertChange& AChange) {
    const TAlert& a = AChange.Alert;
    QProcessEnvironment v;
    const auto set = [&v](const char* AName, const QString& AValue) {
        v.insert(QLatin1String(AName), AlertPlainText(AValue, 1024));
    };
    const auto iso = [](qint64 AMs) {
        return QDateTime::fromMSecsSinceEpoch(AMs, Qt::UTC).toString(Qt::ISODate);
    };
    const bool cleared = AChange.Change == TAlertChangeKind::Cleared;
    set("DERVEL_ALERT_EVENT", cleared ? QStringLiteral("cleared") : QStringLiteral("raised"));
    set("DERVEL_ALERT_RULE", AlertRuleKey(a.Kind));
    set("DERVEL_ALERT_SERVER", a.Server);
    set("DERVEL_ALERT_KEY", a.Key);
    set("DERVEL_ALERT_SUMMARY", AlertSummaryText(a));
    set("DERVEL_ALERT_TEXT", AlertBodyText(a));
    set("DERVEL_ALERT_SUBJECT", AlertSubjectText(a));
    set("DERVEL_ALERT_THRESHOLD", QString::number(a.Threshold));
    set("DERVEL_ALERT_STARTED", iso(a.StartMs));
    if (cleared) {
        set("DERVEL_ALERT_ENDED", iso(a.EndMs));
        set("DERVEL_ALERT_DURATION_S", QString::number((a.EndMs - a.StartMs) / 1000));
    }
    if (a.Subject.Spid > 0) {
        set("DERVEL_ALERT_SPID", QString::number(a.Subject.Spid));
        set("DERVEL_ALERT_LOGIN", a.Subject.Login);
        set("DERVEL_ALERT_HOST", a.Subject.Host);
        set("DERVEL_ALERT_PROGRAM", a.Subject.Program);
        set("DERVEL_ALERT_DATABASE", a.Subject.Database);
        set("DERVEL_ALERT_COMMAND", a.Subject.Command);
    }
    if (a.Kind == TAlertKind::Blocking || a.Kind == TAlertKind::LongRequest)
        set("DERVEL_ALERT_WAIT_S", QString::number(a.WaitMs / 1000));
    if (a.Kind == TAlertKind::Blocking || a.Kind == TAlertKind::BlockedCount)
        set("DERVEL_ALERT_WAITING", QString::number(a.Waiting));
    return v;
}
