// The app's own cost while it watches a busy server: its CPU share and its memory per
// session while sampling a demo server of 1,000 sessions at "0 с" for 30 seconds. The
// server runs in a process of its own, so its work is not counted.

#include "app/mainform.h"
#include "benchserver.h"
#include "grid/widgets/monitormodel.h"
#include "processstats.h"
#include "registry/registry.h"
#include "scriptedprompts.h"
#include "servers/server.h"
#include "servers/widgets/serverpanel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    QProcess server;
    server.start(QCoreApplication::applicationDirPath() +
                     QStringLiteral("/../testserver/dervel-testserver"),
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--demo"),
                  QStringLiteral("--sessions"), QStringLiteral("1000")});
    if (!server.waitForReadyRead(30000))
        qFatal("the demo server did not start");
    const QString port = QString::fromUtf8(server.readLine()).trimmed().section(u':', -1);

    QTemporaryDir settings;
    TRegistry::SetDefaultLocation(settings.path());
    TScriptedPrompts prompts;
    const double rssBefore = ResidentKilobytes();
    auto form = std::make_unique<TMainForm>();
    form->resize(1500, 900);
    form->show();
    prompts.connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, QStringLiteral("Demo"),
        QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                       "Password=Dervel-2026")
            .arg(port)};
    form->ServerPanel->actAddConnection->trigger();
    if (!form->SelectedServer() || form->SelectedServer()->State != stConnected)
        qFatal("could not connect to the demo server");
    form->cbPeriod->setCurrentIndex(0); // "0 с"

    const double cpuStart = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = CpuSeconds() - cpuStart;
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const double rss = ResidentKilobytes();
    const int rows = form->MonitorModel->rowCount();
    form.reset();
    server.terminate();
    server.waitForFinished(5000);

    Report(QStringLiteral("app_cpu_share_sampling_1000_at_0s"), 100.0 * cpu / elapsed,
           QStringLiteral("% of one core"));
    Report(QStringLiteral("app_rss_sampling_1000"), rss / 1024.0, QStringLiteral("MB"));
    Report(QStringLiteral("app_rss_per_session"), rows > 0 ? (rss - rssBefore) / rows : 0,
           QStringLiteral("KB"));
    return 0;
}
