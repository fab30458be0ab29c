#pragma once
// A test server scripted with a busy instance of N sessions, for the benchmarks, and
// timing helpers.

#include "sampling/monitorrec.h"
#include "tds_server.h"

#include <QString>
#include <QStringList>

// Starts an in-process server whose sampling query returns about `rows` rows of scripted
// user sessions (a third of them running something, some blocked) on a free port. With a
// folder of test certificates (testserver's writeTestCertificates) it encrypts everything.
class TBenchServer {
public:
    explicit TBenchServer(int rows, const QString& tlsFolder = QString());
    ~TBenchServer();
    quint16 port() const { return FPort; }
    QString oledb() const;

private:
    testserver::TdsServer FServer;
    quint16 FPort = 0;
};

// A server in a process of its own, so that its CPU and memory are not the benchmark's:
// the benchmark program itself started with "--serve ROWS" (see ServeIfAsked), or any
// program that prints "listening on 127.0.0.1:PORT" first.
class TServerProcess {
public:
    // This program with --serve; with a certificate folder, the server encrypts and
    // oledb() asks for encryption checked against the folder's ca.pem.
    explicit TServerProcess(int rows, const QString& tlsFolder = QString());
    TServerProcess(const QString& program, const QStringList& arguments);
    ~TServerProcess();
    quint16 port() const { return FPort; }
    QString oledb() const;

private:
    void start(const QString& program, const QStringList& arguments);
    int FPid = -1;
    int FInput = -1;  // the server's standard input
    int FOutput = -1; // and output
    quint16 FPort = 0;
    QString FTlsFolder;
};

// In a benchmark's main, first: with "--serve ROWS [TLSFOLDER]" the program is a
// TBenchServer of that many rows until its standard input closes, and returns true.
bool ServeIfAsked(int argc, char* argv[]);

// The sampling query of the grid's built-in layout, sorted by SPID.
QString DefaultSamplingQuery();

// The median of a list of milliseconds.
double Median(QList<double> values);

// Fetches a snapshot of about `rows` sessions with the real sampler from a bench server,
// `runs` times after a first that warms up; returns the median time in ms and the records.
double FetchSnapshotMs(int rows, int runs, QList<TMonitorRec>& records);

// One "name: value unit" line.
void Report(const QString& name, double value, const QString& unit);
