#include "recorder/recorder.h"

#include "database/dbconnection.h"
#include "database/dberror.h"
#include "database/dbquery.h"
#include "grid/monitorcolumns.h"
#include "sampling/monitorrecreader.h"
#include "sampling/querycomposition.h"
#include "servers/server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <chrono>
#include <map>
#include <thread>

namespace {

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString seconds(qint64 ms) {
    return QString::number(double(ms) / 1000.0, 'g', 3);
}

} // namespace

QString RecordedTextStatement() {
    return QStringLiteral(
        "select SPID = R.session_id,\r\n"
        "       RequestID = R.request_id,\r\n"
        "       Idx1 = isnull((R.statement_start_offset/2)+1,0),\r\n"
        "       Idx2 = isnull(((case R.statement_end_offset when -1 then datalength(T.text) "
        "else R.statement_end_offset END)/2) + 1,0),\r\n"
        "       Text = isnull(T.text,'')\r\n"
        "from sys.dm_exec_requests R\r\n"
        "cross apply sys.dm_exec_sql_text(R.sql_handle) T");
}

TRecordedServer DescribeServer(TDbConnection& AConnection) {
    const TDbRecordset rs = AConnection.execute(
        QStringLiteral("select @@SERVERNAME+' ('+suser_name()+')' as ConnectDescr, "
                       "@@VERSION as Version"));
    if (rs.eof())
        return {};
    return {rs.field(0).asString(), rs.field(1).asString()};
}

TRecorder::TRecorder(TRecordingStore& AWriter, TConnect AConnect, TDisconnect ADisconnect,
                     TRecorderOptions AOptions, TReport AReport)
    : Clock([] { return QDateTime::currentMSecsSinceEpoch(); }), RealClock(BootClockMs),
      FWriter(AWriter), FConnect(std::move(AConnect)), FDisconnect(std::move(ADisconnect)),
      FOptions(AOptions), FReport(std::move(AReport)), FTimes(AWriter.lastTime()) {}

void TRecorder::connect(TDbConnection& AConnection) {
    const TRecordedServer server = DescribeServer(AConnection);
    ConnectDescr = server.ConnectDescr;
    ServerVersion = server.ServerVersion;
    const TLoginRights rights = QueryLoginRights(AConnection);
    FQuery = RecordingQuery(rights.ViewServerState);
    if (!rights.ViewServerState)
        FReport(QCoreApplication::translate(
                    "Recorder",
                    "У входа %1 нет права VIEW SERVER STATE: записываются только его собственные "
                    "сеансы.")
                    .arg(rights.Login));
    FConnection = &AConnection;
}

QString RecordingQuery(bool AViewServerState) {
    const QList<bool> all(QueryColumnCount, true);
    TQueryFilters filters;
    filters.WithConnections = AViewServerState;
    return ComposeQuery(QueryTemplateLines(), all, 0, false, filters).Text;
}

TRecordedRows SampleRecordedRows(TDbConnection& AConnection, const QString& AQuery,
                                 bool AWithText) {
    TRecordedRows rows;
    {
        TDbQuery query;
        query.setConnection(&AConnection);
        query.setSQL(AQuery);
        query.open();
        TMonitorRecReader reader(query);
        while (!query.eof()) {
            rows.emplace_back();
            reader.fill(rows.back().Rec);
            query.next();
        }
        query.close();
    }
    if (AWithText) {
        std::map<std::pair<int, int>, std::size_t> byRequest;
        for (std::size_t i = 0; i < rows.size(); ++i)
            byRequest.emplace(std::pair(rows[i].Rec.SPID, rows[i].Rec.RequestID), i);
        TDbRecordset texts = AConnection.execute(RecordedTextStatement());
        for (; !texts.eof(); texts.moveNext()) {
            const auto it =
                byRequest.find({texts.field(0).asInteger(), texts.field(1).asInteger()});
            if (it == byRequest.end())
                continue;
            TRecordedRow& row = rows[it->second];
            row.Idx1 = texts.field(2).asInteger();
            row.Idx2 = texts.field(3).asInteger();
            row.Text = texts.field(4).asString();
        }
    }
    return rows;
}

bool TRecorder::wait(const std::atomic<bool>& AStop, qint64 AUntilSteadyMs) {
    using namespace std::chrono_literals;
    while (!AStop) {
        if (FOptions.StopAtMs && Clock() >= FOptions.StopAtMs)
            return false;
        const qint64 left = AUntilSteadyMs - steadyMs();
        if (left <= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(left, 50)));
    }
    return false;
}

