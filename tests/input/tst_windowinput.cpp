// The main window used as a person uses it: only clicks, key presses and closing reach
// it, against the test server. Runs offscreen and, since focus behaves differently
// there, under Xvfb with the xcb platform too.

#include "app/application.h"
#include "app/mainform.h"
#include "grid/widgets/errorpanel.h"
#include "grid/widgets/monitormodel.h"
#include "grid/widgets/monitorstatusbar.h"
#include "grid/widgets/monitortoolbar.h"
#include "grid/widgets/monitorview.h"
#include "grid/widgets/statusfilteredit.h"
#include "instance.h"
#include "mainformfixture.h"
#include "registry/registry.h"
#include "sampling/monitor.h"
#include "scripting.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"
#include "userinput.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace {

// Counts the arrivals the window is sent, and can act once, as the user would, just
// before the next one is handled.
class TArrivals : public QObject {
public:
    explicit TArrivals(QObject* window) : FWindow(window) { window->installEventFilter(this); }
    ~TArrivals() override { FWindow->removeEventFilter(this); }
    int count = 0;
    std::function<void()> beforeNext;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == WM_DATAARRIVE) {
            ++count;
            if (beforeNext)
                std::exchange(beforeNext, nullptr)();
        }
        return false;
    }

private:
    QObject* FWindow;
};

// The window with a connected test server full of sessions, added the way a user adds
// one: Ctrl+D, the connection dialog (answered by the prompts), OK.
struct TWindow {
    explicit TWindow(int sessions = 40) {
        for (int i = 0; i < sessions; ++i) {
            testserver::ScriptedSession s;
            s.loginName = "user" + std::to_string(i);
            s.programName = "Program with a long name " + std::to_string(i);
            f.server().instance().addSession(s);
        }
        QVERIFY(user.bringUp());
    }
    TMainForm& form() { return f.form(); }
    TServer* addServer(const QString& name, const QString& connectionString) {
        f.prompts().connectionAnswers
            << TScriptedPrompts::TConnectionAnswer{true, name, connectionString};
        user.key(Qt::Key_D, Qt::ControlModifier);
        return form().SelectedServer();
    }
    // Connects the test server and waits for its first snapshot.
    void connectTestServer() {
        addServer(u"Test"_s, f.server().oledb());
        QTRY_VERIFY(form().MonitorModel->rowCount() > 0);
    }
    QWidget* toolButton(QAction* action) { return form().MonitorToolBar->widgetForAction(action); }
    QPoint serverRow(int row) {
        return form()
            .ServerPanel->ServerVT->visualRect(form().ServerPanel->model()->index(row))
            .center();
    }
    void clickServer(int row) {
        user.click(form().ServerPanel->ServerVT->viewport(), serverRow(row));
    }
    void clickGridRow(int row, int column = 0) {
        TMonitorView* grid = form().MonitorVT;
        user.click(grid->viewport(),
                   grid->visualRect(form().MonitorModel->index(row, column)).center());
    }

    TMainFormFixture f{false};
    bool started = (f.start(), true);
    TUserInput user{f.form()};
};

bool onXcb() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// The first pixel row of the area with a pixel the test accepts, -1 when none.
int firstRowWhere(const QImage& image, const QRect& area, const std::function<bool(QColor)>& ink) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (ink(image.pixelColor(x, y)))
                return y;
    return -1;
}

int firstInkRow(const QImage& image, const QRect& area, QColor colour) {
    return firstRowWhere(image, area, [colour](QColor c) {
        return std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                   std::abs(c.blue() - colour.blue()) <
               120;
    });
}

// Grey ink of text: the channels equal, darker than the field's white.
bool greyInk(QColor c) {
    return std::abs(c.red() - c.green()) < 10 && std::abs(c.green() - c.blue()) < 10 &&
           c.green() < 200;
}

// Any green tint, also green text drawn half transparent.
bool greenInk(QColor c) {
    return c.green() - c.red() > 30 && c.green() - c.blue() > 30;
}

} // namespace

class TestWindowInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void closingWithTheFocusAnywhere_data();
    void closingWithTheFocusAnywhere();
    void failedSampleWhileTheLoginFilterHasTheFocus_data();
    void failedSampleWhileTheLoginFilterHasTheFocus();
    void loginFilterAppliesWhenLeftForTheGrid();
    void followFocusUpNeverScrolls();
    void followFocusDownScrollsOnlyVertically();
    void serverSwitchWithASnapshotInFlight();
    void reconnectLeavesNoMarks();
    void startUpFocusesNoServer();
    void editingAServerEntry_data();
    void editingAServerEntry();
    void tabIntoTheStatusSummarySelectsNothing();
    void loginPlaceholderIsGrey();
    void statusBarTextStartsAtThePanelTop();
    void gridKeysWithOtherModifiersKeepTheirMeaning();
    void captionsAreExactlyTheTexts();
};

