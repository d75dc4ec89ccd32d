#include "Gallery.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdio>
#include <vector>

namespace lh::gallery {

namespace {

struct Entry {
    const char* name;
    std::function<void(const Camera&)> shoot;
};

std::vector<Entry>& pages()
{
    static std::vector<Entry> entries;
    return entries;
}

constexpr double ratios[] = { 1.0, 2.0 };

QString fileName(const QString& folder, const QString& name, double ratio)
{
    return QStringLiteral("%1/%2@%3x.png").arg(folder, name).arg(ratio);
}

void save(const QImage& image, const QString& path)
{
    if (!image.save(path))
        std::fprintf(stderr, "gallery: could not write %s\n", qPrintable(path));
}

} // namespace

Camera::Camera(QString folder)
    : folder(std::move(folder))
{
}

void Camera::shoot(const QString& name, QWidget& widget) const
{
    for (double ratio : ratios) {
        QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        widget.render(&image);
        save(image, fileName(folder, name, ratio));
    }
}

void Camera::shoot(const QString& name, QSize size, const std::function<void(QPainter&)>& draw) const
{
    for (double ratio : ratios) {
        QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
        painter.end();
        save(image, fileName(folder, name, ratio));
    }
}

Page::Page(const char* name, std::function<void(const Camera&)> shoot)
{
    pages().push_back({ name, std::move(shoot) });
}

void shootAll(const Camera& camera)
{
    for (const Entry& page : pages()) {
        std::printf("gallery: %s\n", page.name);
        page.shoot(camera);
    }
}

} // namespace lh::gallery
