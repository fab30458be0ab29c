#include "replay/widgets/databaserecordingdialog.h"

#include "replay/widgets/replaybar.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <mutex>
#include <thread>

struct TDatabaseRecordingDialog::TListing {
    std::mutex Mutex;
    bool Done = false;
    QList<TPgRecordedServer> Servers;
    QString Error;
};

TDatabaseRecordingDialog::TDatabaseRecordingDialog(QWidget* AParent, const QString& AAddress,
                                                   TOpen AOpen)
    : QDialog(AParent), edAddress(new QLineEdit(AAddress)),
      btList(new QPushButton(tr("Показать записи"))), lvServers(new QTreeWidget),
      lbStatus(new QLabel),
      buttons(new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel)),
      FOpen(std::move(AOpen)) {
    setWindowTitle(tr("Запись из базы"));
    edAddress->setObjectName(QStringLiteral("edAddress"));
    edAddress->setPlaceholderText(tr("postgresql://пользователь@сервер/база"));
    edAddress->setMinimumWidth(420);
    btList->setObjectName(QStringLiteral("btList"));
    lvServers->setObjectName(QStringLiteral("lvServers"));
    lvServers->setRootIsDecorated(false);
    lvServers->setHeaderLabels({tr("Сервер"), tr("С"), tr("По"), tr("Снимков")});
    lvServers->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lbStatus->setWordWrap(true);
    auto* address = new QHBoxLayout;
    address->addWidget(edAddress, 1);
    address->addWidget(btList);
    auto* form = new QFormLayout;
    form->addRow(tr("Адрес базы:"), address);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(lvServers, 1);
    layout->addWidget(lbStatus);
    layout->addWidget(buttons);
    buttons->button(QDialogButtonBox::Open)->setEnabled(false);
    connect(btList, &QPushButton::clicked, this, &TDatabaseRecordingDialog::List);
    connect(edAddress, &QLineEdit::returnPressed, this, &TDatabaseRecordingDialog::List);
    connect(lvServers, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        buttons->button(QDialogButtonBox::Open)->setEnabled(item && item->text(3) != u"0");
    });
    connect(lvServers, &QTreeWidget::itemActivated, this, [this] { openChosen(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { openChosen(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    FPoll.setInterval(50);
    connect(&FPoll, &QTimer::timeout, this, &TDatabaseRecordingDialog::listed);
    // Enter in the address lists; it must not press Open as well.
    buttons->button(QDialogButtonBox::Open)->setAutoDefault(false);
    btList->setAutoDefault(false);
}

TDatabaseRecordingDialog::~TDatabaseRecordingDialog() = default;

void TDatabaseRecordingDialog::List() {
    const QString address = edAddress->text().trimmed();
    if (!IsPgAddress(address)) {
        lbStatus->setText(tr("Адрес базы начинается с postgresql:// или postgres://."));
        return;
    }
    lvServers->clear();
    lbStatus->setText(tr("Чтение списка записей…"));
    btList->setEnabled(false);
    // The thread keeps its listing alive; a dialog closed meanwhile just never reads it.
    auto listing = std::make_shared<TListing>();
    FListing = listing;
    std::thread([listing, address] {
        QList<TPgRecordedServer> servers;
        QString error;
        try {
            servers = ListPgRecordings(address);
        } catch (const ERecordingError& e) {
            error = e.message();
        }
        std::lock_guard lock(listing->Mutex);
        listing->Servers = std::move(servers);
        listing->Error = std::move(error);
        listing->Done = true;
    }).detach();
    FPoll.start();
}

void TDatabaseRecordingDialog::listed() {
    QList<TPgRecordedServer> servers;
    QString error;
    {
        std::lock_guard lock(FListing->Mutex);
        if (!FListing->Done)
            return;
        servers = FListing->Servers;
        error = FListing->Error;
    }
    FPoll.stop();
    btList->setEnabled(true);
    if (!error.isEmpty()) {
        lbStatus->setText(error);
        return;
    }
    lbStatus->setText(servers.isEmpty() ? tr("В базе пока нет ни одной записи.") : QString());
    for (const TPgRecordedServer& s : servers) {
        auto* item = new QTreeWidgetItem(
            lvServers,
            {s.Name, s.First >= 0 ? ReplayTimeText(s.First) : QString(),
             s.Last >= 0 ? ReplayTimeText(s.Last) : QString(), QString::number(s.Snapshots)});
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (lvServers->topLevelItemCount() > 0) {
        lvServers->setCurrentItem(lvServers->topLevelItem(0));
        lvServers->setFocus();
    }
}

void TDatabaseRecordingDialog::openChosen() {
    // Enter reaches the dialog's default button after the address or the list had it:
    // in the address it lists, and what the list opened is not opened again.
    const QTreeWidgetItem* item = lvServers->currentItem();
    if (FOpened || edAddress->hasFocus() || !item || item->text(3) == u"0")
        return;
    if (FOpen(edAddress->text().trimmed(), item->text(0))) {
        FOpened = true;
        accept();
    }
}
