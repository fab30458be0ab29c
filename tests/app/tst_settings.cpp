// What survives a restart: servers and their order, window size, sort order, the HideSys
// switch and the column layout; how damaged settings are reported; the column chooser.

#include "app/mainform.h"
#include "grid/monitorcolumns.h"
#include "grid/widgets/monitorview.h"
#include "mainformfixture.h"
#include "registry/registry.h"
#include "servers/server.h"
#include "servers/widgets/serverlistmodel.h"
#include "servers/widgets/serverlistview.h"
#include "servers/widgets/serverpanel.h"
#include "settings/savedcols.h"
#include "settings/widgets/selcolform.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QListWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

void writeRoot(const std::function<void(TRegistry&)>& write) {
    TRegistry reg;
    QVERIFY(reg.OpenKey(QStringLiteral("Software\\Dervel"), true));
    write(reg);
    reg.CloseKey();
}

void writeServer(const QString& guid, const QString& name, std::optional<int> order) {
    TRegistry reg;
    QVERIFY(reg.OpenKey(QStringLiteral("Software\\Dervel\\Servers\\") + guid, true));
    reg.WriteString(QStringLiteral("Name"), name);
    reg.WriteString(QStringLiteral("ConnectionString"), QStringLiteral("Data Source=") + name);
    if (order)
        reg.WriteInteger(QStringLiteral("Order"), *order);
    reg.CloseKey();
}

QStringList serverNames(TMainForm& form) {
    QStringList names;
    for (int i = 0; i < form.ServerPanel->model()->rowCount(); ++i)
        names << form.ServerPanel->model()->server(i)->Name;
    return names;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void layoutSortAndSwitchSurviveARestart();
    void serversComeBackInTheirDraggedOrder();
    void maximizedWindowKeepsTheLastNormalSize();
    void columnsValueProblems_data();
    void columnsValueProblems();
    void missingOrderStopsLoadingServers();
    void hideSysValueFivePressesTheSwitch();
    void damagedSettingsFileIsReported_data();
    void damagedSettingsFileIsReported();
    void chooserKeepsColumnZeroAndApplies();
    void chooserDefaultsAskFirst();
    void chooserIsReadOnlyWhileRecording();
    void rateColumnsStayOutOfColumns();
    void damagedRateLayoutFallsBackQuietly_data();
    void damagedRateLayoutFallsBackQuietly();
    void rateSortHoldsOnlyOverItsOwnSort_data();
    void rateSortHoldsOnlyOverItsOwnSort();
};

void TestSettings::layoutSortAndSwitchSurviveARestart() {
    TMainFormFixture f;
    TSavedCols saved;
    {
        TMainForm& form = f.form();
        QHeaderView* header = form.MonitorVT->horizontalHeader();
        header->moveSection(header->visualIndex(5), 0);  // Program first
        header->moveSection(header->visualIndex(0), 10); // SPID further right
        header->setSectionHidden(3, true);               // Command hidden
        header->setSectionHidden(25, false);             // Wait Type shown
        header->resizeSection(1, 211);
        header->resizeSection(25, 77);
        form.MonitorVT->setSort(9, true);
        form.tbHideSys->setChecked(true);
        form.resize(1111, 777);
        saved = form.MonitorVT->SaveCols();
    }
    f.restart();
    TMainForm& form = f.form();
    const TSavedCols loaded = form.MonitorVT->SaveCols();
    QCOMPARE(SavedColsToBytes(loaded), SavedColsToBytes(saved));
    QCOMPARE(form.MonitorVT->horizontalHeader()->logicalIndex(0), 5);
    QVERIFY(form.MonitorVT->horizontalHeader()->isSectionHidden(3));
    QCOMPARE(form.MonitorVT->sortColumn(), 9);
    QVERIFY(form.MonitorVT->sortDescending());
    QVERIFY(form.tbHideSys->isChecked());
    QCOMPARE(form.size(), QSize(1111, 777));
    QVERIFY(f.prompts().messages.isEmpty());
    // The built-in layout is the grid as designed, not what the settings brought back.
    QCOMPARE(SavedColsToBytes(form.FDefCols), SavedColsToBytes(BuiltInSavedCols()));
}