void TestWindowInput::initTestCase() {
    SetUpApplication();
}

// Closing must never recompose: the focus leaves whatever field had it while the window
// goes, after the sampler is gone. The settings are saved at the end.
void TestWindowInput::closingWithTheFocusAnywhere_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("byButton");
    for (const QString& field : {u"login, typed"_s, u"login, untouched"_s, u"database list"_s,
                                 u"status summary"_s, u"grid"_s, u"server list"_s})
        for (const bool byButton : {true, false})
            QTest::addRow("%s, %s", qPrintable(field), byButton ? "Закрыть" : "window manager")
                << field << byButton;
}

void TestWindowInput::closingWithTheFocusAnywhere() {
    QFETCH(QString, field);
    QFETCH(bool, byButton);
    TWindow w;
    TMainForm& form = w.form();
    w.connectTestServer();
    if (field.startsWith(u"login"_s)) {
        w.user.click(form.edLogin);
        if (field == u"login, typed"_s)
            w.user.type(u"user1"_s);
    } else if (field == u"database list"_s || field == u"status summary"_s) {
        w.user.click(form.edLogin);
        w.user.key(Qt::Key_Tab);
        if (field == u"status summary"_s)
            w.user.key(Qt::Key_Tab);
    } else if (field == u"grid"_s) {
        w.clickGridRow(2);
    } else {
        w.clickServer(0);
    }
    QWidget* expected = field.startsWith(u"login"_s)   ? static_cast<QWidget*>(form.edLogin)
                        : field == u"database list"_s  ? form.cbDBList
                        : field == u"status summary"_s ? form.edStFlt
                        : field == u"grid"_s           ? static_cast<QWidget*>(form.MonitorVT)
                                                       : form.ServerPanel->ServerVT;
    QTRY_COMPARE(QApplication::focusWidget(), expected);
    form.resize(1234, 765);
    if (byButton)
        w.user.click(w.toolButton(form.actExit));
    else
        w.user.closeWindow();
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(!form.Dervel);
    w.f.finish();
    TRegistry registry;
    QVERIFY(registry.OpenKey(u"Software\\Dervel"_s, false));
    QCOMPARE(registry.ReadInteger(u"Width"_s), 1234);
    QVERIFY(registry.OpenKey(u"Software\\Dervel\\Servers"_s, false));
    QCOMPARE(registry.GetKeyNames().size(), 1);
}

// A failed sample shows the error panel and disables the session tool bar; the focus
// that leaves the login filter then is not the user's and must not undo either.
void TestWindowInput::failedSampleWhileTheLoginFilterHasTheFocus_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("nothing typed") << QString();
    QTest::newRow("a login typed") << u"user1"_s;
}

void TestWindowInput::failedSampleWhileTheLoginFilterHasTheFocus() {
    QFETCH(QString, typed);
    TWindow w;
    TMainForm& form = w.form();
    form.cbPeriod->setCurrentIndex(0); // "0 с": the next sample comes at once
    w.connectTestServer();
    w.user.click(form.edLogin);
    w.user.type(typed);
    QTRY_COMPARE(QApplication::focusWidget(), form.edLogin);
    w.f.server().server().dropConnectionAfterRows(0);
    QTRY_VERIFY(form.mmError->isVisible());
    QVERIFY(form.mmError->toPlainText().startsWith(
        u"Невозможно получить данные.\nСообщение от провайдера:\n"_s));
    QVERIFY(!form.MonitorVT->isVisible());
    QVERIFY(!form.MonitorToolBar->isEnabled());
    QCOMPARE(form.SelectedServer()->State, stError);
    // Whatever the focus does next, the panel stays until the user connects again.
    w.clickServer(0);
    QVERIFY(form.mmError->isVisible());
    QVERIFY(!form.MonitorToolBar->isEnabled());
    w.user.doubleClick(form.ServerPanel->ServerVT->viewport(), w.serverRow(0));
    QTRY_VERIFY(form.MonitorVT->isVisible());
    QVERIFY(form.MonitorToolBar->isEnabled());
}

