#include "Gallery.h"

#include "Accessibility.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

// Renders every view in its telling states to PNG files: `ui_gallery <folder>`. Runs on Qt's
// offscreen platform, so it needs no display.
int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_gallery <output folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    lh::installAccessibleInterfaces(); // as the program does: the views' events reach our interfaces
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "ui_gallery: cannot create %s\n", argv[1]);
        return 1;
    }
    lh::gallery::shootAll(lh::gallery::Camera(folder));
    return 0;
}
