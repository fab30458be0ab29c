#pragma once
// An episode as a store keeps it and back (see recorder/recordedepisode.h): the span and
// the head's SPID in the store's columns, the rest in a JSON object whose names are part
// of the recording's format.

#include "episodes/blockingepisode.h"
#include "recorder/recordedepisode.h"

TRecordedEpisode RecordedEpisodeOf(const TBlockingEpisode& AEpisode);
// What the object does not say, or says in the wrong type, is left at its default: a file
// may come from anyone, and an episode is a summary, not evidence.
TBlockingEpisode EpisodeOfRecorded(const TRecordedEpisode& ARecorded);