TRecorder::TOutcome TRecorder::round(const std::atomic<bool>& AStop, TRecordedRows& ARows,
                                     QString& AError) {
    TDbQuery lease; // counts in the connection's dataSetCount until the round is over
    const bool connected = FConnection != nullptr;
    TDbConnection* connection = FConnection;
    try {
        if (!connection)
            connection = &FConnect();
        lease.setConnection(connection);
        // After the count went up: a window that asked us to stop before it looked at the
        // count is seen asking here.
        if (AStop)
            return TOutcome::Stopped;
        if (!connected)
            connect(*connection);
    } catch (const EDbError& e) {
        FConnection = nullptr;
        if (connection && FDisconnect)
            FDisconnect(*connection);
        if ((!FConnectedOnce && FailFirstConnect) || e.loginRefused())
            throw;
        AError = e.message();
        return TOutcome::NoConnection;
    }
    try {
        ARows = SampleRecordedRows(*FConnection, FQuery, FOptions.WithText);
        return TOutcome::Sampled;
    } catch (const EDbError& e) {
        AError = e.message();
        if (FDisconnect)
            FDisconnect(*FConnection);
        FConnection = nullptr;
        return TOutcome::Lost;
    }
}

void TRecorder::noteClockStep() {
    const std::optional<qint64> step = FTimes.takeStep();
    if (!step)
        return;
    if (*step == 0)
        FReport(QCoreApplication::translate("Recorder",
                                            "Часы компьютера снова идут вместе с записью."));
    else
        FReport(QCoreApplication::translate("Recorder",
                                            "Часы компьютера ушли от времени записи на %1 с; "
                                            "запись продолжает своё время без скачка.")
                    .arg(seconds(*step)));
}

void TRecorder::Run(const std::atomic<bool>& AStop) {
    // A recording that goes on after a pause: the pause is a gap.
    qint64 gapStart = FWriter.lastTime();
    QString gapReason = QCoreApplication::translate("Recorder", "запись не велась");
    int backoffMs = 1000;
    qint64 lastRetention = 0;
    while (!AStop && !(FOptions.StopAtMs && Clock() >= FOptions.StopAtMs)) {
        const qint64 began = steadyMs();
        const bool reconnecting = FConnection == nullptr;
        TRecordedRows rows;
        QString error;
        const TOutcome outcome = round(AStop, rows, error);
        if (outcome == TOutcome::Stopped)
            break;
        if (Observe && outcome != TOutcome::Sampled)
            Observe({nullptr, Clock(), steadyMs() - began, error});
        if (outcome == TOutcome::NoConnection) {
            if (gapStart < 0) {
                gapStart = FWriter.lastTime() >= 0 ? FWriter.lastTime() : Clock();
                gapReason = error;
            }
            FReport(QCoreApplication::translate("Recorder",
                                                "Нет соединения: %1 Следующая попытка через %2 с.")
                        .arg(error.trimmed(), seconds(backoffMs)));
            if (Silent)
                Silent(Clock());
            if (!wait(AStop, began + backoffMs))
                break;
            backoffMs = std::min(backoffMs * 2, FOptions.MaxBackoffMs);
            continue;
        }
        if (reconnecting) {
            FReport(
                FConnectedOnce
                    ? QCoreApplication::translate("Recorder", "Соединение восстановлено: %1")
                          .arg(ConnectDescr)
                    : QCoreApplication::translate("Recorder", "Подключено: %1").arg(ConnectDescr));
            FConnectedOnce = true;
            backoffMs = 1000;
        }
        if (outcome == TOutcome::Lost) {
            gapStart = FWriter.lastTime() >= 0 ? FWriter.lastTime() : Clock();
            gapReason = error;
            FReport(QCoreApplication::translate("Recorder", "Соединение потеряно: %1")
                        .arg(error.trimmed()));
            if (Silent)
                Silent(Clock());
            if (!wait(AStop, began + backoffMs))
                break;
            continue;
        }
        const qint64 answered = FTimes.next(Clock(), RealClock());
        noteClockStep();
        if (gapStart >= 0) {
            FWriter.addGap(gapStart, answered, gapReason);
            gapStart = -1;
        }
        FWriter.append(answered, rows);
        if (Sampled)
            Sampled(answered, rows);
        if (Observe)
            Observe({&rows, answered, steadyMs() - began, QString()});
        // By the recording's own times, which never jump: see recordingclock.h.
        if (FOptions.RetainMs > 0 && answered - lastRetention >= 60000) {
            FWriter.dropBefore(answered - FOptions.RetainMs);
            lastRetention = answered;
        }
        if (!wait(AStop, began + FOptions.PeriodMs))
            break;
    }
    if (gapStart >= 0 && FWriter.lastTime() >= 0 && gapStart >= FWriter.lastTime())
        FWriter.addGap(gapStart, FTimes.next(Clock(), RealClock()), gapReason);
}
