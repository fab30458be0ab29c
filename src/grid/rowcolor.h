#pragma once
// Row colours of the session grid and the text colour rule of painting.

#include "sampling/monitorrec.h"

#include <QString>
#include <cstdint>

// Row background colours in the record's 0x00BBGGRR form; 0 means no row colour
// (no rule yields black).
inline constexpr std::uint32_t RowColorBlocking = 0x000000FF;  // #FF0000
inline constexpr std::uint32_t RowColorBlocked = 0x00FFAAFF;   // #FFAAFF
inline constexpr std::uint32_t RowColorRunning = 0x0080FF80;   // #80FF80
inline constexpr std::uint32_t RowColorRunnable = 0x00DCFFDC;  // #DCFFDC
inline constexpr std::uint32_t RowColorSuspended = 0x00C7C7E2; // #E2C7C7
inline constexpr std::uint32_t RowColorDormant = 0x0000FFFF;   // #FFFF00

// The first matching rule decides: blocks others, is blocked, then the status
// (compared whole and with letter case).
std::uint32_t GetRecColor(const TMonitorRec& ARec);

// "#RRGGBB" of a 0x00BBGGRR colour.
QString ColorToRgbText(std::uint32_t AColor);

// Text colour of every cell of a row, as "#RRGGBB", or an empty text to keep the
// grid's own colour (white on the selection bar, black elsewhere). On the focused
// row the row colour shows as the text colour; elsewhere it never changes the text.
QString RowTextColor(std::uint32_t AColor, bool ASelfID, bool AIsUser, bool AFocusedRow);

// The mark at a row's left edge while two moments of a recording are compared, 0x00BBGGRR;
// 0 for a session as it was. Apart from the row colours, so that a changed row keeps the
// colour of its status and its blocking.
inline constexpr std::uint32_t ChangeMarkAppeared = 0x00327D2E; // #2E7D32
inline constexpr std::uint32_t ChangeMarkEnded = 0x002828C6;    // #C62828
inline constexpr std::uint32_t ChangeMarkChanged = 0x00C06515;  // #1565C0
std::uint32_t ChangeMarkColor(TRowChange AChange);
