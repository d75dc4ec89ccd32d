#include "Volumes.h"

#include <gtest/gtest.h>

namespace lh {
namespace {

using Volumes::Mount;

TEST(Volumes, ReadsMountPointsAndTypesFromMountInfo)
{
    const auto mounts = Volumes::parseMountInfo(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 0:41 / /mnt/My\\040Music rw,nosuid shared:5 master:2 - fuse.sshfs nas:/music rw,user_id=0\n"
        "41 22 0:42 / /mnt/back\\134slash\\011tab rw - nfs4 nas:/x rw\n"
        "garbage line\n"
        "42 22 0:43 / /home/u/vault rw - fuse.gocryptfs vault rw\n"
        "43 22 0:44 / /srv/odd rw - fuse odd rw\n");
    EXPECT_EQ(mounts, (std::vector<Mount> {
                          { "/", true },
                          { "/mnt/My Music", false },
                          { "/mnt/back\\slash\ttab", false },
                          { "/home/u/vault", true },
                          { "/srv/odd", true },
                      }));
}

struct RemoteCase {
    const char* path;
    std::vector<Mount> mounts;
    std::optional<std::string> holder;
    bool isRemote;
};

class VolumesRemoteTest : public ::testing::TestWithParam<RemoteCase> { };

TEST_P(VolumesRemoteTest, FindsTheHolderAndTellsRemoteFiles)
{
    const RemoteCase& c = GetParam();
    const auto holder = Volumes::holder(FileURL(c.path), c.mounts);
    EXPECT_EQ(holder ? std::optional(holder->path) : std::nullopt, c.holder) << c.path;
    EXPECT_EQ(Volumes::isRemoteAmong(FileURL(c.path), c.mounts), c.isRemote) << c.path;
}

const std::vector<Mount> rootAndShare { { "/", true }, { "/mnt/share", false } };

INSTANTIATE_TEST_SUITE_P(Volumes, VolumesRemoteTest,
    ::testing::Values(
        RemoteCase { "/mnt/share/a/b.flac", rootAndShare, "/mnt/share", true },
        RemoteCase { "/home/x/a.flac", rootAndShare, std::nullopt, false },
        // the mount point must be followed by a slash
        RemoteCase { "/mnt/shareBox/a.mp3", { { "/mnt/share", false } }, std::nullopt, true },
        RemoteCase { "/mnt/share", rootAndShare, "/mnt/share", true },
        RemoteCase { "/mnt/share/x.mp3", { { "/mnt/share/", false } }, "/mnt/share/", true },
        // the innermost mount holds the file
        RemoteCase { "/mnt/A/B/x.mp3", { { "/mnt/A", false }, { "/mnt/A/B", true } }, "/mnt/A/B", false },
        RemoteCase { "/mnt/A/x.mp3", { { "/mnt/A", false }, { "/mnt/A/B", true } }, "/mnt/A", true },
        // equal length: the earlier mount wins
        RemoteCase { "/mnt/A/x.mp3", { { "/mnt/A", true }, { "/mnt/A", false } }, "/mnt/A", false },
        RemoteCase { "/mnt/share/./x/../y.mp3", { { "/mnt/share", false } }, "/mnt/share", true },
        // held by nothing: the volume roots decide
        RemoteCase { "/media/usb/a.mp3", {}, std::nullopt, true },
        RemoteCase { "/run/media/u/disk/a.mp3", {}, std::nullopt, true },
        RemoteCase { "/net/host/a.mp3", {}, std::nullopt, true },
        RemoteCase { "/run/user/1000/gvfs/smb-share:server=nas/a.mp3", {}, std::nullopt, true },
        RemoteCase { "/run/user/1000/a.mp3", {}, std::nullopt, false },
        RemoteCase { "/mnt", {}, std::nullopt, false },
        RemoteCase { "/home/u/mnt/a.mp3", {}, std::nullopt, false },
        // a local volume under a volume root is local
        RemoteCase { "/media/usb/a.mp3", { { "/media/usb", true } }, "/media/usb", false }));

TEST(Volumes, ClassifiesFileSystemTypes)
{
    for (const char* type : { "nfs", "nfs4", "cifs", "smb3", "9p", "fuse.sshfs", "fuse.rclone", "fuse.gvfsd-fuse" })
        EXPECT_FALSE(Volumes::isLocalType(type)) << type;
    for (const char* type : { "ext4", "btrfs", "tmpfs", "overlay", "fuseblk", "fuse.mergerfs", "fuse.bindfs" })
        EXPECT_TRUE(Volumes::isLocalType(type)) << type;
}

TEST(Volumes, ListsThisProcesssMountsWithTheRootAmongThem)
{
    const auto mounts = Volumes::mounted();
    EXPECT_NE(std::ranges::find(mounts, "/", &Mount::path), mounts.end());
}

} // namespace
} // namespace lh