void TestWindowInput::loginFilterAppliesWhenLeftForTheGrid() {
    TWindow w;
    TMainForm& form = w.form();
    w.connectTestServer();
    w.user.click(form.edLogin);
    w.user.type(u"user7"_s);
    QTest::qWait(50);
    QVERIFY(form.MonitorModel->rowCount() > 1); // typing alone changes nothing
    w.user.key(Qt::Key_Return);                 // leaves the field for the grid
    QCOMPARE(QApplication::focusWidget(), form.MonitorVT);
    QTRY_COMPARE(form.MonitorModel->rowCount(), 1);
    QCOMPARE(form.MonitorModel->record(0)->Login, u"user7"_s);
}

// "Следить за фокусом" up: the focused session keeps the focus, but the grid stays where
// the user scrolled it.
void TestWindowInput::followFocusUpNeverScrolls() {
    TWindow w(200);
    TMainForm& form = w.form();
    form.resize(900, 500);
    form.cbPeriod->setCurrentIndex(0);
    w.connectTestServer();
    w.user.click(form.MonitorToolBar->tbFollowFocus);
    QVERIFY(!form.tbFollowFocus->isChecked());
    int first = 0; // the first scripted session
    while (form.MonitorModel->record(first)->Login != u"user0"_s)
        ++first;
    w.clickGridRow(first + 2);
    const int spid = form.FocusedRec()->SPID;
    QScrollBar* down = form.MonitorVT->verticalScrollBar();
    for (int i = 0; i < 3; ++i) // page down on the bar's track
        w.user.click(down, QPoint(down->width() / 2, down->height() - 20));
    const int scrolled = down->value();
    QVERIFY(scrolled > 0);
    // A session above it ends: the focused session moves up a row at the next snapshot.
    QVERIFY(w.f.server().instance().endSession(form.MonitorModel->record(first)->SPID));
    TArrivals arrivals(&form);
    QTRY_VERIFY(arrivals.count >= 3);
    QCOMPARE(form.FocusedRec()->SPID, spid);
    QCOMPARE(form.MonitorVT->focusedRow(), first + 1);
    QCOMPARE(down->value(), scrolled);
}

// Down: the grid brings the focused row back into view, vertically only; the columns
// the user scrolled to stay.
void TestWindowInput::followFocusDownScrollsOnlyVertically() {
    TWindow w(200);
    TMainForm& form = w.form();
    form.resize(700, 500);
    form.cbPeriod->setCurrentIndex(0);
    w.connectTestServer();
    QVERIFY(form.tbFollowFocus->isChecked());
    w.clickGridRow(1);
    const int spid = form.FocusedRec()->SPID;
    QScrollBar* across = form.MonitorVT->horizontalScrollBar();
    QVERIFY(across->maximum() > 0);
    w.user.click(across, QPoint(across->width() - 30, across->height() / 2));
    const int right = across->value();
    QVERIFY(right > 0);
    QScrollBar* down = form.MonitorVT->verticalScrollBar();
    w.user.click(down, QPoint(down->width() / 2, down->height() - 20));
    QVERIFY(down->value() > 0);
    TArrivals arrivals(&form);
    QTRY_VERIFY(arrivals.count >= 3);
    QCOMPARE(form.FocusedRec()->SPID, spid);
    const QRect focused = form.MonitorVT->visualRect(form.MonitorVT->currentIndex());
    QVERIFY(form.MonitorVT->viewport()->rect().intersects(focused.adjusted(-2000, 0, 2000, 0)));
    QCOMPARE(form.MonitorVT->rowAt(focused.center().y()), form.MonitorVT->focusedRow());
    QCOMPARE(across->value(), right);
}

