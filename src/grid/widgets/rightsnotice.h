#pragma once
// A thin line above the grid, shown while the watched server's login lacks VIEW SERVER
// STATE: the grid then holds only that login's own sessions, and the user should know
// why the server looks so quiet. It asks for nothing and takes no focus.

#include <QLabel>

class TRightsNotice : public QLabel {
    Q_OBJECT
public:
    explicit TRightsNotice(QWidget* parent = nullptr);
    // Shown for a connected server without the permission, hidden otherwise.
    void showFor(bool connected, bool viewServerState, const QString& login);
};
