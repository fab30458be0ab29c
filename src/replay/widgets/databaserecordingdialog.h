#pragma once
// "Запись из базы": a recording kept in a PostgreSQL database. The address first (a
// postgresql:// URI; the password from ~/.pgpass or PGPASSWORD, as libpq reads them), then
// the servers recorded there with their time spans, read on a thread of their own so that
// a database slow to answer never holds up the window; the chosen one is opened.

#include "pgstore/pgrecordingreader.h"

#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class TDatabaseRecordingDialog : public QDialog {
    Q_OBJECT
public:
    // AOpen opens a server's recording; true when it did (the dialog then closes).
    using TOpen = std::function<bool(const QString& address, const QString& server)>;
    TDatabaseRecordingDialog(QWidget* AParent, const QString& AAddress, TOpen AOpen);
    ~TDatabaseRecordingDialog() override;

    QLineEdit* const edAddress;
    QPushButton* const btList;
    QTreeWidget* const lvServers;
    QLabel* const lbStatus;
    QDialogButtonBox* const buttons;

    // Reads the list of the servers recorded at the address typed.
    void List();

private:
    struct TListing;
    void openChosen();
    void listed();

    TOpen FOpen;
    bool FOpened = false;
    std::shared_ptr<TListing> FListing; // shared with the thread that reads it
    QTimer FPoll;
};
