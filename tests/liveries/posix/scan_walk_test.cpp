// A package folder that cannot be listed, in the middle of the Community folder.

#include "liveries/scan_support.hpp"

#include "liveries/scan.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <unistd.h>

namespace rtd {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

// Root may list any folder: the walk's thread then checks access as another user.
class ActAsUnprivilegedUser {
public:
    ActAsUnprivilegedUser() : root_(geteuid() == 0)
    {
        if (root_)
            setfsuid(65534);
    }
    ~ActAsUnprivilegedUser()
    {
        if (root_)
            setfsuid(0);
    }
    ActAsUnprivilegedUser(const ActAsUnprivilegedUser&) = delete;
    ActAsUnprivilegedUser& operator=(const ActAsUnprivilegedUser&) = delete;

private:
    bool root_;
};

TEST(LiveryScanWalk, AnUnlistableFolderIsSkippedAndTheWalkGoesOn)
{
    test::ScanWorld world;
    world.writeCfg("Community/a-package", "Boeing 738 Before", "DLH");
    world.writeCfg("Community/b-package", "Boeing 738 Hidden", "KLM");
    world.writeCfg("Community/c-package", "Boeing 738 After", "BAW");
    const fs::path hidden = world.path("Community/b-package");
    fs::permissions(hidden, fs::perms::none);
    LiveryList found;
    {
        const ActAsUnprivilegedUser user;
        scanFolderTree(1, world.path("Community"), found);
    }
    fs::permissions(hidden, fs::perms::owner_all);
    std::vector<std::string> titles;
    for (const LiveryData& record : found)
        titles.push_back(record.title);
    EXPECT_THAT(titles, ::testing::ElementsAre("Boeing 738 Before", "Boeing 738 After"));
    EXPECT_THAT(world.logText(), HasSubstr("===> liveries search in folder " + hidden.string() +
                                           " aborted because of iterator problem: "));
}

} // namespace
} // namespace rtd
