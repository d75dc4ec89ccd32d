#pragma once

#include "FileURL.h"

namespace lh {

// A file URL that many playlist rows name, held once for the whole process: a row keeps a
// pointer (8 bytes) where a URL takes 24, and equal URLs are the same pointer, so rows still
// compare field by field. The pool only grows, by one entry per distinct URL ever interned; it
// holds cue sheets, of which the largest library has thousands, not millions. Any thread.
class InternedURL {
public:
    InternedURL() = default; // none
    explicit InternedURL(const FileURL& url);

    explicit operator bool() const noexcept { return url_ != nullptr; }
    const FileURL& operator*() const noexcept { return *url_; }
    const FileURL* operator->() const noexcept { return url_; }

    bool operator==(const InternedURL&) const = default;

private:
    const FileURL* url_ = nullptr;
};

} // namespace lh