void TestSettings::serversComeBackInTheirDraggedOrder() {
    TMainFormFixture f;
    {
        TMainForm& form = f.form();
        for (const char* name : {"A", "B", "C", "D"})
            form.ServerPanel->NewServer(QLatin1String(name), QStringLiteral("Data Source=x"),
                                        false);
    }
    f.restart();
    f.form().ServerPanel->model()->move(3, 0); // D to the top
    f.form().ServerPanel->model()->move(2, 3); // B to the end
    QCOMPARE(serverNames(f.form()), (QStringList{"D", "A", "C", "B"}));
    f.restart();
    QCOMPARE(serverNames(f.form()), (QStringList{"D", "A", "C", "B"}));
}

void TestSettings::maximizedWindowKeepsTheLastNormalSize() {
    TMainFormFixture f;
    f.form().resize(900, 700);
    f.restart();
    f.form().resize(1400, 1000); // what the window manager makes of maximizing
    f.form().setWindowState(Qt::WindowMaximized);
    f.restart();
    QCOMPARE(f.form().size(), QSize(900, 700));
}

void TestSettings::columnsValueProblems_data() {
    QTest::addColumn<int>("bytes"); // -1: no "Columns" value at all
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << -1 << "Ошибка чтения реестра.";
    QTest::newRow("shorter") << 6 * 36 << "Ошибка чтения реестра.";
    QTest::newRow("longer") << 6 * 38 << "Invalid data type for 'Columns'";
}

void TestSettings::columnsValueProblems() {
    QFETCH(int, bytes);
    QFETCH(QString, message);
    TMainFormFixture f(false);
    writeRoot([&](TRegistry& reg) {
        reg.WriteInteger(QStringLiteral("Width"), 1000);
        reg.WriteInteger(QStringLiteral("SortColumn"), 4);
        reg.WriteInteger(QStringLiteral("SortDirection"), 1);
        if (bytes >= 0) {
            const QByteArray data(bytes, '\0'); // every column hidden, if it were applied
            reg.WriteBinaryData(QStringLiteral("Columns"), data.constData(), bytes);
        }
    });
    f.start();
    TMainForm& form = f.form();
    QCOMPARE(f.prompts().messages.size(), 1);
    QCOMPARE(f.prompts().messages.first().text,
             QStringLiteral("Ошибка при загрузке настроек:\r\n") + message);
    QCOMPARE(f.prompts().messages.first().caption, QStringLiteral("Ошибка"));
    // What came before "Columns" is applied; the grid keeps its built-in layout.
    QCOMPARE(form.width(), 1000);
    QCOMPARE(form.MonitorVT->sortColumn(), 4);
    QVERIFY(form.MonitorVT->sortDescending());
    QCOMPARE(SavedColsToBytes(form.MonitorVT->SaveCols()), SavedColsToBytes(BuiltInSavedCols()));
}

void TestSettings::missingOrderStopsLoadingServers() {
    TMainFormFixture f(false);
    writeServer(QStringLiteral("{00000000-0000-0000-0000-000000000002}"), QStringLiteral("Second"),
                1);
    writeServer(QStringLiteral("{00000000-0000-0000-0000-000000000001}"), QStringLiteral("First"),
                0);
    writeServer(QStringLiteral("{00000000-0000-0000-0000-000000000003}"), QStringLiteral("NoOrder"),
                std::nullopt);
    writeServer(QStringLiteral("{00000000-0000-0000-0000-000000000004}"), QStringLiteral("Later"),
                2);
    writeRoot([](TRegistry& reg) { reg.WriteInteger(QStringLiteral("HideSys"), 1); });
    f.start();
    QCOMPARE(f.prompts().messages.size(), 1);
    QCOMPARE(f.prompts().messages.first().text,
             QStringLiteral("Ошибка при загрузке настроек:\r\nFailed to get data for 'Order'"));
    // Entries read so far stay, in the order read and unsorted; nothing else is applied.
    QCOMPARE(serverNames(f.form()), (QStringList{"First", "Second", "NoOrder"}));
    QVERIFY(!f.form().tbHideSys->isChecked());
}

