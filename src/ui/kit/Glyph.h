#pragma once

namespace lh {

// The button symbols, in their fixed order (the order is the raw value, 0 to 10).
enum class Glyph {
    previous,
    play,
    pause,
    stop,
    next,
    plus,
    minus,
    list,
    info,
    shuffle,
    repeat,
};

} // namespace lh
