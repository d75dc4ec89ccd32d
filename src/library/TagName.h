#pragma once

#include <QString>

namespace lh {

// What a file's own tags call it: its title tag and its artists, as the rows, the display and
// the window title show them when the user asks for tag titles. Only files whose tags hold a
// title have one: a file without is known by its name.
struct TagName {
    QString title;
    QString artist; // the artist tags joined, or empty

    bool operator==(const TagName&) const = default;
};

} // namespace lh
