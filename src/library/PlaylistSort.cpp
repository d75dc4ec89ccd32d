#include "PlaylistSort.h"

#include "FindQuery.h"
#include "TrackName.h"


#include <algorithm>
#include <limits>
#include <numeric>

namespace lh::PlaylistSort {

namespace {

QStringView withoutLeadingZeros(QStringView digits)
{
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == QLatin1Char('0'))
        ++zeros;
    return digits.sliced(zeros);
}

qsizetype digitsEnd(const QString& text, qsizetype from)
{
    while (from < text.size() && text[from].isDigit())
        ++from;
    return from;
}

// Folded names as a file manager orders them: "2 song" before "10 song". Runs of digits compare
// as numbers, the rest by code point; the same in every locale.
bool isNaturallyBefore(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const qsizetype endA = digitsEnd(a, i), endB = digitsEnd(b, j);
            const QStringView numberA = withoutLeadingZeros(QStringView(a).sliced(i, endA - i));
            const QStringView numberB = withoutLeadingZeros(QStringView(b).sliced(j, endB - j));
            if (numberA.size() != numberB.size())
                return numberA.size() < numberB.size();
            if (const int order = numberA.compare(numberB))
                return order < 0;
            i = endA;
            j = endB;
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// Puts the moving rows in the order `less` gives their positions in `moving`, equals as they were.
template <typename Less>
void reorder(std::vector<std::size_t>& moving, Less less)
{
    std::vector<std::size_t> positions(moving.size());
    std::iota(positions.begin(), positions.end(), 0);
    std::stable_sort(positions.begin(), positions.end(), less);
    std::vector<std::size_t> sorted;
    sorted.reserve(moving.size());
    for (const std::size_t position : positions)
        sorted.push_back(moving[position]);
    moving = std::move(sorted);
}

void sortByName(std::vector<std::size_t>& moving, const std::vector<Track>& tracks, bool byPath)
{
    std::vector<QString> keys;
    keys.reserve(moving.size());
    for (const std::size_t row : moving) {
        const Track& track = tracks[row];
        keys.push_back(FindQuery::folded(byPath ? QString::fromStdString(track.url.path()) : TrackName::displayName(track)));
    }
    reorder(moving, [&](std::size_t a, std::size_t b) { return isNaturallyBefore(keys[a], keys[b]); });
}

void sortByTrackNumber(std::vector<std::size_t>& moving, const std::vector<Track>& tracks, const KnownTrackNumber& known)
{
    // Rows without a number come after those with one, in the order they had.
    std::vector<int> keys;
    keys.reserve(moving.size());
    for (const std::size_t row : moving) {
        const Track& track = tracks[row];
        std::optional<int> number = known ? known(track) : std::nullopt;
        if (!number)
            number = leadingNumber(track);
        keys.push_back(number.value_or(std::numeric_limits<int>::max()));
    }
    reorder(moving, [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
}

void shuffle(std::vector<std::size_t>& moving, const Random& random)
{
    for (std::size_t i = moving.size(); i > 1; --i)
        std::swap(moving[i - 1], moving[static_cast<std::size_t>(random(0, static_cast<std::int64_t>(i - 1)))]);
}

} // namespace

std::vector<std::size_t> permutation(const std::vector<Track>& tracks, Order order, const std::vector<std::size_t>& rows,
    const KnownTrackNumber& knownTrackNumber, const Random& random)
{
    std::vector<std::size_t> result(tracks.size());
    std::iota(result.begin(), result.end(), 0);
    std::vector<std::size_t> moving = rows.empty() ? result : rows;
    switch (order) {
    case Order::byName:
    case Order::byFilePath:
        sortByName(moving, tracks, order == Order::byFilePath);
        break;
    case Order::byTrackNumber:
        sortByTrackNumber(moving, tracks, knownTrackNumber);
        break;
    case Order::reversed:
        std::reverse(moving.begin(), moving.end());
        break;
    case Order::shuffled:
        shuffle(moving, random);
        break;
    }
    // The moving rows take the places the chosen rows held, in their new order.
    const std::vector<std::size_t>& places = rows.empty() ? result : rows;
    std::vector<std::size_t> permuted = result;
    for (std::size_t i = 0; i < places.size(); ++i)
        permuted[places[i]] = moving[i];
    return permuted;
}

std::optional<int> leadingNumber(const Track& track)
{
    const std::string name = track.url.lastPathComponent();
    std::size_t digits = 0;
    while (digits < name.size() && digits < 9 && name[digits] >= '0' && name[digits] <= '9')
        ++digits;
    if (digits == 0)
        return std::nullopt;
    return std::stoi(name.substr(0, digits));
}

} // namespace lh::PlaylistSort
