#pragma once
// The server list: one row per entry, in display order; the list owns the entries.

#include <QAbstractListModel>
#include <memory>
#include <vector>

class TServer;

class TServerListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TServerListModel(QObject* parent = nullptr);
    ~TServerListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

    TServer* server(int row) const;
    int rowOf(const TServer* server) const;
    TServer* append(std::unique_ptr<TServer> server); // returns it
    void remove(int row);                             // destroys the entry
    // Moves a row so that it stands at `to` afterwards (0 .. count-1).
    void move(int from, int to);
    // Orders the rows by their entries' Order, ascending (after loading).
    void sortByOrder();
    void refresh(int row); // its name or state changed

private:
    std::vector<std::unique_ptr<TServer>> FServers;
};