void TestSettings::hideSysValueFivePressesTheSwitch() {
    TMainFormFixture f(false);
    writeRoot([](TRegistry& reg) {
        reg.WriteInteger(QStringLiteral("HideSys"), 5);
        const QByteArray cols = SavedColsToBytes(SplitSavedCols(BuiltInSavedCols()).Query);
        reg.WriteBinaryData(QStringLiteral("Columns"), cols.constData(), int(cols.size()));
    });
    f.start();
    QVERIFY(f.form().tbHideSys->isChecked());
    QVERIFY(f.prompts().messages.isEmpty());
}

// The store finds a damaged file wherever it next reads it; each place reports it in an
// error box, and the damaged file is kept aside.
void TestSettings::damagedSettingsFileIsReported_data() {
    QTest::addColumn<QString>("foundWhen");
    QTest::newRow("at start") << QStringLiteral("start");
    QTest::newRow("saving at exit") << QStringLiteral("exit");
    QTest::newRow("deleting a server") << QStringLiteral("delete");
}

void TestSettings::damagedSettingsFileIsReported() {
    QFETCH(QString, foundWhen);
    TMainFormFixture f(false);
    QDir().mkpath(f.settingsFolder());
    const auto damage = [&f] {
        QFile file(f.settingsFolder() + QStringLiteral("/registry.reg"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\n"
                   "\"x\"=nonsense\n");
    };
    if (foundWhen == QLatin1String("start"))
        damage();
    f.start();
    if (foundWhen == QLatin1String("exit")) {
        QVERIFY(f.prompts().messages.isEmpty());
        damage();
        f.restart(); // the window's end saves the settings
    } else if (foundWhen == QLatin1String("delete")) {
        f.prompts().connectionAnswers << TScriptedPrompts::TConnectionAnswer{
            true, QStringLiteral("Gone"),
            QStringLiteral("Data Source=nowhere;User ID=a;Password=b")};
        f.form().ServerPanel->actAddConnection->trigger();
        f.prompts().messages.clear(); // the failed connect
        damage();
        f.prompts().messageAnswers << TMsgResult::Yes;
        f.form().ServerPanel->actDeleteConnection->trigger();
    }
    const QList<TMessage> boxes = f.prompts().messages;
    const auto report = std::find_if(boxes.begin(), boxes.end(), [](const TMessage& m) {
        return m.text.startsWith(QStringLiteral("Файл настроек"));
    });
    QVERIFY2(report != boxes.end(), qPrintable(QString::number(boxes.size())));
    QCOMPARE(report->caption, QStringLiteral("Ошибка"));
    QCOMPARE(report->icon, TMsgIcon::Error);
    QVERIFY2(report->text.contains(QStringLiteral("registry.reg\" повреждён в строке 3")),
             qPrintable(report->text));
    const QStringList kept =
        QDir(f.settingsFolder()).entryList({QStringLiteral("registry.reg.corrupt-*")}, QDir::Files);
    QCOMPARE(kept.size(), 1);
    QVERIFY2(report->text.contains(kept.first()), qPrintable(report->text));
}

void TestSettings::chooserKeepsColumnZeroAndApplies() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    TSelColForm* chooser = form.SelColForm;
    chooser->FormShow(false, 4);
    QCOMPARE(chooser->windowTitle(), QStringLiteral("Показывать колонки"));
    QCOMPARE(chooser->ColList->count(), MonitorColumnCount);
    QCOMPARE(chooser->ColList->currentRow(), 4);
    QVERIFY(chooser->ColList->item(0)->text().startsWith(QStringLiteral("SPID ")));
    QVERIFY(chooser->ColList->item(0)->text().endsWith(QStringLiteral(" sessions.session_id")));
    chooser->ColList->item(0)->setCheckState(Qt::Unchecked);
    QCOMPARE(chooser->ColList->item(0)->checkState(), Qt::Checked); // ticked again at once
    chooser->tbUncheckAllClick();
    for (int i = 0; i < MonitorColumnCount; ++i)
        QCOMPARE(chooser->ColList->item(i)->checkState(), i == 0 ? Qt::Checked : Qt::Unchecked);
    chooser->tbOKClick();
    QVERIFY(!chooser->isVisible());
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    for (int i = 0; i < MonitorColumnCount; ++i)
        QCOMPARE(header->isSectionHidden(i), i != 0);
}

