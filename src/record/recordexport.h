#pragma once
// dervel-record --export: a span of a recording written as a file of its own, and its
// HTML summary beside it, without a window.

#include "recorder/recordcommandline.h"

#include <functional>

// Runs the export the command describes; AReport takes each line for stderr. Returns the
// exit status: 0 written, 1 the recording could not be read or the files written.
int RunRecordExport(const TRecordCommand& ACommand,
                    const std::function<void(const QString&)>& AReport);
