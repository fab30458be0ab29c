#include "resources/imagelists.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <array>

// Outside any namespace: the resource of a static library has to be pulled in by hand.
static void initImagesResource() {
    static const bool done = [] {
        Q_INIT_RESOURCE(images);
        return true;
    }();
    (void)done;
}

namespace {

// An empty name is an index with no picture: transparent.
constexpr std::array<const char*, 10> kMain = {
    "ball-blue",       // 0
    "ball-green",      // 1
    "ball-red",        // 2
    "server-add",      // 3
    "server",          // 4
    "server",          // 5
    "server-delete",   // 6
    "server-edit",     // 7
    "plug-disconnect", // 8
    "plug-connect",    // 9
};
constexpr std::array<const char*, 19> kMonitor = {
    "refresh",         // 0
    "hide-system",     // 1
    "cross",           // 2
    "swords",          // 3
    "broom",           // 4
    "",                // 5
    "pause",           // 6
    "exit",            // 7
    "kill",            // 8
    "record",          // 9
    "view",            // 10
    "view-blocking",   // 11
    "follow-focus",    // 12
    "help",            // 13
    "chevron-down",    // 14
    "tick",            // 15
    "blocking-tree",   // 16: the blocking tree pane
    "recording-open",  // 17: open a recording to replay
    "recording-write", // 18: record the watched server for replay
};
constexpr std::array<const char*, 5> kSelCol = {
    "check-all",   // 0
    "uncheck-all", // 1
    "tick",        // 2
    "cross",       // 3
    "reset",       // 4
};

QString resourcePath(const char* name) {
    return QStringLiteral(":/images/%1.svg").arg(QLatin1String(name));
}

QIcon iconOf(const char* name) {
    static QHash<QString, QIcon> cache;
    const QString key = QLatin1String(name);
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QIcon icon;
    // Drawn again at twice the size, so screens with a scale of 2 stay sharp.
    for (int scale : {1, 2}) {
        const QSize size(kImageListSize * scale, kImageListSize * scale);
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        if (*name)
            image = RenderSvgImage(resourcePath(name), size);
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    cache.insert(key, icon);
    return icon;
}

template <size_t N> QIcon pick(const std::array<const char*, N>& list, int index) {
    if (index < 0 || index >= int(N))
        return QIcon();
    return iconOf(list[index]);
}

} // namespace

QImage RenderSvgImage(const QString& APath, const QSize& ASize) {
    initImagesResource();
    QImage image(ASize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(APath);
    if (!renderer.isValid())
        return image;
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

QIcon MainImageList(int AIndex) {
    return pick(kMain, AIndex);
}

QIcon MonitorImageList(int AIndex) {
    return pick(kMonitor, AIndex);
}

QIcon SelColImageList(int AIndex) {
    return pick(kSelCol, AIndex);
}

QIcon AlertMarked(const QIcon& AIcon) {
    QIcon marked;
    for (int scale : {1, 2}) {
        const int side = kImageListSize * scale;
        QPixmap pixmap = AIcon.pixmap(QSize(kImageListSize, kImageListSize), qreal(scale));
        pixmap.setDevicePixelRatio(1);
        pixmap = pixmap.scaled(side, side);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, scale));
        painter.setBrush(QColor(0xE0, 0x10, 0x10));
        const int dot = 8 * scale;
        painter.drawEllipse(QRectF(side - dot, 0, dot - scale, dot - scale));
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        marked.addPixmap(pixmap);
    }
    return marked;
}

int MainImageCount() {
    return int(kMain.size());
}

int MonitorImageCount() {
    return int(kMonitor.size());
}

int SelColImageCount() {
    return int(kSelCol.size());
}

QIcon ApplicationIcon() {
    static QIcon icon;
    if (icon.isNull())
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            icon.addPixmap(
                QPixmap::fromImage(RenderSvgImage(resourcePath("dervel"), QSize(size, size))));
    return icon;
}
