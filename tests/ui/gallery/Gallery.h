#pragma once

#include <QSize>
#include <QString>

#include <functional>

class QPainter;
class QWidget;

namespace lh::gallery {

// Writes pictures of views into the gallery folder, each at device pixel ratios 1 and 2
// (name@1x.png, name@2x.png).
class Camera {
public:
    explicit Camera(QString folder);
    void shoot(const QString& name, QWidget& widget) const;
    void shoot(const QString& name, QSize size, const std::function<void(QPainter&)>& draw) const;

private:
    QString folder;
};

// A page of the gallery: a function that shoots one group of views. Each page file registers
// its pages with a static `Page` object.
struct Page {
    Page(const char* name, std::function<void(const Camera&)> shoot);
};

void shootAll(const Camera& camera);

} // namespace lh::gallery
