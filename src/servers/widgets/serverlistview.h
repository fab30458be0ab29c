#pragma once
// The server list view: rows reordered by dragging within the list, the server's
// version as the tooltip of a row's state image.

#include <QListView>

class TServerListModel;

class TServerListView : public QListView {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 22;
    static constexpr int kImageWidth = 16;
    static constexpr int kLeftMargin = 4;

    TServerListView(TServerListModel* model, QWidget* parent = nullptr);
    int focusedRow() const;

signals:
    void rowDoubleClicked(int row);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    bool acceptsDrop(const QDropEvent* event, int* target, int* position) const;
    int contentRight(int row) const;

    TServerListModel* FModel;
};
