#pragma once
// The window's way to "Сохранить период": the span chosen in the dialog, the file asked
// for, the recording and its summary written, the user told.

#include "incident/spanexport.h"

class QWidget;

// Offers the span from AFromMs (the marked moment, or the recording's start) to AToMs
// (the snapshot on show).
void ExportSpanFromWindow(QWidget* AParent, TRecordingSource& ASource, qint64 AFromMs,
                          qint64 AToMs);

// Writes the span to APath and, with ASummary, its HTML summary beside it (the same name,
// ".html"). An export never adds to a file: one that is there (the file dialog asked
// before it is replaced) is replaced only once the new one is whole. Throws
// ERecordingError; returns the snapshots written.
int WriteSpan(TRecordingSource& ASource, const TSpanExport& ASpan, const QString& APath,
              bool ASummary);