// A snapshot of server A still queued when the user picks server B must not show under
// B: its SPIDs would be ended on B's connection.
void TestWindowInput::serverSwitchWithASnapshotInFlight() {
    TWindow w;
    TMainForm& form = w.form();
    w.addServer(u"Other"_s,
                u"Provider=SQLOLEDB;Data Source=127.0.0.1,%1;User ID=sa;Connect Timeout=5"_s.arg(
                    w.f.server().port())); // asks for a password: cancelled
    QCOMPARE(form.SelectedServer()->State, stDisconnected);
    w.connectTestServer(); // row 1, focused and watched
    TArrivals arrivals(&form);
    bool switched = false;
    arrivals.beforeNext = [&] {
        w.clickServer(0);
        switched = true;
    };
    w.user.key(Qt::Key_F5); // one more snapshot of the test server
    QTRY_VERIFY(switched);
    QCoreApplication::processEvents();
    QCOMPARE(form.SelectedServer()->Name, u"Other"_s);
    QCOMPARE(form.MonitorModel->rowCount(), 0);
    QCOMPARE(form.MonitorStatusBar->panelText(1), QString());
    form.MonitorVT->setFocus(Qt::OtherFocusReason);
    const int boxes = w.f.prompts().messages.size();
    w.user.key(Qt::Key_Delete);
    w.user.key(Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(w.f.prompts().messages.size(), boxes);
}

// Marks name sessions of one connection; after a disconnect and a connect the same SPIDs
// may be other sessions.
void TestWindowInput::reconnectLeavesNoMarks() {
    TWindow w;
    TMainForm& form = w.form();
    w.connectTestServer();
    w.clickGridRow(0);
    w.user.key(Qt::Key_Space);
    w.user.key(Qt::Key_Space);
    QCOMPARE(form.SelList.size(), 2);
    QCOMPARE(form.MonitorStatusBar->panelText(3), u"2"_s);
    w.user.click(form.ServerPanel->MainToolBar->widgetForAction(form.ServerPanel->actDisconnect));
    QCOMPARE(form.SelectedServer()->State, stDisconnected);
    w.user.doubleClick(form.ServerPanel->ServerVT->viewport(), w.serverRow(0));
    QTRY_VERIFY(form.MonitorModel->rowCount() > 0);
    QVERIFY(form.SelList.isEmpty());
    QCOMPARE(form.MonitorStatusBar->panelText(3), QString());
}

// Qt's list takes its first row as current when it gets the keyboard focus; the server
// list's current row is the watched server, which only the user picks.
void TestWindowInput::startUpFocusesNoServer() {
    TMainFormFixture f(false);
    for (const auto& [guid, name] :
         {std::pair{u"{00000000-0000-4000-8000-000000000001}"_s, u"First"_s},
          std::pair{u"{00000000-0000-4000-8000-000000000002}"_s, u"Second"_s}}) {
        TRegistry reg;
        QVERIFY(reg.OpenKey(u"Software\\Dervel\\Servers\\"_s + guid, true));
        reg.WriteString(u"Name"_s, name);
        reg.WriteString(u"ConnectionString"_s, f.server().oledb());
        reg.WriteInteger(u"Order"_s, name == u"First"_s ? 0 : 1);
        reg.CloseKey();
    }
    f.start();
    TUserInput user(f.form());
    QVERIFY(user.bringUp());
    TServerListView* list = f.form().ServerPanel->ServerVT;
    for (int i = 0; i < 30 && QApplication::focusWidget() != list; ++i)
        user.key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), list);
    QVERIFY(!list->currentIndex().isValid());
    QCOMPARE(f.form().SelectedServer(), nullptr);
    QVERIFY(!f.form().ServerPanel->actConnect->isEnabled());
    QCOMPARE(f.form().MonitorModel->rowCount(), 0);
}

// Ctrl+Enter on the list edits the focused entry; the connection is not reopened.
void TestWindowInput::editingAServerEntry_data() {
    QTest::addColumn<bool>("keypad");
    QTest::newRow("Enter") << false;
    QTest::newRow("keypad Enter") << true;
}

void TestWindowInput::editingAServerEntry() {
    QFETCH(bool, keypad);
    TWindow w(0);
    TMainForm& form = w.form();
    const QString connection =
        u"Provider=SQLOLEDB;Data Source=127.0.0.1,%1;User ID=sa;Connect Timeout=5"_s.arg(
            w.f.server().port());
    TServer* server = w.addServer(u"Old name"_s, connection); // login cancelled: not connected
    QCOMPARE(server->State, stDisconnected);
    w.clickServer(0);
    const int logins = w.f.prompts().loginCalls.size();
    w.f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
        true, u"New name"_s, connection + u";Application Name=Mine"_s};
    if (keypad)
        w.user.key(Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    else
        w.user.key(Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(w.f.prompts().connectionCalls.size(), 2);
    const TScriptedPrompts::TConnectionCall& call = w.f.prompts().connectionCalls.last();
    QCOMPARE(call.caption, u"Изменить подключение"_s);
    QCOMPARE(call.name, u"Old name"_s);
    QCOMPARE(call.connectionString, connection);
    QCOMPARE(server->Name, u"New name"_s);
    QCOMPARE(form.ServerPanel->model()
                 ->data(form.ServerPanel->model()->index(0), Qt::DisplayRole)
                 .toString(),
             u"New name"_s);
    QCOMPARE(server->ConnectionString, connection + u";Application Name=Mine"_s);
    QCOMPARE(server->State, stDisconnected);
    QCOMPARE(w.f.prompts().loginCalls.size(), logins); // no connect was tried
}

void TestWindowInput::tabIntoTheStatusSummarySelectsNothing() {
    TWindow w(0);
    TMainForm& form = w.form();
    w.user.click(form.edLogin);
    w.user.key(Qt::Key_Tab);
    w.user.key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.edStFlt);
    QVERIFY(!form.edStFlt->text().isEmpty());
    QVERIFY(!form.edStFlt->hasSelectedText());
}

