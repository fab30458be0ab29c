// What each special procedure call means for the connection: the statement it runs with
// its parameters bound, the prepared handle it returns, and SQL Server's errors for a
// missing argument, an unknown handle or an unknown procedure.

#include "rpc_planner.h"

#include <QtTest>

using namespace testserver;

namespace {

tds::RpcParameter param(Value v, std::uint8_t type = 0xE7, bool output = false,
                        std::string name = "") {
    tds::RpcParameter p;
    p.name = std::move(name);
    p.status = output ? 0x01 : 0x00;
    p.type = type;
    p.typeInfo = std::string(1, static_cast<char>(type));
    p.value = std::move(v);
    return p;
}

tds::RpcParameter text(const std::string& s, std::string name = "") {
    return param(s, 0xE7, false, std::move(name));
}

tds::RpcParameter integer(std::int64_t v, std::string name = "") {
    return param(v, 0x26, false, std::move(name));
}

tds::RpcParameter outputHandle() {
    return param(std::monostate{}, 0x26, true);
}

tds::RpcCall call(std::uint16_t procId, std::vector<tds::RpcParameter> params) {
    tds::RpcCall c;
    c.procId = procId;
    c.parameters = std::move(params);
    return c;
}

QString errorOf(const RpcPlan& plan) {
    return plan.error ? QString("%1 %2")
                            .arg(plan.error->number)
                            .arg(QString::fromStdString(plan.error->text))
                      : QString();
}

// The handle a plan returns through its first OUTPUT value (INTN 4: 04 + int32).
int returnedHandle(const RpcPlan& plan) {
    if (plan.returnValues.empty() || plan.returnValues[0].valueBytes.size() != 5)
        return -1;
    const auto& b = plan.returnValues[0].valueBytes;
    return static_cast<unsigned char>(b[1]) | (static_cast<unsigned char>(b[2]) << 8);
}

} // namespace

class TstRpcPlanner : public QObject {
    Q_OBJECT

private slots:
    void prepareThenExecuteThenUnprepare() {
        RpcPlanner planner;
        const auto prepared = planner.plan(
            call(tds::kSpPrepare, {outputHandle(), text("@a int"), text("select @a"), integer(1)}));
        QVERIFY(!prepared.error);
        QVERIFY(!prepared.statement); // sp_prepare runs nothing
        const int handle = returnedHandle(prepared);
        QVERIFY(handle > 0);
        QCOMPARE(QByteArray::fromStdString(prepared.returnValues[0].typeInfo).toHex(),
                 QByteArray("2604"));

        const auto first = planner.plan(call(tds::kSpExecute, {integer(handle), integer(5)}));
        QCOMPARE(QString::fromStdString(first.statement.value_or("")), QString("select 5"));
        QCOMPARE(QString::fromStdString(first.procedure), QString("sp_execute"));
        QCOMPARE(first.parameterCount, 2);
        const auto second = planner.plan(call(tds::kSpExecute, {integer(handle), integer(-6)}));
        QCOMPARE(QString::fromStdString(second.statement.value_or("")), QString("select (-6)"));

        QVERIFY(!planner.plan(call(tds::kSpUnprepare, {integer(handle)})).error);
        const auto gone = planner.plan(call(tds::kSpExecute, {integer(handle), integer(5)}));
        QCOMPARE(errorOf(gone),
                 QString("8179 Could not find prepared statement with handle %1.").arg(handle));
        QVERIFY(!gone.statement);
    }

    void prepexecHandlesAreDistinct() {
        RpcPlanner planner;
        const auto a =
            planner.plan(call(tds::kSpPrepExec, {outputHandle(), param({}), text("select 1")}));
        const auto b =
            planner.plan(call(tds::kSpPrepExec, {outputHandle(), param({}), text("select 2")}));
        QCOMPARE(QString::fromStdString(a.statement.value_or("")), QString("select 1"));
        QVERIFY(returnedHandle(a) > 0);
        QVERIFY(returnedHandle(b) != returnedHandle(a));
        const auto again = planner.plan(call(tds::kSpExecute, {integer(returnedHandle(a))}));
        QCOMPARE(QString::fromStdString(again.statement.value_or("")), QString("select 1"));
    }

    void failures_data() {
        QTest::addColumn<QString>("procedure"); // a name, or #id for a ProcID
        QTest::addColumn<int>("arguments");     // how many of (stmt, declaration, value)
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("returnsStatus");
        QTest::newRow("sp_executesql without text")
            << "#10" << 0
            << "201 Procedure or function 'sp_executesql' expects parameter '@statement', which "
               "was not supplied."
            << true;
        QTest::newRow("declared parameter without value")
            << "#10" << 2
            << "8178 The parameterized query '(@id int)select @id' expects the parameter '@id', "
               "which was not supplied."
            << true;
        QTest::newRow("sp_execute without handle")
            << "#12" << 0
            << "201 Procedure or function 'sp_execute' expects parameter '@handle', which was not "
               "supplied."
            << true;
        QTest::newRow("unknown procedure by name")
            << "dbo.usp_Nothing" << 0 << "2812 Could not find stored procedure 'dbo.usp_Nothing'."
            << false;
        QTest::newRow("cursor procedure")
            << "#2" << 0 << "2812 Could not find stored procedure 'sp_cursoropen'." << false;
    }

