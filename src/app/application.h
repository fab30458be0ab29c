#pragma once
// What the program sets up on the application object before its first window: names,
// the launcher's file name, the icon and the fonts. Tests that open the main window as
// the program does call it too.

void SetUpApplication();
