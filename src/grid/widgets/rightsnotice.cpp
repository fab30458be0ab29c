#include "grid/widgets/rightsnotice.h"

TRightsNotice::TRightsNotice(QWidget* parent) : QLabel(parent) {
    setObjectName(QStringLiteral("RightsNotice"));
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(false);
    setContentsMargins(6, 2, 6, 2);
    setStyleSheet(QStringLiteral(
        "QLabel { background: #FFF8C4; color: #404000; border-bottom: 1px solid #D8CC80; }"));
    hide();
}

void TRightsNotice::showFor(bool connected, bool viewServerState, const QString& login) {
    if (!connected || viewServerState) {
        hide();
        return;
    }
    setText(tr("У входа %1 нет права VIEW SERVER STATE: видны только его собственные сеансы.")
                .arg(login));
    show();
}
