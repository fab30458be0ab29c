#include "actions/widgets/modalrun.h"

#include <QDialog>

namespace {
TModalRunner& runner() {
    static TModalRunner r;
    return r;
}
} // namespace

void RunModal(QDialog* ADialog) {
    if (runner())
        runner()(ADialog);
    else
        ADialog->exec();
}

void SetModalRunner(TModalRunner ARunner) {
    runner() = std::move(ARunner);
}
