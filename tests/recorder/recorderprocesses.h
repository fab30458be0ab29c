#pragma once
// dervel-record as a process, for tests: its settings in a folder of the test's, its
// messages in Russian, every process ended with the test.

#include "recorder/recordingreader.h"

#include <QProcess>
#include <QString>
#include <memory>
#include <vector>

class TRecorderProcesses {
public:
    explicit TRecorderProcesses(const QString& AConfigHome) : FConfigHome(AConfigHome) {}

    // Starts dervel-record with the arguments, the environment added to the test's own.
    QProcess* start(const QStringList& AArguments,
                    const QProcessEnvironment& AExtra = QProcessEnvironment()) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), FConfigHome);
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ru_RU.UTF-8"));
        env.insert(AExtra);
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(DERVEL_RECORD_PATH), AArguments);
        FProcesses.push_back(std::move(process));
        return FProcesses.back().get();
    }

    // The test server's string; without a password when APassword is null.
    static QString connection(quint16 APort,
                              const QString& APassword = QStringLiteral("Dervel-2026")) {
        QString s =
            QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;").arg(APort);
        if (!APassword.isNull())
            s += QStringLiteral("Password=%1;").arg(APassword);
        return s + QStringLiteral("Connect Timeout=3");
    }

    // The snapshots in a recording a process is writing: 0 while it cannot be read yet
    // (the process may have made the file and not yet its tables).
    static int snapshotsIn(const QString& APath) {
        try {
            return TRecordingReader(APath).count();
        } catch (const ERecordingError&) {
            return 0;
        }
    }

private:
    QString FConfigHome;
    std::vector<std::unique_ptr<QProcess>> FProcesses;
};