    void failures() {
        QFETCH(QString, procedure);
        QFETCH(int, arguments);
        QFETCH(QString, error);
        QFETCH(bool, returnsStatus);
        tds::RpcCall c;
        if (procedure.startsWith('#'))
            c.procId = static_cast<std::uint16_t>(procedure.mid(1).toInt());
        else
            c.procName = procedure.toStdString();
        const std::vector<tds::RpcParameter> all{text("select @id"), text("@id int"), integer(3)};
        c.parameters.assign(all.begin(), all.begin() + arguments);
        RpcPlanner planner;
        const auto plan = planner.plan(c);
        QCOMPARE(errorOf(plan), error);
        QCOMPARE(plan.returnsStatus, returnsStatus);
        QVERIFY(!plan.statement);
    }

    void executesqlByNameWithNamedValues() {
        tds::RpcCall c;
        c.procName = "sys.sp_executesql";
        c.parameters = {text("select @b, @a", "@stmt"), text("@a int, @b nvarchar(10)", "@params"),
                        text("x", "@b"), integer(2, "@a")};
        RpcPlanner planner;
        const auto plan = planner.plan(c);
        QVERIFY(!plan.error);
        QCOMPARE(QString::fromStdString(plan.statement.value_or("")), QString("select N'x', 2"));
    }

    void outputValuesAreReturned() {
        auto out = param(std::int64_t{9}, 0x26, true, "@n");
        out.typeInfo = std::string("\x26\x04", 2);
        out.valueBytes = std::string("\x04\x09\x00\x00\x00", 5);
        RpcPlanner planner;
        const auto plan =
            planner.plan(call(tds::kSpExecuteSql, {text("select 1"), text("@n int output"), out}));
        QCOMPARE(plan.returnValues.size(), std::size_t(1));
        QCOMPARE(plan.returnValues[0].ordinal, std::uint16_t(2));
        QCOMPARE(QString::fromStdString(plan.returnValues[0].name), QString("@n"));
        QCOMPARE(plan.returnValues[0].valueBytes, out.valueBytes);
    }

    void literals_data() {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("bound");
        QTest::newRow("int") << "select @p"
                             << "select 42";
        QTest::newRow("negative") << "select 1-@n"
                                  << "select 1-(-3)";
        QTest::newRow("null") << "select isnull(@z, 0)"
                              << "select isnull(NULL, 0)";
        QTest::newRow("float keeps a point") << "select @f"
                                             << "select 2.0";
        QTest::newRow("text doubles quotes") << "select @s"
                                             << "select N'O''Brien'";
        QTest::newRow("bytes") << "select @b"
                               << "select 0xDEAD";
        QTest::newRow("datetime") << "select @d"
                                  << "select '2024-02-29 13:45:30.500'";
        QTest::newRow("case-insensitive names") << "select @P"
                                                << "select 42";
        QTest::newRow("strings and comments untouched") << "select '@p' -- @p\nselect @p"
                                                        << "select '@p' -- @p\nselect 42";
        QTest::newRow("undeclared stays") << "select @other, @@spid"
                                          << "select @other, @@spid";
        QTest::newRow("unclosed string stays") << "select '@p"
                                               << "select '@p";
    }

    void literals() {
        QFETCH(QString, statement);
        QFETCH(QString, bound);
        const std::vector<tds::RpcParameter> values{
            integer(42), integer(-3), param(std::monostate{}, 0x26), param(2.0, 0x6D),
            text("O'Brien"), param(std::vector<std::uint8_t>{0xDE, 0xAD}, 0xA5),
            // 2024-02-29 13:45:30.500 as days since 1900-01-01
            param(45349.0 + (13 * 3600 + 45 * 60 + 30.5) / 86400.0, 0x6F)};
        const std::vector<std::string> names{"@p", "@n", "@z", "@f", "@s", "@b", "@d"};
        std::vector<const tds::RpcParameter*> pointers;
        for (const auto& v : values)
            pointers.push_back(&v);
        QCOMPARE(QString::fromStdString(bindParameters(statement.toStdString(), names, pointers)),
                 bound);
    }

    void declarations_data() {
        QTest::addColumn<QString>("declaration");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("FreeTDS") << "@P1 INT,@P2 NVARCHAR(8)" << QStringList{"@P1", "@P2"};
        QTest::newRow("spaced, with precision and output")
            << " @a decimal(10, 2) , @b int OUTPUT" << QStringList{"@a", "@b"};
        QTest::newRow("empty") << "" << QStringList{};
    }

    void declarations() {
        QFETCH(QString, declaration);
        QFETCH(QStringList, names);
        QStringList got;
        for (const auto& n : declaredParameters(declaration.toStdString()))
            got << QString::fromStdString(n);
        QCOMPARE(got, names);
    }
};

QTEST_GUILESS_MAIN(TstRpcPlanner)
#include "tst_rpcplanner.moc"
