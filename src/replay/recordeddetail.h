#pragma once
// The detail window's content for a session of a recording: its recorded columns on the
// page of the view each comes from, and the batch text where it was recorded.

#include "actions/sessiondetail.h"
#include "recorder/recordedrow.h"

TSessionDetail RecordedSessionDetail(const TRecordedRow& ARow);
