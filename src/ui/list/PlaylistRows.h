#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace lh {

// What the list shows of its rows, asked for only the rows it draws or reads out: a million
// rows then cost the window no text until they are scrolled into view, and a change to the
// playlist costs the window the same at any length. Implementations never change once made;
// a new state is a new object.
class PlaylistRows {
public:
    virtual ~PlaylistRows() = default;

    virtual std::int64_t count() const = 0;
    // Each call asks for a row in 0 ..< count().
    virtual QString title(std::int64_t row) const = 0;
    // Empty while the row's length is unknown.
    virtual QString time(std::int64_t row) const = 0;
    // The row's file has no local copy yet (the download mark).
    virtual bool isUncached(std::int64_t row) const = 0;
};

// Rows from ready-made texts; the lists of times and marks may be shorter than the titles.
class TextRows final : public PlaylistRows {
public:
    explicit TextRows(QStringList titles, QStringList times = {}, QList<bool> uncached = {})
        : titles_(std::move(titles))
        , times_(std::move(times))
        , uncached_(std::move(uncached))
    {
    }

    std::int64_t count() const override { return titles_.size(); }
    QString title(std::int64_t row) const override { return titles_.at(row); }
    QString time(std::int64_t row) const override { return row < times_.size() ? times_.at(row) : QString(); }
    bool isUncached(std::int64_t row) const override { return row < uncached_.size() && uncached_.at(row); }

private:
    QStringList titles_;
    QStringList times_;
    QList<bool> uncached_;
};

} // namespace lh
