#pragma once

#include "FileURL.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lh {

// Which mounted volume holds a file, and whether that volume is local.
//
// Mounts come from /proc/self/mountinfo only: anything that asks the file system itself
// (statfs and friends) blocks for ever on a dead share. Nothing is cached, so a share mounted
// or unmounted while the player runs is seen at the next call. Every function is safe from
// any thread.
namespace Volumes {

struct Mount {
    std::string path; // the mount point, decoded
    bool isLocal = true;

    bool operator==(const Mount&) const = default;
};

// File-system types that are network volumes. Any "fuse.*" type counts too, except the
// known-local ones below.
inline constexpr std::array<std::string_view, 20> networkTypes {
    "afs", "ceph", "cifs", "smb3", "smbfs", "sshfs", "ncpfs", "ncp", "nfs", "nfs4", "gfs",
    "gfs2", "glusterfs", "pvfs2", "ocfs2", "lustre", "davfs", "coda", "gpfs", "9p"
};
inline constexpr std::array<std::string_view, 5> localFuseTypes {
    "fuseblk", "fuse.mergerfs", "fuse.encfs", "fuse.gocryptfs", "fuse.bindfs"
};

// Automount points: listed before the volume mounted on top of them, and touching one with
// nothing on it mounts it, which may block on a share that is away, so alone they count as
// remote.
inline constexpr std::array<std::string_view, 1> automountTypes { "autofs" };

// Where shares are mounted by convention: a file below one of these with no mount holding it
// is on a share that is away. "*" stands for one path component.
inline constexpr std::array<std::string_view, 5> volumeRoots {
    "/media/", "/mnt/", "/run/media/", "/net/", "/run/user/*/gvfs/"
};

bool isLocalType(std::string_view fileSystemType);

// The mounts described by a mountinfo text, in its order; lines that cannot be read are
// skipped.
std::vector<Mount> parseMountInfo(std::string_view text);

// The mounts of this process's mount namespace; empty when they cannot be read.
std::vector<Mount> mounted();

// The innermost mount holding `url` (the root mount never counts); on equal length the
// later one, which is stacked on top of the earlier.
std::optional<Mount> holder(const FileURL& url, const std::vector<Mount>& mounts);

// The target of the symbolic link at `path`; nothing when it is none or cannot be read.
using ReadLink = std::function<std::optional<std::string>(const std::string& path)>;
std::optional<std::string> readLink(const std::string& path);

// `path` (absolute) with its symbolic links followed one component at a time, but only while
// the part resolved so far lies on a local mount: from the first component held by any other
// mount on, the rest is kept as written, so no share is ever asked. Stops following after 40
// links, as the kernel does.
std::string resolvedPath(std::string_view path, const std::vector<Mount>& mounts, const ReadLink& readLink);

// True when the path lies below one of the volume roots.
bool isUnderVolumeRoot(std::string_view path);

// The remote test, on the path with its links resolved as above (so ~/Music linked to a
// share is remote, while the track keeps its own path): held by a network volume, or held by
// nothing and below a volume root. `isRemote` lists the mounts afresh; it is the player's
// default remote predicate (one name, so it converts to a function object).
bool isRemoteAmong(const FileURL& url, const std::vector<Mount>& mounts, const ReadLink& readLink = Volumes::readLink);
bool isRemote(const FileURL& url);

// The same test for a batch of files, with the mounts listed once and each folder's links
// resolved once: a file then costs a single readlink, of its own name, while it lies in the
// folder of the file before it. Links changed during the batch may go unseen. Not for use by
// several threads at once; copies are independent.
class RemoteTest {
public:
    // How far a walk along a path got.
    struct Walk {
        std::string resolved; // "" is the root
        bool isStopped = false; // a component is held by a mount that is not local
        int links = 0; // followed so far
    };

    explicit RemoteTest(std::vector<Mount> mounts, ReadLink readLink = Volumes::readLink);
    bool operator()(const FileURL& url);

private:
    std::vector<Mount> mounts_;
    ReadLink readLink_;
    std::optional<std::string> folder_; // the folder of the file before, as written
    Walk walkedFolder_;
};

} // namespace Volumes
} // namespace lh
