#pragma once
// dervel-record --episodes: the blocking episodes of a recording, printed as CSV.

#include "recorder/recordcommandline.h"

#include <functional>

// Prints the CSV through AOut, or a message through AError; returns the exit status
// (kRecordExitOk, kRecordExitUsage for a database without --server, kRecordExitFailed
// for a recording that does not read).
int PrintEpisodes(const TRecordCommand& ACommand, const std::function<void(const QString&)>& AOut,
                  const std::function<void(const QString&)>& AError);
