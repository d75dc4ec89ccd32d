#pragma once

#include "Lockup.h"

#include <QString>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace lh {

// The about panel's content, filling the frameless panel: the icon, the lockup, the version and
// credit lines, two links (the README and the license as installed) and a close button in the
// top-left corner. A click on a link opens it with the desktop's handler; a drag anywhere else
// moves the panel (by hand where the window manager refuses the move); the close button and
// Escape report `onClose`. 360 × 288 points.
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
    std::function<void()> onClose;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void drawLinks(QPainter& painter);

    Lockup lockup_ { 22 };
    std::vector<LinkRect> linkRects_;
};

} // namespace lh
