#include "keyringfixture.h"

#include "registry/registry.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"
#include "settings/settingsstore.h"
#include "userinput.h"

#include <QDirIterator>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <optional>

namespace keyringtest {

QString SettingsText(const TMainFormFixture& f) {
    QString text;
    QDirIterator it(f.settingsFolder(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}

void FirstRun(TMainFormFixture& f) {
    f.start();
    f.finish();
}

void SaveServer(const QUuid& id, const QString& name, const QString& connectionString, int order) {
    TRegistry reg;
    QVERIFY(reg.OpenKey(QStringLiteral("Software\\Dervel\\Servers\\") + GuidText(id), true));
    reg.WriteString(QStringLiteral("Name"), name);
    reg.WriteString(QStringLiteral("ConnectionString"), connectionString);
    reg.WriteString(QStringLiteral("Version"), QString());
    reg.WriteInteger(QStringLiteral("Order"), order);
    reg.CloseKey();
}

TKeyringReply Secret(const QUuid& id) {
    TKeyring keyring;
    std::optional<TKeyringReply> reply;
    keyring.Read(id, [&reply](const TKeyringReply& r) { reply = r; });
    if (!QTest::qWaitFor([&reply] { return reply.has_value(); }, 30000))
        return {};
    return *reply;
}

bool SetSecret(const QUuid& id, const QString& password) {
    TKeyring keyring;
    std::optional<TKeyringReply> reply;
    keyring.Write(id, password, [&reply](const TKeyringReply& r) { reply = r; });
    return QTest::qWaitFor([&reply] { return reply.has_value(); }, 30000) &&
           reply->Status == TKeyringReply::Done;
}

TServer* Entry(TMainFormFixture& f, const QString& name) {
    TServerListModel* model = f.form().ServerPanel->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->server(row)->Name == name)
            return model->server(row);
    return nullptr;
}

namespace {

QPoint rowCentre(TMainFormFixture& f, const QString& name) {
    TServerListModel* model = f.form().ServerPanel->model();
    TServerListView* view = f.form().ServerPanel->ServerVT;
    return view->visualRect(model->index(model->rowOf(Entry(f, name)))).center();
}

} // namespace

void Pick(TMainFormFixture& f, const QString& name) {
    TUserInput user(f.form());
    QVERIFY(user.bringUp());
    user.click(f.form().ServerPanel->ServerVT->viewport(), rowCentre(f, name));
}

void DoubleClick(TMainFormFixture& f, const QString& name) {
    TUserInput user(f.form());
    QVERIFY(user.bringUp());
    user.doubleClick(f.form().ServerPanel->ServerVT->viewport(), rowCentre(f, name));
}

void Key(TMainFormFixture& f, Qt::Key key, Qt::KeyboardModifiers mods) {
    TUserInput user(f.form());
    QVERIFY(user.bringUp());
    user.key(key, mods);
}

void ChooseFromMenu(TMainFormFixture& f, const QString& name, QAction* action) {
    Pick(f, name);
    TUserInput user(f.form());
    user.rightClick(f.form().ServerPanel->ServerVT->viewport(), rowCentre(f, name));
    QMenu* menu = f.form().ServerPanel->MenuServer;
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(action->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    QTRY_VERIFY(!menu->isVisible());
}

} // namespace keyringtest
