#include "FakeRemoteFiles.h"
#include "FileErrors.h"
#include "NetworkFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace lh {
namespace {

// A share a contract case can fill: the real access over a folder that counts as a mounted
// volume, or the tests' fake. Either way `put` makes a file and `gone` names one the still
// mounted share no longer has.
struct RealShare {
    QTemporaryDir dir;
    NetworkFiles access { [this] { return std::vector<Volumes::Mount> { { dir.path().toStdString(), false } }; } };

    FileURL put(const std::string& name, const std::string& contents)
    {
        std::ofstream(path(name), std::ios::binary) << contents;
        return FileURL(path(name));
    }
    FileURL gone(const std::string& name) { return FileURL(path(name)); }
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }
};

struct FakeShare {
    QTemporaryDir dir;
    FakeRemoteFiles access;

    FileURL put(const std::string& name, const std::string& contents)
    {
        access.files["/share/" + name] = contents;
        return FileURL("/share/" + name);
    }
    FileURL gone(const std::string& name)
    {
        access.missing.insert("/share/" + name);
        return FileURL("/share/" + name);
    }
};

std::string contentsOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

template <class Share>
class RemoteFileAccessContract : public ::testing::Test {
protected:
    Share share;
    std::string destination() const { return share.dir.path().toStdString() + "/copy"; }
};

using Shares = ::testing::Types<RealShare, FakeShare>;
TYPED_TEST_SUITE(RemoteFileAccessContract, Shares);

TYPED_TEST(RemoteFileAccessContract, SizeAndCopyGiveTheFileAndReportProgress)
{
    const FileURL source = this->share.put("a.flac", "twelve bytes");
    EXPECT_EQ(this->share.access.size(source), 12);
    std::ofstream(this->destination()) << "an older and longer copy";
    int progress = 0;
    this->share.access.copy(source, FileURL(this->destination()), [&] { ++progress; });
    EXPECT_EQ(contentsOf(this->destination()), "twelve bytes");
    EXPECT_GE(progress, 1);
}

TYPED_TEST(RemoteFileAccessContract, AFileGoneFromAMountedShareIsMissing)
{
    const FileURL gone = this->share.gone("b.flac");
    EXPECT_THROW(this->share.access.size(gone), MissingFileError);
    EXPECT_THROW(this->share.access.copy(gone, FileURL(this->destination()), [] {}), MissingFileError);
}

// The progress callback is how the stall watchdog ends a copy: its error ends the copy and
// leaves no partial file behind, whenever it comes.
TYPED_TEST(RemoteFileAccessContract, AnErrorFromProgressEndsTheCopyAndRemovesTheDestination)
{
    const FileURL source = this->share.put("c.flac", "contents");
    for (const int failingCall : { 1, 2 }) {
        int calls = 0;
        const auto progress = [&] {
            if (++calls == failingCall)
                throw std::runtime_error("stalled");
        };
        EXPECT_THROW(this->share.access.copy(source, FileURL(this->destination()), progress), std::runtime_error);
        EXPECT_FALSE(QFile::exists(QString::fromStdString(this->destination()))) << failingCall;
    }
}

} // namespace
} // namespace lh
