#include "airports/airport_support.hpp"

#include "airports/database/airport_folders.hpp"
#include "airports/database/archive.hpp"
#include "core/display.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/settings_file.hpp"
#include "core/zip_archive.hpp"
#include "fixtures/airport_packages_fixture.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "liveries/dbase.hpp"
#include "platform/platform.hpp"
#include "core/zip_fixture.hpp"
#include "support/http_server.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

class ArchiveTest : public test::AirportFolderTest {
protected:
    ArchiveTest()
    {
        fixtures::writeDbaseFile(install / "input" / "dbase.xml", {10, 1, 0});
        readDbase();
        fs::create_directory(install / "docs");
        setParametersFile(install / "parameters.xml");
        ARCHIVE_VERSION.set("");
        clearStatus();
    }
    ~ArchiveTest() override
    {
        setParametersFile({});
        ARCHIVE_VERSION.set("");
    }

    void serveArchive(const std::string& version)
    {
        fs::remove_all(serverRoot / "downloads");
        fixtures::writeAirportArchive(serverRoot.path(), {version, 600});
    }

    void createArchiveFolders()
    {
        for (const fs::path& folder : {archiveStockFolder, archiveSimaddonFolder, archiveThirdpartyFolder})
            fs::create_directories(folder);
    }

    // Files of the name anywhere in the installation, beside it, or in the root folder.
    std::size_t filesNamed(const std::string& name) const
    {
        std::size_t count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(install.path()))
            count += entry.path().filename() == name ? 1 : 0;
        for (const fs::path& folder : {install.path().parent_path(), install.path().root_path()})
            count += fs::exists(folder / name) ? 1 : 0;
        return count;
    }

    test::TempFolder serverRoot;
    test::HttpServer server{serverRoot.path()};
    test::ScopedEnv updateUrl{"RAMPTIDE_UPDATE_URL", server.baseUrl()};
};

TEST_F(ArchiveTest, VersionDecidesTheUpdate)
{
    struct Row {
        std::string installed;
        std::string server;
        bool removeSimaddon;
        bool updated;
    };
    const std::vector<Row> rows{
        {"", "2.3.1", false, true},         {"2.3.1", "2.3.1", false, false}, {"2.3.1", "1.0.0", false, true},
        {"0.9.0", "1.0.0", false, true},    {"0.1.0", "0.1.0", false, true},  {"2.3.1", "2.3.1", true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.installed + " -> " + row.server);
        serveArchive(row.server);
        createArchiveFolders();
        if (row.removeSimaddon)
            fs::remove_all(archiveSimaddonFolder);
        ARCHIVE_VERSION.set(row.installed);
        fs::remove(archiveStockFolder / "AAAA.xml");
        EXPECT_EQ(updateArchive(), row.updated);
        EXPECT_EQ(ARCHIVE_VERSION.value(), row.updated ? row.server : row.installed);
        EXPECT_EQ(fs::exists(archiveStockFolder / "AAAA.xml"), row.updated);
        EXPECT_FALSE(fs::exists("archive.zip"));
    }
    EXPECT_THAT(test::readText(install / "parameters.xml"), HasSubstr("2.3.1"));
    EXPECT_EQ(test::readText(install / "docs" / "MSFS_archive.csv"), "icao;name\nEGLL;London Heathrow\n");
    EXPECT_FALSE(fs::exists("MSFS_archive.txt"));
    EXPECT_THAT(logText(), HasSubstr("Archive has been updated to version 0.1.0"));
}

