#pragma once
// The two-pane window: the blocked session on the right and the session that blocks it
// on the left. It owns both views; closing it, or either view, frees all three.

#include "actions/widgets/viewhost.h"

#include <QDialog>

class QFrame;
class QLabel;
class TServer;
class TViewForm;

class TContainerForm : public QDialog {
    Q_OBJECT
public:
    explicit TContainerForm(QWidget* AOwner);

    QFrame* Panel1; // left: the blocker
    QFrame* Panel2; // right: the blocked session
    QLabel* Panel3; // header strip of Panel1
    QLabel* Panel4; // header strip of Panel2
};

// Places a view into a pane: the pane's header strip shows the view's caption and the
// view, without a border of its own, fills the rest.
void EmbedView(TViewForm* AView, QFrame* APanel);

// Opens the focused session beside the first of the rows whose SPID is its blocker;
// "Процесс не найден." when none of the rows is.
void OpenBlockingPair(QWidget* AOwner, TServer* AServer, PMonitorRec AFocused,
                      const QList<PMonitorRec>& ARows, const TViewHost& AHost);
