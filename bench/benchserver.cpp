#include "benchserver.h"

#include "database/dbconnection.h"
#include "grid/monitorcolumns.h"
#include "instance.h"
#include "rates/ratecolumns.h"
#include "sampling/monitor.h"
#include "sampling/querycomposition.h"
#include "scripting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

TBenchServer::TBenchServer(int rows, const QString& tlsFolder) {
    using namespace testserver;
    // Session ids are smallints: beyond that many rows, every session runs two requests.
    const bool twoRequests = rows > 30000;
    const int sessions = twoRequests ? rows / 2 : rows;
    std::vector<ScriptedSession> scripted(sessions);
    for (int i = 0; i < sessions; ++i) {
        ScriptedSession& s = scripted[i];
        s.loginName = "user" + std::to_string(i % 97);
        s.hostName = "HOST" + std::to_string(i % 31);
        s.programName = i % 3 ? "Billing service" : "Reporting";
        s.status = i % 3 == 0 ? "running" : "sleeping";
        s.cpuTime = i * 7;
        s.reads = 1000LL * i;
        s.writes = i;
        s.databaseId = 1 + i % 5;
    }
    const std::vector<int> ids = FServer.instance().addSessions(scripted);
    std::vector<ScriptedRequest> requests;
    for (size_t i = 0; i < ids.size(); i += twoRequests ? 1 : 3) {
        ScriptedRequest r;
        r.sessionId = ids[i];
        r.status = i % 2 ? "suspended" : "running";
        r.command = i % 2 ? "UPDATE" : "SELECT";
        r.waitType = i % 2 ? std::optional<std::string>("LCK_M_X") : std::nullopt;
        r.blockingSessionId = i % 2 && i > 0 ? ids[i - 1] : 0;
        r.sqlText = "select * from dbo.Orders where id = " + std::to_string(i);
        requests.push_back(r);
        if (twoRequests) {
            r.requestId = 1;
            r.blockingSessionId = 0;
            requests.push_back(r);
        }
    }
    FServer.instance().addRequests(requests);
    if (!tlsFolder.isEmpty())
        FServer.setEncryption(EncryptMode::On,
                              std::make_shared<TlsCredentials>(
                                  (tlsFolder + QStringLiteral("/server.pem")).toStdString(),
                                  (tlsFolder + QStringLiteral("/server-key.pem")).toStdString()));
    FPort = FServer.start(0);
}

TBenchServer::~TBenchServer() {
    FServer.stop();
}

QString TBenchServer::oledb() const {
    return QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                          "Password=Dervel-2026")
        .arg(FPort);
}

TServerProcess::TServerProcess(int rows, const QString& tlsFolder) : FTlsFolder(tlsFolder) {
    QStringList arguments{QStringLiteral("--serve"), QString::number(rows)};
    if (!tlsFolder.isEmpty())
        arguments << tlsFolder;
    start(QCoreApplication::applicationFilePath(), arguments);
}

TServerProcess::TServerProcess(const QString& program, const QStringList& arguments) {
    start(program, arguments);
}

void TServerProcess::start(const QString& program, const QStringList& arguments) {
    // A plain child, not a QProcess: a QProcess is watched from the event loop (a pidfd
    // and a pipe each), and fifty of them would be counted as the window's own CPU.
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0)
        qFatal("cannot make the pipes of %s", qPrintable(program));
    std::vector<std::string> strings{program.toStdString()};
    for (const QString& a : arguments)
        strings.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : strings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    FPid = fork();
    if (FPid < 0)
        qFatal("cannot start %s", qPrintable(program));
    if (FPid == 0) {
        dup2(input[0], STDIN_FILENO);
        dup2(output[1], STDOUT_FILENO);
        // Nothing else of the benchmark's (a build lock's descriptor among them) lives on
        // in the server, and the server goes when the benchmark does, killed or not.
        closefrom(STDERR_FILENO + 1);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    FInput = input[1];
    FOutput = output[0]; // kept open: the server may write more, and must not get SIGPIPE
    std::string line;
    pollfd ready{FOutput, POLLIN, 0};
    char c = 0;
    while (line.empty() || line.back() != '\n') {
        if (poll(&ready, 1, 120000) <= 0 || read(FOutput, &c, 1) != 1)
            break;
        line += c;
    }
    if (!QByteArray::fromStdString(line).startsWith("listening on "))
        qFatal("the server %s did not start", qPrintable(program));
    FPort =
        static_cast<quint16>(QByteArray::fromStdString(line).trimmed().split(':').last().toUInt());
}

TServerProcess::~TServerProcess() {
    close(FInput); // --serve ends with its input
    for (int i = 0; i < 500; ++i) {
        if (waitpid(FPid, nullptr, WNOHANG) == FPid) {
            close(FOutput);
            return;
        }
        usleep(10000);
    }
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
    close(FOutput);
}

QString TServerProcess::oledb() const {
    const QString plain = QStringLiteral("Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=sa;"
                                         "Password=Dervel-2026")
                              .arg(FPort);
    return FTlsFolder.isEmpty() ? plain
                                : plain + QStringLiteral(";Use Encryption for Data=Mandatory;"
                                                         "CAFile=%1/ca.pem")
                                              .arg(FTlsFolder);
}

bool ServeIfAsked(int argc, char* argv[]) {
    if (argc < 3 || std::strcmp(argv[1], "--serve") != 0)
        return false;
    TBenchServer server(std::atoi(argv[2]), argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
    std::printf("listening on 127.0.0.1:%d\n", server.port());
    std::fflush(stdout);
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
    return true;
}

QString DefaultSamplingQuery() {
    QList<bool> visible;
    for (const TMonitorColumn& c : MonitorColumns())
        visible << c.DefaultVisible;
    return ComposeQuery(QueryTemplateLines(), QueriedColumns(visible), 0, false, {}).Text;
}

namespace {

// Ends the event loop when the sampler says a snapshot is in.
class TArrivalQuit : public QObject {
public:
    QEventLoop* loop = nullptr;

protected:
    void customEvent(QEvent*) override {
        if (loop)
            loop->quit();
    }
};

} // namespace

double FetchSnapshotMs(int rows, int runs, QList<TMonitorRec>& records) {
    TBenchServer server(rows);
    TDbConnection connection;
    connection.setConnectionString(server.oledb());
    connection.open();
    TArrivalQuit arrivals;
    std::mutex cs;
    QList<double> times;
    TDervel sampler(&arrivals, cs);
    sampler.Period = 360000;
    for (int run = 0; run <= runs; ++run) {
        QEventLoop loop;
        arrivals.loop = &loop;
        QElapsedTimer t;
        t.start();
        sampler.StartMonitoring(DefaultSamplingQuery(), &connection);
        loop.exec();
        if (run > 0)
            times << t.nsecsElapsed() / 1e6;
    }
    std::lock_guard lock(cs);
    records.clear();
    for (const PMonitorRec r : sampler.Buffer)
        records << *r;
    return Median(times);
}

double Median(QList<double> values) {
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Report(const QString& name, double value, const QString& unit) {
    std::printf("%s: %.3f %s\n", qPrintable(name), value, qPrintable(unit));
    std::fflush(stdout);
}