void TestSettings::chooserDefaultsAskFirst() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    header->setSectionHidden(2, true);
    header->moveSection(header->visualIndex(7), 0);
    const QByteArray changed = SavedColsToBytes(form.MonitorVT->SaveCols());
    form.SelColForm->FormShow(false, -1);
    f.prompts().messageAnswers << TMsgResult::No;
    form.SelColForm->tbDefaultsClick();
    QCOMPARE(
        f.prompts().messages.last().text,
        QStringLiteral("Будут восстановлены видимость, порядок и размеры колонок. Продолжить?"));
    QCOMPARE(f.prompts().messages.last().caption, QStringLiteral("Настройка по умолчанию"));
    QCOMPARE(SavedColsToBytes(form.MonitorVT->SaveCols()), changed);
    f.prompts().messageAnswers << TMsgResult::Yes;
    form.SelColForm->tbDefaultsClick();
    QCOMPARE(SavedColsToBytes(form.MonitorVT->SaveCols()), SavedColsToBytes(BuiltInSavedCols()));
    QVERIFY(!form.SelColForm->isVisible());
}

void TestSettings::chooserIsReadOnlyWhileRecording() {
    TMainFormFixture f;
    TMainForm& form = f.form();
    form.SelColForm->FormShow(true, 1);
    QCOMPARE(form.SelColForm->windowTitle(),
             QStringLiteral("Показывать колонки (недоступно, пока идёт запись в файл)"));
    QVERIFY(!form.SelColForm->ColList->isEnabled());
    QVERIFY(!form.SelColForm->tbDefaults->isEnabled() || !form.SelColForm->ToolBar->isEnabled());
    // Enter still applies the unchanged ticks and closes.
    QTest::keyClick(form.SelColForm, Qt::Key_Return);
    QVERIFY(!form.SelColForm->isVisible());
    QCOMPARE(SavedColsToBytes(form.MonitorVT->SaveCols()), SavedColsToBytes(BuiltInSavedCols()));
}

// "Columns" keeps the 37-record form an older version reads; the rate columns and a sort by
// rate have values of their own.
void TestSettings::rateColumnsStayOutOfColumns() {
    TMainFormFixture f;
    {
        TMainForm& form = f.form();
        QHeaderView* header = form.MonitorVT->horizontalHeader();
        header->moveSection(header->visualIndex(FirstRateColumn + 1), 0); // Reads/s first
        header->setSectionHidden(FirstRateColumn + 3, true);              // Logical Reads/s
        header->resizeSection(FirstRateColumn, 55);
        form.MonitorVT->setSort(FirstRateColumn + 2, true);
    }
    f.restart();
    TMainForm& form = f.form();
    QHeaderView* header = form.MonitorVT->horizontalHeader();
    QCOMPARE(header->logicalIndex(0), FirstRateColumn + 1);
    QVERIFY(header->isSectionHidden(FirstRateColumn + 3));
    QCOMPARE(header->sectionSize(FirstRateColumn), 55);
    QCOMPARE(form.MonitorVT->sortColumn(), FirstRateColumn + 2);
    QVERIFY(form.MonitorVT->sortDescending());

    TRegistry reg;
    QVERIFY(reg.OpenKey(QStringLiteral("Software\\Dervel"), false));
    TSavedCols older; // the query columns as built in, in their own order
    for (int i = 0; i < QueryColumnCount; ++i)
        older << MakeSavedCol(MonitorColumns()[i].DefaultVisible, i,
                              MonitorColumns()[i].DefaultWidth);
    QByteArray stored(reg.GetDataSize(QStringLiteral("Columns")), '\0');
    reg.ReadBinaryData(QStringLiteral("Columns"), stored.data(), int(stored.size()));
    QCOMPARE(stored, SavedColsToBytes(older));
    QCOMPARE(reg.ReadInteger(QStringLiteral("SortColumn")), 0);
    QCOMPARE(reg.ReadInteger(QStringLiteral("SortDirection")), 0);
    QCOMPARE(reg.ReadInteger(QStringLiteral("RateSort")), (FirstRateColumn + 2) | 0x100);
}

