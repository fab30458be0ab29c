#pragma once
// The windows are designed for Tahoma, MS Sans Serif, Courier New and Arial Black.
// Debian has metric-compatible free fonts for them (fonts-wine, fonts-liberation);
// this makes Qt find them under the names the windows ask for.
void InstallFontSubstitutes();
