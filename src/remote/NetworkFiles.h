#pragma once

#include "RemoteFileAccess.h"
#include "Volumes.h"

#include <functional>
#include <vector>

namespace lh {

// Plain POSIX access to files on mounted shares.
class NetworkFiles final : public RemoteFileAccess {
public:
    using MountLister = std::function<std::vector<Volumes::Mount>()>;

    // `mounts` lists the mounted volumes when a file turns out to be missing.
    explicit NetworkFiles(MountLister mounts = Volumes::mounted);

    std::int64_t size(const FileURL& url) override;
    void copy(const FileURL& source, const FileURL& destination, const Progress& progress) override;

    // Each piece read counts as progress: at the 15 s stall limit a link stalls only below
    // about 9 KB/s.
    static constexpr std::size_t pieceSize = 128 * 1024;

private:
    // Runs `body`; a "no such file" error becomes MissingFileError while a volume still holds
    // `url`. Without a holder the volume itself is gone, and the error passes unchanged.
    template <typename Body>
    auto tellingMissing(const FileURL& url, Body body) -> decltype(body());

    MountLister mounts_;
};

} // namespace lh
