#pragma once
// A snapshot's data as qCompress wrote it (the length, four bytes big-endian, then a zlib
// stream) read back into no more memory than the caller allows. qUncompress trusts the
// length and, when the stream inflates beyond it, doubles its buffer until it fits: a
// few kilobytes of a hostile file would take gigabytes.

#include <QByteArray>

// Throws ERecordingFormat: TooLarge when the length given, or what the stream inflates to,
// exceeds ALimit; Damaged when the stream is broken or does not inflate to its length.
QByteArray InflateSnapshot(const QByteArray& ACompressed, qsizetype ALimit);
