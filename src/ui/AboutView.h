#pragma once

#include "Lockup.h"

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace lh {

// The about panel's content: the icon, the lockup, the version and credit lines, and two links
// (the README and the license as installed). A click on a link opens it with the desktop's
// handler; a press elsewhere drags the panel. 360 × 288 points.
class AboutView : public QWidget {
public:
    struct Link {
        QString title;
        QUrl url;
    };

    explicit AboutView(QWidget* parent = nullptr);

    static constexpr int width = 360;
    static constexpr int height = 288;

    // "Version " + the version, with "-" and the build appended for a development build.
    static QString versionLine(const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion,
        bool isDevBuild);
    static QString versionLine();
    static const QString& creditLine();
    // "Read Me" and "License": the installed files, or the source tree's when not installed.
    static std::vector<Link> links();

    std::optional<QUrl> link(QPointF point) const;
    struct LinkRect {
        QRectF rect;
        QUrl url;
    };
    const std::vector<LinkRect>& linkRects() const { return linkRects_; }

    // Where links are opened; the desktop's handler by default (tests substitute their own).
    std::function<void(const QUrl&)> openURL;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void drawLinks(QPainter& painter);

    Lockup lockup_ { 22 };
    std::vector<LinkRect> linkRects_;
};

} // namespace lh
