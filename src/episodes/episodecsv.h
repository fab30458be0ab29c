#pragma once
// Episodes as CSV (RFC 4180: a header line, fields with a comma, a quote or a line break
// quoted, quotes doubled, lines ended by CRLF), for dervel-record --episodes. Times of the
// recording in ISO 8601 UTC; the head's login time as the server gave it (its own clock).

#include "episodes/blockingepisode.h"

#include <vector>

QString EpisodesCsv(const std::vector<TBlockingEpisode>& AEpisodes);
// One field as RFC 4180 writes it.
QString CsvField(const QString& AText);
