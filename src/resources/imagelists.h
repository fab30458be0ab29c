#pragma once
// The application's pictures, drawn as SVG in the images resource: the three 16 × 16
// image lists (server panel, session tool bar and grid, column chooser) and the
// application icon. Indices are those the commands and panels refer to.

#include <QIcon>
#include <QImage>

constexpr int kImageListSize = 16;

// Null for an index outside the list. Unused indices give a picture of their own (a
// plain server in the main list) or a transparent one, never a null icon.
QIcon MainImageList(int AIndex);
QIcon MonitorImageList(int AIndex);
QIcon SelColImageList(int AIndex);
int MainImageCount();
int MonitorImageCount();
int SelColImageCount();

// The icon with the alert mark in its top right corner: a red dot ringed in white, seen on
// any of the pictures at any scale.
QIcon AlertMarked(const QIcon& AIcon);

// The Dervel icon, rendered for every size a window system asks for up to 256 px.
QIcon ApplicationIcon();

// A picture of the resource rendered at ASize; transparent where the picture is not.
QImage RenderSvgImage(const QString& APath, const QSize& ASize);
