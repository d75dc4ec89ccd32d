#include "Gallery.h"

#include "Glyphs.h"
#include "StringDrawing.h"
#include "Theme.h"

#include <QPainter>

namespace lh::gallery {

namespace {

constexpr Glyph allGlyphs[] = { Glyph::previous, Glyph::play, Glyph::pause, Glyph::stop, Glyph::next, Glyph::plus,
    Glyph::minus, Glyph::list, Glyph::info, Glyph::shuffle, Glyph::repeat };

const Page glyphs("glyphs", [](const Camera& camera) {
    camera.shoot("glyphs", QSize(11 * 28 + 4, 80), [](QPainter& painter) {
        painter.fillRect(QRect(0, 0, 11 * 28 + 4, 80), Theme::grey(0.85));
        for (int i = 0; i < 11; ++i) {
            const QRectF small(8 + i * 28, 8, allGlyphs[i] == Glyph::shuffle || allGlyphs[i] == Glyph::repeat ? 12 : 8, 8);
            Theme::fillPath(painter, Glyphs::path(allGlyphs[i], small), Theme::glyph(), true);
            const QRectF large(4 + i * 28, 28, 20, 16);
            Theme::fillPath(painter, Glyphs::path(allGlyphs[i], large), Theme::glyph(), false);
        }
        Glyphs::drawSpeaker(painter, QRectF(8, 56, 12, 12), 0, Theme::glyph(), true);
        Glyphs::drawSpeaker(painter, QRectF(36, 56, 18, 12), 2, Theme::glyph(), true);
        Glyphs::drawDownload(painter, QRectF(64, 56, 10, 12), Theme::rowMark());
    });
});

const Page text("text", [](const Camera& camera) {
    camera.shoot("text", QSize(240, 90), [](QPainter& painter) {
        painter.fillRect(QRect(0, 0, 240, 90), Theme::grey(0.85));
        drawString(painter, QStringLiteral("A title far too long to fit on this one line"), QRectF(8, 6, 224, 15),
            { Theme::font(11, true), Theme::lcdText(), Qt::AlignHCenter });
        drawString(painter, QStringLiteral("東京の夜 · 서울 · 北京"), QRectF(8, 22, 224, 15),
            { Theme::font(11), Theme::lcdSecondaryText(), Qt::AlignHCenter });
        drawString(painter, QStringLiteral("Larkhaven"), QRectF(8, 38, 224, 17),
            { Theme::font(13), Theme::grey(0.1), Qt::AlignHCenter, LineBreak::truncateTail, true });
        drawString(painter, QStringLiteral("/mnt/nas/music/Some Artist/Some Album (2001)/01 Opening.flac"),
            QRectF(8, 56, 224, 30), { Theme::font(11), Qt::black, Qt::AlignLeft, LineBreak::wrapAnywhere });
    });
});

} // namespace

} // namespace lh::gallery