TEST_F(ArchiveTest, EntriesCountedWrittenOrRefused)
{
    fixtures::writeArchiveZip("archive.zip", 650, 600);
    createArchiveFolders();
    ZipArchive archive("archive.zip");
    ASSERT_TRUE(archive.open());
    ArchiveExtraction counts;
    std::vector<std::string> progress;
    for (const ZipEntry& entry : archive.getEntries()) {
        extractArchiveEntry(counts, entry);
        if (const std::string status = mainWindowGlobals.statusLine().statusText;
            progress.empty() || progress.back() != status)
            progress.push_back(status);
    }
    EXPECT_EQ(counts.extracted, 650u); // the unknown publisher's entry counted
    EXPECT_EQ(counts.failed, 0u);
    EXPECT_EQ(progress, (std::vector<std::string>{"", "Extracting archive.zip ...  300 files",
                                                  "Extracting archive.zip ...  600 files"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(archiveStockFolder), fs::directory_iterator()), 600);
    EXPECT_TRUE(fs::exists(archiveThirdpartyFolder / "Harbour Sims" / "AAYY.xml"));
    EXPECT_FALSE(fs::exists(archiveThirdpartyFolder / "Nobody Known"));
    EXPECT_THAT(logText(), HasSubstr("pub archive/thirdparty/Nobody Known/AAYZ.xml not found"));
    EXPECT_FALSE(fs::exists(airportsFolder / "README.txt"));
    for (const char* name : {"escaped.xml", "rooted.xml", "drive.xml", "drive-relative.xml", "backslash.xml",
                             "climbed.xml", "unc.xml", "C:drive-relative.xml"})
        EXPECT_EQ(filesNamed(name), 0u) << name;
    EXPECT_THAT(logText(), HasSubstr("refused archive entry ../escaped.xml"));
    EXPECT_EQ(test::readText(archiveStockFolder / "AAAA.xml").back(), '\n');
}

TEST_F(ArchiveTest, FailuresKeepTheVersion)
{
    serveArchive("2.3.1");
    ARCHIVE_VERSION.set("1.2.0");
    server.answerWithStatus("/downloads/archive/msfs/archive.zip", 500);
    EXPECT_FALSE(updateArchive());
    EXPECT_THAT(logText(), HasSubstr("Downloading archive files version 2.3.1 failed"));

    test::HttpServer fresh{serverRoot.path()};
    test::ScopedEnv url{"RAMPTIDE_UPDATE_URL", fresh.baseUrl()};
    createArchiveFolders();
    fs::create_directories(archiveStockFolder / "AAAB.xml"); // a folder in the file's place
    EXPECT_FALSE(updateArchive());
    EXPECT_EQ(ARCHIVE_VERSION.value(), "1.2.0");
    EXPECT_THAT(logText(), HasSubstr("1 archive files could not be written"));

    fs::remove(archiveStockFolder / "AAAB.xml");
    EXPECT_TRUE(updateArchive()); // the next start tries again
    EXPECT_EQ(ARCHIVE_VERSION.value(), "2.3.1");

    // An entry whose bytes no longer fit its CRC is not written and not installed.
    ARCHIVE_VERSION.set("1.2.0");
    const fs::path zip = serverRoot / "downloads" / "archive" / "msfs" / "archive.zip";
    test::writeZip(zip, {{"archive/stock/ZZZZ.xml", std::string(2000, 'z')}});
    std::string bytes = test::readFile(zip);
    bytes[bytes.find("zzzz") + 100] = 'y';
    test::writeFile(zip, bytes);
    EXPECT_FALSE(updateArchive());
    EXPECT_EQ(ARCHIVE_VERSION.value(), "1.2.0");
    EXPECT_FALSE(fs::exists(archiveStockFolder / "ZZZZ.xml"));

    fs::remove_all(serverRoot / "downloads");
    EXPECT_FALSE(updateArchive());
    EXPECT_THAT(logText(), HasSubstr("===> No archive version info found at the RMTD server?"));
}

TEST_F(ArchiveTest, OnlyTheArchiveFolderIsWrittenAndTheLaterEntryWins)
{
    serveArchive("2.3.1");
    ARCHIVE_VERSION.set("1.2.0");
    test::ZipContent entries{{"learned/stock/EHAM.xml", "<learned/>"}, {"archive/../my_thirdparty/EGLL.xml", "<x/>"}};
    for (int i = 0; i < 64; ++i) {
        const std::string code = fmt::format("Z{:03}.xml", i);
        entries.emplace_back("archive/stock/" + code, std::string(65536, 'a'));
        entries.emplace_back("archive/stock/./" + code, "second");
    }
    test::writeZip(serverRoot / "downloads" / "archive" / "msfs" / "archive.zip", entries);
    fs::create_directories(learnedStockFolder);
    test::writeFile(learnedStockFolder / "EHAM.xml", "mine");

    EXPECT_TRUE(updateArchive()); // refused entries are no failures
    EXPECT_EQ(ARCHIVE_VERSION.value(), "2.3.1");
    EXPECT_EQ(test::readFile(learnedStockFolder / "EHAM.xml"), "mine");
    EXPECT_FALSE(fs::exists(myThirdpartyFolder / "EGLL.xml"));
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(test::readText(archiveStockFolder / fmt::format("Z{:03}.xml", i)), "second\n") << i;
    EXPECT_THAT(logText(), HasSubstr("refused archive entry learned/stock/EHAM.xml"));
}

TEST_F(ArchiveTest, EntriesAreReadOnlyUpToTheLimit)
{
    test::writeZip("archive.zip", {{"archive/stock/BIGG.xml", std::string(101, 'b')},
                                   {"archive/stock/FITS.xml", std::string(100, 'f')}});
    createArchiveFolders();
    ZipArchive archive("archive.zip");
    ASSERT_TRUE(archive.open());
    ArchiveExtraction counts;
    counts.maxEntryBytes = 100;
    for (const ZipEntry& entry : archive.getEntries())
        extractArchiveEntry(counts, entry);
    EXPECT_EQ(counts.failed, 0u);
    EXPECT_FALSE(fs::exists(archiveStockFolder / "BIGG.xml"));
    EXPECT_TRUE(fs::exists(archiveStockFolder / "FITS.xml"));
    EXPECT_THAT(logText(), HasSubstr("refused archive entry archive/stock/BIGG.xml of more than 100 bytes"));
}

TEST(ArchiveEntryPath, StaysInsideTheAirportsFolder)
{
    const std::vector<std::pair<std::string, std::string>> rows{
        {"archive/stock/EGLL.xml", "archive/stock/EGLL.xml"},
        {"archive\\stock\\.\\EGLL.xml", "archive/stock/EGLL.xml"},
        {"archive/x/../stock//EGLL.xml", "archive/stock/EGLL.xml"},
        {"../EGLL.xml", ""},
        {"archive/../../EGLL.xml", ""},
        {"/archive/EGLL.xml", ""},
        {"\\archive\\EGLL.xml", ""},
        {"C:/EGLL.xml", ""},
        {"C:EGLL.xml", ""},
        {"", ""},
        {"learned/stock/EHAM.xml", ""},
        {"archive/../learned/stock/EHAM.xml", ""},
        {"archive", ""},
        {"archive/EGLL.xml", "archive/EGLL.xml"},
    };
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(archiveEntryPath(name).value_or(""), expected) << name;
}

} // namespace
} // namespace rtd
