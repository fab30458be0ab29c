// How fast the test server answers the sampling query over 10,000 sessions: scripting
// them, running the query in the engine, and fetching it through the ODBC driver.
// Benchmarks report their figures; they assert only that the answers are complete.

#include "instance.h"
#include "odbc_client.h"
#include "sampling_text.h"
#include "tds_server.h"

#include <QtTest>

using namespace testserver;

namespace {

constexpr int kSessions = 10000;

// Every third session runs a request; every tenth of those waits for the one before.
void script(Instance& instance) {
    std::vector<ScriptedSession> sessions(kSessions);
    for (int i = 0; i < kSessions; ++i) {
        auto& s = sessions[static_cast<std::size_t>(i)];
        s.sessionId = 100 + i;
        s.loginName = "user" + std::to_string(i % 50);
        s.hostName = "host-" + std::to_string(i % 300);
        s.programName = "Program " + std::to_string(i % 20);
        s.databaseId = 1 + i % 7;
        s.cpuTime = i;
        s.reads = 1000LL * i;
        s.status = i % 3 == 0 ? "running" : "sleeping";
        s.connection.clientTcpPort = 40000 + i % 20000;
    }
    instance.addSessions(sessions);
    std::vector<ScriptedRequest> requests;
    for (int i = 0; i < kSessions; i += 3) {
        ScriptedRequest r;
        r.sessionId = 100 + i;
        r.sqlText = "select * from orders where id = " + std::to_string(i % 100);
        if (i % 30 == 0 && i > 0) {
            r.status = "suspended";
            r.blockingSessionId = 100 + i - 3;
            r.waitType = "LCK_M_X";
        }
        requests.push_back(r);
    }
    instance.addRequests(requests);
}

} // namespace

class TstBench : public QObject {
    Q_OBJECT

private slots:
    void scriptTenThousandSessions() {
        QBENCHMARK_ONCE {
            Instance instance;
            script(instance);
            QCOMPARE(instance.sessionIds().size(), std::size_t(kSessions + 12));
        }
    }

    void samplingQueryInTheEngine() {
        Instance instance;
        script(instance);
        ScriptedSession self;
        self.withConnection = false;
        const int spid = instance.addSession(self);
        const std::string sql = samplingQuery({{}, {}, 1, false});
        BatchOutcome out;
        QBENCHMARK {
            out = instance.execute(spid, sql);
        }
        QCOMPARE(out.statements.at(0).result->rows.size(), std::size_t(kSessions + 13));
    }

    void samplingQueryThroughOdbc() {
        TdsServer server;
        const int port = server.start(0);
        script(server.instance());
        OdbcClient client;
        QVERIFY(client.connect(OdbcClient::connectionString(port)));
        const std::string sql = samplingQuery({{}, {}, 1, true});
        OdbcOutcome out;
        QBENCHMARK {
            out = client.exec(sql);
        }
        QVERIFY(SQL_SUCCEEDED(out.rc));
        QCOMPARE(out.results.at(0).rows.size(), std::size_t(kSessions + 13));
    }
};

QTEST_GUILESS_MAIN(TstBench)
#include "tst_bench.moc"
