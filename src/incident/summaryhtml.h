#pragma once
// The summary of a span as one HTML page for people without Dervel: the server and the
// span, the blocking episodes, the sessions that took the most CPU and that waited the
// longest. One self-contained file: the style inline, no scripts, nothing fetched. Every
// recorded value is escaped, for a recording may hold anything a client chose to send
// (a program's name is the client's to choose).

#include "incident/spansummary.h"

QString SummaryHtml(const TSpanSummary& ASummary);

// Writes the summary of the span from AFromMs to AToMs into a file of its own: readable by
// its owner only, as the recording it comes from (it names logins, hosts and programs),
// and put in place whole. Throws ERecordingError.
void WriteSpanSummary(TRecordingSource& ASource, qint64 AFromMs, qint64 AToMs,
                      const QString& APath);
