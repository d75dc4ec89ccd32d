#include "FileURL.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

// File URIs arrive from the desktop and from a second launch of the player.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (auto url = lh::FileURL::fromUserInput(text)) {
        const lh::FileURL normalized = url->normalizedFileURL();
        if (normalized.normalizedFileURL() != normalized)
            std::abort(); // normalising twice changes nothing
        if (lh::FileURL::fromUserInput(url->toUri())->path() != url->path())
            std::abort(); // a URI we write reads back as the same file
        (void)normalized.stem();
        (void)normalized.deletingLastPathComponent();
    }
    return 0;
}
