#pragma once
// The server list with the estate's figures: the list's own rows, in its order, with
// columns after the name. Rows come and go as the list's do; a new summary changes one
// row's cells (dataChanged), never the rows.

#include <QHash>
#include <QIdentityProxyModel>
#include <array>

class TServer;
class TServerListModel;

class TEstateModel : public QIdentityProxyModel {
    Q_OBJECT
public:
    enum TColumn { Name, Sessions, Running, Blocked, LongestWait, CpuPerSec, ColumnCount };
    static constexpr int SortRole = Qt::UserRole + 1; // numbers, for the header's sort

    explicit TEstateModel(TServerListModel* AList, QObject* parent = nullptr);

    int columnCount(const QModelIndex& parent = {}) const override;
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex& idx) const override;
    QModelIndex mapToSource(const QModelIndex& proxy) const override;
    QModelIndex mapFromSource(const QModelIndex& source) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    TServer* server(int row) const;
    // The entry's figures or state changed: its whole row is drawn again.
    void refresh(const TServer* AServer);
    // Every row's figures: only the cells whose text or colour changed since they were
    // last drawn are reported, so fifty servers summarized each second redraw a few cells,
    // not the whole list four times a second.
    void refreshAll();

private:
    // What a row showed when it was last reported: its figures' texts and its colour.
    struct TShown {
        std::array<QString, 6> Texts;
        int Colour = 0;
        bool operator==(const TShown&) const = default;
    };
    TShown shownOf(const TServer& AServer) const;

    TServerListModel* FList;
    QHash<const TServer*, TShown> FShown;
};

// The cell texts, for the view and its tests: "—" where nothing is known.
QString EstateCellText(const TServer& AServer, int AColumn);
// The row's tooltip: the server's version and the summary's age, or what went wrong.
QString EstateTooltip(const TServer& AServer, qint64 ANowMs);
