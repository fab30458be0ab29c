#pragma once
// The server panel hidden and shown again: F2, or a click on the strip at its right edge,
// whose cursor points the way the panel will go; a drag on the strip widens the panel.

#include <QObject>

class QAction;
class QWidget;
class TServerPanel;
class TSplitStrip;

class TPanelSwitch : public QObject {
    Q_OBJECT
public:
    // The strip is made here, for the window's layout beside the panel.
    TPanelSwitch(TServerPanel* APanel, QWidget* AWindow);

    QAction* const actShowPanel;
    TSplitStrip* const Strip;

    void actShowPanelExecute();

private:
    void showState(bool AOpen);

    TServerPanel* FPanel;
    bool FDragging = false;
    int FWidthAtPress = 0;
};
