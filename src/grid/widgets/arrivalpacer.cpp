#include "grid/widgets/arrivalpacer.h"

#include <QScreen>
#include <QWidget>
#include <cmath>

TArrivalPacer::TArrivalPacer(std::function<void()> ATake, QWidget* AWindow)
    : QObject(AWindow), FTake(std::move(ATake)), FWindow(AWindow) {
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] { FTake(); });
}

void TArrivalPacer::Noticed() {
    const QScreen* screen = FWindow->screen();
    const double hz = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    const qint64 frame = std::max<qint64>(1, std::llround(1000.0 / hz));
    const qint64 since = FLastShown.isValid() ? FLastShown.elapsed() : frame;
    if (since >= frame) {
        FTimer.stop();
        FTake();
    } else if (!FTimer.isActive()) {
        FTimer.start(static_cast<int>(frame - since));
    }
}
