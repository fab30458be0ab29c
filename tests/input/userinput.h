#pragma once
// A person at the main window: mouse clicks and key presses delivered to the window as
// the platform delivers them (so focus, shortcuts and propagation all take part), and a
// close as the window manager's close button sends it.

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>

class TUserInput {
public:
    explicit TUserInput(QWidget& window) : FWindow(window) {}

    // Shows the window and waits until it has the keyboard, as after the user clicked it.
    bool bringUp() {
        FWindow.show();
        FWindow.activateWindow();
        return QTest::qWaitForWindowActive(&FWindow);
    }

    // At a point of a widget, its centre by default.
    void click(QWidget* widget, QPoint at = {}, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(handle(), Qt::LeftButton, mods, inWindow(widget, at));
    }
    void rightClick(QWidget* widget, QPoint at = {}) {
        QTest::mouseClick(handle(), Qt::RightButton, {}, inWindow(widget, at));
    }
    void doubleClick(QWidget* widget, QPoint at = {}) {
        const QPoint p = inWindow(widget, at);
        QTest::mouseClick(handle(), Qt::LeftButton, {}, p);
        QTest::mouseDClick(handle(), Qt::LeftButton, {}, p);
    }
    void key(Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(handle(), key, mods); }
    void type(const QString& text) {
        for (const QChar c : text)
            QTest::keyClick(handle(), c.toLatin1());
    }
    void closeWindow() {
        QCloseEvent close;
        QCoreApplication::sendEvent(handle(), &close);
    }

private:
    QWindow* handle() const { return FWindow.windowHandle(); }
    QPoint inWindow(QWidget* widget, QPoint at) const {
        return widget->mapTo(&FWindow, at.isNull() ? widget->rect().center() : at);
    }

    QWidget& FWindow;
};
