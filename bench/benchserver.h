#pragma once
// A test server scripted with a busy instance of N sessions, for the benchmarks, and
// timing helpers.

#include "tds_server.h"

#include <QString>
#include <QStringList>

// Starts an in-process server whose sampling query returns about `rows` rows of scripted
// user sessions (a third of them running something, some blocked) on a free port.
class TBenchServer {
public:
    explicit TBenchServer(int rows);
    ~TBenchServer();
    quint16 port() const { return FPort; }
    QString oledb() const;

private:
    testserver::TdsServer FServer;
    quint16 FPort = 0;
};

// The sampling query of the grid's built-in layout, sorted by SPID.
QString DefaultSamplingQuery();

// The median of a list of milliseconds.
double Median(QList<double> values);

// One "name: value unit" line.
void Report(const QString& name, double value, const QString& unit);
