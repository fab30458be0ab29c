#include "sampling/monitorrec.h"

void ClearRecList(TRecList& list) {
    for (PMonitorRec rec : list)
        delete rec;
    list.clear();
}