void TestWindowInput::loginPlaceholderIsGrey() {
    TWindow w(0);
    QLineEdit* login = w.form().edLogin;
    QVERIFY(login->text().isEmpty());
    const QImage image = login->grab().toImage();
    const QRect text(2, 2, login->width() / 2, login->height() - 4);
    QVERIFY2(firstRowWhere(image, text, greyInk) >= 0, "no grey placeholder");
    QCOMPARE(firstRowWhere(image, text, greenInk), -1);
}

// The panel texts are drawn from the panel's top, as every status bar of the program.
void TestWindowInput::statusBarTextStartsAtThePanelTop() {
    TWindow w;
    TMainForm& form = w.form();
    w.connectTestServer();
    TMonitorStatusBar* bar = form.MonitorStatusBar;
    const QString count = bar->panelText(1);
    QVERIFY(!count.isEmpty());
    const QImage image = bar->grab().toImage();
    const QRect panel = bar->panelRect(1).adjusted(1, 0, -1, 0);
    const QColor navy(0x00, 0x00, 0x80);
    QImage reference(panel.size(), QImage::Format_ARGB32);
    reference.fill(Qt::white);
    {
        QPainter p(&reference);
        p.setFont(bar->font());
        p.setPen(navy);
        p.drawText(reference.rect(), Qt::AlignLeft | Qt::AlignTop, count);
    }
    QCOMPARE(firstInkRow(image, panel, navy), firstInkRow(reference, reference.rect(), navy));
}

// Only the exact modifier set makes a grid key; with any other the key goes on to the
// view's standard handling, and from there to the window.
void TestWindowInput::gridKeysWithOtherModifiersKeepTheirMeaning() {
    TWindow w;
    TMainForm& form = w.form();
    w.connectTestServer();
    w.clickGridRow(0, 1);
    struct TSeen : QObject {
        QList<int> keys;
        bool eventFilter(QObject*, QEvent* e) override {
            const int key = e->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(e)->key() : 0;
            if (key && key != Qt::Key_Shift && key != Qt::Key_Control && key != Qt::Key_Alt)
                keys << key;
            return false;
        }
    } seen;
    QWidget* parent = form.MonitorVT->parentWidget();
    parent->installEventFilter(&seen);
    w.user.key(Qt::Key_Delete, Qt::ShiftModifier);
    w.user.key(Qt::Key_Return, Qt::AltModifier);
    w.user.key(Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier); // the view's selection key
    parent->removeEventFilter(&seen);
    QCOMPARE(seen.keys, (QList<int>{Qt::Key_Delete, Qt::Key_Return}));
    QVERIFY(w.f.prompts().messages.isEmpty()); // none of them asked to kill
    QVERIFY(form.SelList.isEmpty());           // nor marked
    QApplication::clipboard()->clear();
    w.user.key(Qt::Key_Insert, Qt::ControlModifier); // the standard copy key
    QCOMPARE(QApplication::clipboard()->text(), form.FocusedRec()->Login);
}

// Qt appends the application's display name to captions on X11 when one is set.
void TestWindowInput::captionsAreExactlyTheTexts() {
    if (!onXcb())
        QSKIP("window manager captions exist on X11 only");
    TWindow w(0);
    QWidget box;
    box.setWindowTitle(u"Kill process"_s);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    for (QWidget* window : {static_cast<QWidget*>(&w.form()), &box}) {
        QProcess xprop;
        xprop.start(u"xprop"_s, {u"-id"_s, QString::number(window->winId()), u"_NET_WM_NAME"_s});
        QVERIFY(xprop.waitForFinished(10000));
        const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
        QCOMPARE(out, u"_NET_WM_NAME(UTF8_STRING) = \"%1\""_s.arg(window->windowTitle()));
    }
}

QTEST_MAIN(TestWindowInput)
#include "tst_windowinput.moc"
