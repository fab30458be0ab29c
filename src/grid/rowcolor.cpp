#include "grid/rowcolor.h"

#include "sampling/monitorrec.h"

using namespace Qt::Literals::StringLiterals;

std::uint32_t GetRecColor(const TMonitorRec& ARec) {
    if (ARec.Blocked)
        return RowColorBlocking;
    if (ARec.Blocking != 0)
        return RowColorBlocked;
    if (ARec.Status == u"running")
        return RowColorRunning;
    if (ARec.Status == u"runnable")
        return RowColorRunnable;
    if (ARec.Status == u"suspended")
        return RowColorSuspended;
    if (ARec.Status == u"dormant")
        return RowColorDormant;
    return 0;
}

QString ColorToRgbText(std::uint32_t AColor) {
    return QString::asprintf("#%02X%02X%02X", AColor & 0xFF, (AColor >> 8) & 0xFF,
                             (AColor >> 16) & 0xFF);
}

QString RowTextColor(std::uint32_t AColor, bool ASelfID, bool AIsUser, bool AFocusedRow) {
    if (AFocusedRow) {
        if (AColor != 0)
            return ColorToRgbText(AColor);
        if (ASelfID)
            return u"#00FFFF"_s;
        if (!AIsUser)
            return u"#C0C0C0"_s;
        return QString();
    }
    if (ASelfID)
        return u"#0000FF"_s;
    if (!AIsUser)
        return u"#808080"_s;
    return QString();
}

std::uint32_t ChangeMarkColor(TRowChange AChange) {
    switch (AChange) {
    case TRowChange::Appeared:
        return ChangeMarkAppeared;
    case TRowChange::Ended:
        return ChangeMarkEnded;
    case TRowChange::Changed:
        return ChangeMarkChanged;
    case TRowChange::None:
        break;
    }
    return 0;
}
