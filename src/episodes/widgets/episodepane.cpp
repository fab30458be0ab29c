#include "episodes/widgets/episodepane.h"

#include "episodes/widgets/episodelistmodel.h"

#include <QHeaderView>
#include <QLabel>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>
#include <optional>

TEpisodePane::TEpisodePane(QWidget* parent)
    : QWidget(parent), FModel(new TEpisodeListModel(this)),
      FSorted(new QSortFilterProxyModel(this)), FNotice(new QLabel(this)),
      FView(new QTreeView(this)) {
    setObjectName(QStringLiteral("EpisodePane"));
    FSorted->setSourceModel(FModel);
    FSorted->setSortRole(TEpisodeListModel::SortRole);
    FSorted->setSortCaseSensitivity(Qt::CaseInsensitive);
    FNotice->setObjectName(QStringLiteral("EpisodeNotice"));
    FNotice->setWordWrap(true);
    FNotice->hide();
    FView->setObjectName(QStringLiteral("EpisodeView"));
    FView->setModel(FSorted);
    FView->setRootIsDecorated(false);
    FView->setUniformRowHeights(true);
    FView->setAllColumnsShowFocus(true);
    FView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FView->setSelectionMode(QAbstractItemView::SingleSelection);
    FView->setSortingEnabled(true);
    FView->sortByColumn(TEpisodeListModel::Start, Qt::AscendingOrder);
    FView->header()->setStretchLastSection(true);
    // Everything but the resources is short and read whole; the resources take the rest.
    for (int c = TEpisodeListModel::Start; c < TEpisodeListModel::Resources; ++c)
        FView->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FNotice);
    layout->addWidget(FView, 1);
    const auto choose = [this](const QModelIndex& index) {
        if (const TBlockingEpisode* e = FModel->episode(FSorted->mapToSource(index).row()))
            emit episodeChosen(*e);
    };
    // A click is enough: going to an episode changes nothing that a second click undoes.
    connect(FView, &QTreeView::clicked, this, choose);
    connect(FView, &QTreeView::activated, this, choose);
}

void TEpisodePane::setEpisodes(std::vector<TBlockingEpisode> AEpisodes) {
    // The episode the user was on stays current through a refresh of a growing recording.
    const QModelIndex current = FSorted->mapToSource(FView->currentIndex());
    const TBlockingEpisode* was = FModel->episode(current.row());
    const std::optional<std::pair<qint64, int>> key =
        was ? std::optional(std::pair(was->Start, was->HeadSPID)) : std::nullopt;
    FModel->setEpisodes(std::move(AEpisodes));
    if (!key)
        return;
    for (int r = 0; r < FModel->rowCount(); ++r) {
        const TBlockingEpisode* e = FModel->episode(r);
        if (e->Start == key->first && e->HeadSPID == key->second) {
            FView->setCurrentIndex(FSorted->mapFromSource(FModel->index(r, current.column())));
            break;
        }
    }
}

void TEpisodePane::setNotice(const QString& AText) {
    FNotice->setText(AText);
    FNotice->setVisible(!AText.isEmpty());
}
