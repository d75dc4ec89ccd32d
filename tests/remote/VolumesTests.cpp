#include "Volumes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <unistd.h>

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
        // equal length: the later mount is stacked on the earlier and wins (autofs lists its
        // trigger before the share mounted on it)
        RemoteCase { "/mnt/A/x.mp3", { { "/mnt/A", true }, { "/mnt/A", false } }, "/mnt/A", true },
        RemoteCase { "/mnt/A/x.mp3", { { "/mnt/A", false }, { "/mnt/A", true } }, "/mnt/A", false },
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

TEST(Volumes, AnAutomountPointIsRemoteUntilAVolumeIsStackedOnIt)
{
    const std::string_view trigger = "30 22 0:30 / /mnt/nas rw,relatime shared:9 - autofs systemd-1 rw,fd=40\n";
    const std::string_view share = "31 30 0:31 / /mnt/nas rw,relatime shared:10 - nfs4 nas:/export rw\n";
    const std::string_view disk = "32 30 8:17 / /mnt/nas rw,relatime shared:11 - ext4 /dev/sdb1 rw\n";
    const FileURL file("/mnt/nas/music/a.flac");
    const auto noLinks = [](const std::string&) { return std::optional<std::string>(); };
    EXPECT_TRUE(Volumes::isRemoteAmong(file, Volumes::parseMountInfo(trigger), noLinks));
    EXPECT_TRUE(Volumes::isRemoteAmong(file, Volumes::parseMountInfo(std::string(trigger) + std::string(share)), noLinks));
    EXPECT_FALSE(Volumes::isRemoteAmong(file, Volumes::parseMountInfo(std::string(trigger) + std::string(disk)), noLinks));
}

struct LinkCase {
    const char* path;
    std::map<std::string, std::string> links;
    const char* resolved;
    bool isRemote;
};

class VolumesLinkTest : public ::testing::TestWithParam<LinkCase> { };

// Links are followed only on local mounts: nothing below a share or an automount point is
// ever looked at, whatever the fake file system would answer there.
TEST_P(VolumesLinkTest, FollowsLinksOnlyWhileOnLocalMounts)
{
    const LinkCase& c = GetParam();
    const std::vector<Mount> mounts { { "/", true }, { "/mnt/nas", false }, { "/net", false }, { "/home/u/usb", true } };
    std::vector<std::string> asked;
    const auto readLink = [&](const std::string& path) -> std::optional<std::string> {
        asked.push_back(path);
        const auto found = c.links.find(path);
        return found == c.links.end() ? std::nullopt : std::optional(found->second);
    };
    EXPECT_EQ(Volumes::resolvedPath(c.path, mounts, readLink), c.resolved);
    EXPECT_EQ(Volumes::isRemoteAmong(FileURL(c.path), mounts, readLink), c.isRemote) << c.path;
    EXPECT_EQ(Volumes::RemoteTest(mounts, readLink)(FileURL(c.path)), c.isRemote) << c.path;
    for (const std::string& path : asked)
        EXPECT_FALSE(path.starts_with("/mnt/nas") || path.starts_with("/net")) << path;
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumesLinkTest,
    ::testing::Values(
        LinkCase { "/home/u/Music/a.flac", { { "/home/u/Music", "/mnt/nas/music" } }, "/mnt/nas/music/a.flac", true },
        LinkCase { "/home/u/Music/a.flac", { { "/home/u/Music", "../../mnt/nas/music" } }, "/mnt/nas/music/a.flac", true },
        // a chain of links, and a link to the file itself
        LinkCase { "/home/u/M/a.flac", { { "/home/u/M", "Music" }, { "/home/u/Music", "/mnt/nas" } }, "/mnt/nas/a.flac", true },
        LinkCase { "/home/u/a.flac", { { "/home/u/a.flac", "/net/host/a.flac" } }, "/net/host/a.flac", true },
        // links inside a share are the share's business: never followed
        LinkCase { "/mnt/nas/back/a.flac", { { "/mnt/nas/back", "/home/u" } }, "/mnt/nas/back/a.flac", true },
        // a link out of a volume root to a local folder is local; one to a local mount too
        LinkCase { "/mnt/music/a.flac", { { "/mnt/music", "/home/u/music" } }, "/home/u/music/a.flac", false },
        LinkCase { "/home/u/Music/a.flac", { { "/home/u/Music", "usb/music" } }, "/home/u/usb/music/a.flac", false },
        // a link to a volume root with nothing mounted: a share that is away
        LinkCase { "/home/u/Music/a.flac", { { "/home/u/Music", "/media/disk" } }, "/media/disk/a.flac", true },
        // no links, and a loop, which stops after 40 links
        LinkCase { "/home/u/a.flac", {}, "/home/u/a.flac", false },
        LinkCase { "/x/a.flac", { { "/x", "/y" }, { "/y", "/x" } }, "/x/a.flac", false }));

TEST(Volumes, ABatchResolvesEachFoldersLinksOnce)
{
    const std::vector<Mount> mounts { { "/", true }, { "/mnt/nas", false } };
    const std::map<std::string, std::string> links { { "/home/u/Music", "/home/u/real" }, { "/home/u/Share", "/mnt/nas" },
        { "/home/u/real/b.flac", "/mnt/nas/b.flac" } };
    int asked = 0;
    Volumes::RemoteTest isRemote(mounts, [&](const std::string& path) -> std::optional<std::string> {
        ++asked;
        const auto found = links.find(path);
        return found == links.end() ? std::nullopt : std::optional(found->second);
    });
    EXPECT_FALSE(isRemote(FileURL("/home/u/Music/a.flac")));
    EXPECT_TRUE(isRemote(FileURL("/home/u/Music/b.flac"))); // the file itself is a link
    EXPECT_FALSE(isRemote(FileURL("/home/u/Music/c.flac")));
    EXPECT_EQ(asked, 10); // the folder: /home, /home/u, Music, again from the root to real; then
                          // one per file, and /mnt after b's link
    EXPECT_TRUE(isRemote(FileURL("/home/u/Share/d.flac")));
    EXPECT_TRUE(isRemote(FileURL("/home/u/Share/e.flac")));
    EXPECT_EQ(asked, 14); // /home, /home/u, Share, /mnt; nothing inside the share
}

TEST(Volumes, ResolvesRealLinksWithoutChangingTheTrack)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string root = QFile::encodeName(folder.path()).toStdString();
    ASSERT_EQ(::mkdir((root + "/real").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("real", (root + "/Music").c_str()), 0);
    ASSERT_EQ(::symlink("/mnt/nas/music", (root + "/Share").c_str()), 0);
    const std::vector<Mount> mounts { { "/", true }, { "/mnt/nas", false } };
    EXPECT_EQ(Volumes::resolvedPath(root + "/Music/a.flac", mounts, Volumes::readLink), root + "/real/a.flac");
    const FileURL shared(root + "/Share/a.flac");
    EXPECT_TRUE(Volumes::isRemoteAmong(shared, mounts));
    EXPECT_EQ(shared.path(), root + "/Share/a.flac");
}

TEST(Volumes, ClassifiesFileSystemTypes)
{
    for (const char* type : { "nfs", "nfs4", "cifs", "smb3", "9p", "fuse.sshfs", "fuse.rclone", "fuse.gvfsd-fuse", "autofs" })
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
