#include "app/imagelists.h"

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
    "ball-blue", "ball-green",    "ball-red",    "server-add",      "server",
    "server",    "server-delete", "server-edit", "plug-disconnect", "plug-connect",
};
constexpr std::array<const char*, 16> kMonitor = {
    "refresh",      "hide-system", "cross",        "swords", "broom", "",
    "pause",        "exit",        "kill",         "record", "view",  "view-blocking",
    "follow-focus", "help",        "chevron-down", "tick",
};
constexpr std::array<const char*, 5> kSelCol = {"check-all", "uncheck-all", "tick", "cross",
                                                "reset"};

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