void TestSettings::damagedRateLayoutFallsBackQuietly_data() {
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("rateSort");
    QTest::newRow("short RateColumns") << 6 * 3 << 0;
    QTest::newRow("long RateColumns") << 6 * 5 << 0;
    QTest::newRow("RateSort on a query column") << -1 << (4 | 0x100);
    QTest::newRow("RateSort past the last column") << -1 << (MonitorColumnCount | 0x100);
}

void TestSettings::damagedRateLayoutFallsBackQuietly() {
    QFETCH(int, bytes);
    QFETCH(int, rateSort);
    TMainFormFixture f(false);
    writeRoot([&](TRegistry& reg) {
        reg.WriteInteger(QStringLiteral("SortColumn"), 6);
        reg.WriteInteger(QStringLiteral("SortDirection"), 1);
        const QByteArray cols = SavedColsToBytes(SplitSavedCols(BuiltInSavedCols()).Query);
        reg.WriteBinaryData(QStringLiteral("Columns"), cols.constData(), int(cols.size()));
        if (bytes >= 0) {
            const QByteArray data(bytes, '\0');
            reg.WriteBinaryData(QStringLiteral("RateColumns"), data.constData(), bytes);
        }
        reg.WriteInteger(QStringLiteral("RateSort"), rateSort);
    });
    f.start();
    TMainForm& form = f.form();
    QVERIFY(f.prompts().messages.isEmpty());
    QCOMPARE(SavedColsToBytes(form.MonitorVT->SaveCols()), SavedColsToBytes(BuiltInSavedCols()));
    QCOMPARE(form.MonitorVT->sortColumn(), 6);
    QVERIFY(form.MonitorVT->sortDescending());
}

// A version without the rates writes "SortColumn" and "SortDirection" and leaves "RateSort"
// as this version wrote it: a sort chosen there since is the newer one.
void TestSettings::rateSortHoldsOnlyOverItsOwnSort_data() {
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<int>("sortDirection"); // -1: the value is missing
    QTest::addColumn<int>("rateSort");
    QTest::addColumn<int>("expectedColumn");
    QTest::addColumn<bool>("expectedDescending");
    const int rate = FirstRateColumn + 2;
    const int written = rate | 0x100; // as this version writes it, over SortColumn 0 ascending
    QTest::newRow("as written") << 0 << 0 << written << rate << true;
    QTest::newRow("sorted by Login since") << 1 << 0 << written << 1 << false;
    QTest::newRow("sorted by SPID descending since") << 0 << 1 << written << 0 << true;
    QTest::newRow("no SortDirection to compare") << 0 << -1 << written << 0 << false;
    QTest::newRow("written with another sort, which is still there")
        << 6 << 1 << (written | 6 << 16 | 0x1000000) << rate << true;
    QTest::newRow("written with another sort, changed since")
        << 6 << 0 << (written | 6 << 16 | 0x1000000) << 6 << false;
}

void TestSettings::rateSortHoldsOnlyOverItsOwnSort() {
    QFETCH(int, sortColumn);
    QFETCH(int, sortDirection);
    QFETCH(int, rateSort);
    QFETCH(int, expectedColumn);
    QFETCH(bool, expectedDescending);
    TMainFormFixture f(false);
    writeRoot([&](TRegistry& reg) {
        reg.WriteInteger(QStringLiteral("SortColumn"), sortColumn);
        if (sortDirection >= 0)
            reg.WriteInteger(QStringLiteral("SortDirection"), sortDirection);
        reg.WriteInteger(QStringLiteral("RateSort"), rateSort);
        const QByteArray cols = SavedColsToBytes(SplitSavedCols(BuiltInSavedCols()).Query);
        reg.WriteBinaryData(QStringLiteral("Columns"), cols.constData(), int(cols.size()));
    });
    f.start();
    QCOMPARE(f.form().MonitorVT->sortColumn(), expectedColumn);
    QCOMPARE(f.form().MonitorVT->sortDescending(), expectedDescending);
    QCOMPARE(f.form().MonitorVT->horizontalHeader()->sortIndicatorSection(), expectedColumn);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
