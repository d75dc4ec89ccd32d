#pragma once

#include "TrackInfo.h"

#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace lh {

class PushButton;
class ToolbarView;

// The "Get Info" panel's content, 400 × 420 points: the header strip, the artwork, title,
// artist, album and a length/year line, then nine or ten rows of file properties and the OK
// button.
// With no info it draws only its background.
//
// Reports `onClose`, on the main thread, for every way of dismissing the panel: OK, Return or
// keypad Enter, Escape, and the header's close button. It never hides anything itself. Takes
// the keyboard focus (its controls never do); a left drag on its background moves the window.
class TrackInfoView : public QWidget {
public:
    struct Row {
        QString label;
        QString value;
        bool operator==(const Row&) const = default;
    };

    static constexpr int width = 400;
    static constexpr int height = 420;
    static constexpr double margin = 20;
    static constexpr QRectF artworkRect { 20, 44, 100, 100 };
    static constexpr double dividerY = 160;
    static constexpr double rowsTop = 174;
    static constexpr double rowHeight = 18;
    static constexpr double labelWidth = 92;

    explicit TrackInfoView(QWidget* parent = nullptr);

    const std::optional<TrackInfo>& info() const { return info_; }
    // Decodes the artwork anew (absent when there is none or it cannot be decoded) and redraws.
    void setInfo(std::optional<TrackInfo> info);
    const std::optional<QImage>& artwork() const { return artwork_; }

    ToolbarView& header() const { return *header_; }
    PushButton& okButton() const { return *okButton_; }

    std::function<void()> onClose;

    // Nine rows, Kind to Where, and a ReplayGain row before Where for a file with gains; a
    // value the info lacks is empty.
    static std::vector<Row> rows(const TrackInfo& info);
    // "Track −6.5 dB · Album −7.1 dB", each part only when the tags state it.
    static QString replayGainText(const ReplayGain& gain);
    static QString kind(const FileURL& url);
    static QString channelsText(std::int64_t count);
    // "Reading file…" while loading, else the length and the year as far as they are known.
    static QString statusLine(const TrackInfo& info);

    // Everything but the header and the button, over (0, 0, size). The artwork is drawn from
    // its centred square, whatever its shape.
    static void paint(QPainter& painter, const QSizeF& size, const std::optional<TrackInfo>& info,
        const std::optional<QImage>& artwork);
    static QRectF centredSquare(const QSizeF& size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void requestClose();
    const QImage& artworkForDrawing(double pixelRatio);

    std::optional<TrackInfo> info_;
    std::optional<QImage> artwork_;
    // The artwork's square cut at the artwork rect's size in device pixels, made on first
    // paint: large covers would otherwise be resampled (and aliased) on every repaint.
    QImage scaledArtwork;
    ToolbarView* header_;
    PushButton* okButton_;
};

} // namespace lh
