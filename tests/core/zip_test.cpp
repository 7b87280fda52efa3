#include "core/zip_archive.hpp"
#include "support/temp_folder.hpp"
#include "zip_fixture.hpp"

#include <gtest/gtest.h>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

class ZipArchiveTest : public ::testing::Test {
protected:
    test::TempFolder folder;
    fs::path zipPath = folder / "archive.zip";
    std::string big = std::string(700'000, 'a') + "end"; // more than one read chunk
};

TEST_F(ZipArchiveTest, ListsAndExtractsEntries)
{
    test::writeZip(zipPath, {{"first.txt", "one"}, {"sub/second.bin", big}});
    ZipArchive archive(zipPath);
    ASSERT_TRUE(archive.open());
    const std::vector<ZipEntry> entries = archive.getEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "first.txt");
    EXPECT_EQ(entries[1].name, "sub/second.bin");
    EXPECT_EQ(entries[1].size, big.size());

    const fs::path target = folder / "out.bin";
    writeFile(target, "previous");
    EXPECT_EQ(archive.extractEntry(entries[1], target), 0);
    EXPECT_EQ(readFile(target), big);
    EXPECT_EQ(archive.extractEntry(entries[0], target), 0);
    EXPECT_EQ(readFile(target), "one");
}

TEST_F(ZipArchiveTest, DamagedEntryLeavesTargetUntouched)
{
    test::writeZip(zipPath, {{"installer.exe", big}});
    std::string bytes = readFile(zipPath);
    bytes[bytes.find("aaaa") + 100] = 'b'; // the stored data no longer fits its CRC
    writeFile(zipPath, bytes);

    ZipArchive archive(zipPath);
    ASSERT_TRUE(archive.open());
    const fs::path target = folder / "installer.exe";
    writeFile(target, "previous");
    EXPECT_EQ(archive.extractEntry(archive.getEntries().at(0), target), ZIP_ER_CRC);
    EXPECT_EQ(readFile(target), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 2); // no partial file left
}

TEST_F(ZipArchiveTest, ReadsWholeEntriesIntoMemory)
{
    test::writeZip(zipPath, {{"small.xml", "<a/>"}, {"big.bin", big}, {"empty", ""}});
    std::string bytes = readFile(zipPath);
    ZipArchive archive(zipPath);
    ASSERT_TRUE(archive.open());
    const std::vector<ZipEntry> entries = archive.getEntries();
    const std::vector<std::string> expected{"<a/>", big, ""};
    std::string content = "stale";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(archive.readEntry(entries[i], content), 0) << i;
        EXPECT_EQ(content, expected[i]) << i;
    }
    archive.close();

    bytes[bytes.find("aaaa") + 100] = 'b';
    writeFile(zipPath, bytes);
    ASSERT_TRUE(archive.open());
    EXPECT_EQ(archive.readEntry(archive.getEntries().at(1), content), ZIP_ER_CRC);
    EXPECT_EQ(content, "");
}

TEST_F(ZipArchiveTest, OpenFailsForMissingOrForeignFiles)
{
    ZipArchive missing(folder / "none.zip");
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.openError(), ZIP_ER_NOENT);
    EXPECT_TRUE(missing.getEntries().empty());

    writeFile(zipPath, "this is not an archive, only some text that is long enough to look for a directory");
    ZipArchive foreign(zipPath);
    EXPECT_FALSE(foreign.open());
    EXPECT_EQ(foreign.openError(), ZIP_ER_NOZIP);
}

TEST_F(ZipArchiveTest, EntryOfAnotherArchiveIsRefused)
{
    test::writeZip(zipPath, {{"a.txt", "a"}});
    ZipArchive first(zipPath);
    ZipArchive second(zipPath);
    ASSERT_TRUE(first.open());
    ASSERT_TRUE(second.open());
    EXPECT_EQ(second.extractEntry(first.getEntries().at(0), folder / "a.txt"), ZIP_ER_INVAL);
    EXPECT_FALSE(fs::exists(folder / "a.txt"));
}

} // namespace
} // namespace rtd
