#pragma once

#include <QString>

#include <optional>

namespace lh {

namespace TrackName {

// The four digits of a year in parentheses at the very end of a name: "Album (1999)" gives
// "1999"; "Album (1999) live" and "Album (99)" give nothing.
std::optional<QString> year(const QString& text);

} // namespace TrackName
} // namespace lh
