#pragma once
// Snapshots never come faster than the screen shows them: a notice within a frame of the
// last snapshot shown waits for the frame's end and then takes the newest buffer, so that
// at "0 с" the window paints at the screen's pace and not at the server's.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

class QWidget;

class TArrivalPacer : public QObject {
    Q_OBJECT
public:
    // ATake shows the newest snapshot; AWindow's screen sets the frame.
    TArrivalPacer(std::function<void()> ATake, QWidget* AWindow);

    // A notice of a snapshot came.
    void Noticed();
    // A snapshot was shown, by way of Noticed or not.
    void Shown() { FLastShown.start(); }

private:
    std::function<void()> FTake;
    QWidget* FWindow;
    QTimer FTimer;
    QElapsedTimer FLastShown;
};
