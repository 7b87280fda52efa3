#include "core/display.hpp"
#include "core/download.hpp"
#include "core/exceptions.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/paths.hpp"
#include "core/settings_file.hpp"
#include "core/updater.hpp"
#include "platform/platform.hpp"
#include "support/http_server.hpp"
#include "support/temp_folder.hpp"
#include "zip_fixture.hpp"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using test::readFile;
using test::readText;

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    test::writeFile(path, bytes);
}

std::string utf8(const fs::path& path)
{
    return platform::pathToUtf8(path);
}

const std::string dbaseXml = "<dbase><model name=\"A320\"/></dbase>\n<fixes/>\n";
const std::string regcodesXml = "<regcodes><code prefix=\"D-\"/></regcodes>\n";

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(work / "input");
        openLogFile(work / "Log.txt");
        setParametersFile(work / "parameters.xml");
        for (StringParameter* setting : {&DBASE_VERSION, &AIG_VERSION, &ARCHIVE_VERSION})
            setting->set("");
        clearErrorText();
        clearStatus();
    }

    std::string statusText() const { return mainWindowGlobals.statusLine().statusText; }
    void TearDown() override
    {
        closeLogFile();
        setParametersFile({});
        setDownloadTimeouts({});
    }

    // The log's lines after its header line.
    std::vector<std::string> logLines()
    {
        flushLog();
        std::istringstream text(readText(work / "Log.txt"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line);
        lines.erase(lines.begin());
        return lines;
    }

    void serve(const std::string& path, const std::string& bytes) { writeFile(serverRoot / path, bytes); }

    // The files in the working folder besides the log and parameters.xml.
    std::vector<std::string> leftovers()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(work.path()))
            if (entry.is_regular_file() && entry.path().filename() != "Log.txt" &&
                entry.path().filename() != "parameters.xml")
                names.push_back(utf8(entry.path().filename()));
        return names;
    }

    test::TempFolder work;
    test::TempFolder serverRoot;
    test::HttpServer server{serverRoot.path()};
    test::ScopedCurrentFolder inWork{work.path()};
    test::ScopedEnv updateUrl{"RAMPTIDE_UPDATE_URL", server.baseUrl()};
    fs::path installedDbase = paths().inputFolder / paths().dbaseFileName;
    fs::path installedRegcodes = paths().aigRegcodesPath;
};

TEST_F(UpdaterTest, ServerAddressComesFromTheEnvironment)
{
    EXPECT_EQ(updateServerBase(), server.baseUrl());
    test::ScopedEnv noSlash{"RAMPTIDE_UPDATE_URL", "http://example.invalid/base"};
    EXPECT_EQ(updateServerBase(), "http://example.invalid/base/");
    test::ScopedEnv unset{"RAMPTIDE_UPDATE_URL", ""};
    EXPECT_EQ(updateServerBase(), updateServerUrl);
}

TEST_F(UpdaterTest, VersionFileFormatsAndRedirects)
{
    serve("downloads/dbase/version.json", "1.2.3\nignored 9.9.9\n");
    serve("downloads/aig/version.json", "{\"major\": 2, \"minor\": 0, \"patch\": 11}\r\n");
    serve("elsewhere/version.json", "3.4.5");
    server.redirect("/downloads/archive/msfs/version.json", "/elsewhere/version.json");
    serve("downloads/release/version.json", "");

    EXPECT_EQ(fetchDbaseVersionJson(), (Version{1, 2, 3}));
    EXPECT_EQ(fetchAigVersionJson(), (Version{2, 0, 11}));
    EXPECT_EQ(fetchArchiveVersionJson(), (Version{3, 4, 5}));
    EXPECT_EQ(fetchReleaseVersionJson(), Version{});
    EXPECT_TRUE(leftovers().empty()); // fetched into memory: no "version.json"
}

TEST_F(UpdaterTest, HttpErrorStatusIsAFailedFetch)
{
    server.answerWithStatus("/downloads/dbase/version.json", 500);
    updateDbase();
    const std::string url = server.baseUrl() + "downloads/dbase/version.json";
    EXPECT_THAT(logLines(), Contains("===> downloading \"" + url + "\" failed"));
    EXPECT_EQ(logLines().back(), "===> No dbase version info found at the RMTD server?");
    EXPECT_EQ(DBASE_VERSION.value(), "");
}

TEST_F(UpdaterTest, ServerThatNeverAnswersTimesOut)
{
    setDownloadTimeouts({std::chrono::seconds(5), std::chrono::milliseconds(300)});
    server.neverAnswer("/downloads/aig/version.json");
    EXPECT_EQ(fetchAigVersionJson(), Version{});
    EXPECT_THAT(logLines().front(), HasSubstr("download error: Timeout was reached"));
}

TEST_F(UpdaterTest, ConcurrentVersionFetchesDoNotMeet)
{
    serve("downloads/dbase/version.json", "1.0.1");
    serve("downloads/aig/version.json", "2.0.2");
    std::vector<Version> dbase(20), aig(20);
    {
        std::jthread first([&] { std::generate(dbase.begin(), dbase.end(), fetchDbaseVersionJson); });
        std::jthread second([&] { std::generate(aig.begin(), aig.end(), fetchAigVersionJson); });
    }
    EXPECT_EQ(std::count(dbase.begin(), dbase.end(), Version{1, 0, 1}), 20);
    EXPECT_EQ(std::count(aig.begin(), aig.end(), Version{2, 0, 2}), 20);
}

TEST_F(UpdaterTest, EqualVersionDownloadsNothing)
{
    serve("downloads/dbase/version.json", "1.2.3");
    serve("downloads/dbase/dbase.xml", dbaseXml);
    writeFile(installedDbase, "installed");
    DBASE_VERSION.set("1.2.3");

    updateDbase();
    EXPECT_THAT(server.requests(), ElementsAre("/downloads/dbase/version.json"));
    EXPECT_EQ(readFile(installedDbase), "installed");
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(statusText(), "");
}

TEST_F(UpdaterTest, NewerDbaseIsInstalledAndItsVersionStored)
{
    serve("downloads/dbase/version.json", "1.2.4");
    serve("downloads/dbase/dbase.xml", dbaseXml);
    writeFile(installedDbase, "installed");
    DBASE_VERSION.set("1.2.3");

    updateDbase();
    EXPECT_EQ(readText(installedDbase), dbaseXml);
    EXPECT_EQ(DBASE_VERSION.value(), "1.2.4");
    EXPECT_THAT(readText(work / "parameters.xml"), HasSubstr("value=\"1.2.4\""));
    EXPECT_EQ(statusText(), "Downloading dbase.xml version 1.2.4 ...");
    EXPECT_THAT(logLines(), Contains(statusText()));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(UpdaterTest, MissingFileIsFetchedAgainEvenWhenStoredVersionIsNewer)
{
    serve("downloads/dbase/version.json", "1.0.0");
    serve("downloads/dbase/dbase.xml", dbaseXml);
    DBASE_VERSION.set("2.0.0");

    updateDbase();
    EXPECT_EQ(readText(installedDbase), dbaseXml);
    EXPECT_EQ(DBASE_VERSION.value(), "1.0.0");
}

TEST_F(UpdaterTest, MissingDownloadChangesNothing)
{
    serve("downloads/dbase/version.json", "1.2.4");
    writeFile(installedDbase, "installed");
    DBASE_VERSION.set("1.2.3");

    updateDbase(); // dbase.xml answers 404
    EXPECT_EQ(readFile(installedDbase), "installed");
    EXPECT_EQ(DBASE_VERSION.value(), "1.2.3");
    EXPECT_FALSE(fs::exists(work / "parameters.xml"));
    EXPECT_EQ(logLines().back(), "downloading " + utf8(installedDbase) + " failed?");
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(UpdaterTest, CorruptXmlIsRefused)
{
    serve("downloads/dbase/version.json", "1.2.4");
    serve("downloads/dbase/dbase.xml", "<dbase><model name=\"A320\">");
    writeFile(installedDbase, "installed");

    updateDbase();
    EXPECT_EQ(readFile(installedDbase), "installed");
    EXPECT_EQ(DBASE_VERSION.value(), "");
    EXPECT_THAT(logLines().back(), HasSubstr("is not a valid XML file"));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(UpdaterTest, RegcodesFolderIsCreatedInsideInput)
{
    serve("downloads/aig/version.json", "3.1.0");
    serve("downloads/aig/AIG-regcodes.xml", regcodesXml);

    updateAigRegcodes();
    EXPECT_EQ(readText(installedRegcodes), regcodesXml);
    EXPECT_EQ(AIG_VERSION.value(), "3.1.0");
    EXPECT_THAT(logLines(), Contains("Downloading AIG-regcodes.xml version 3.1.0 ..."));

    // Equal version and the file present: nothing more is fetched.
    updateAigRegcodes();
    const std::vector<std::string> requests = server.requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "/downloads/aig/AIG-regcodes.xml"), 1);
}

TEST_F(UpdaterTest, RegcodesWithoutInputFolderThrowAndLeaveNoDownload)
{
    fs::remove(work / "input");
    serve("downloads/aig/version.json", "3.1.0");
    serve("downloads/aig/AIG-regcodes.xml", regcodesXml);

    EXPECT_THROW(updateAigRegcodes(), fs::filesystem_error);
    EXPECT_EQ(AIG_VERSION.value(), "");
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(UpdaterTest, CheckNewVersionsNamesWhatIsNewerInOrder)
{
    EXPECT_EQ(checkNewVersions(), ""); // nothing on the server

    serve("downloads/release/version.json", "8.7.0");
    serve("downloads/dbase/version.json", "1.0.0");
    serve("downloads/aig/version.json", "1.0.0");
    EXPECT_EQ(checkNewVersions(), "==> New versions for: dbase.xml, AIG-regcodes.xml");

    AIG_VERSION.set("1.0.0");
    EXPECT_EQ(checkNewVersions(), "==> New version for: dbase.xml");

    serve("downloads/release/version.json", "8.7.1");
    serve("downloads/archive/msfs/version.json", "0.0.1");
    EXPECT_EQ(checkNewVersions(), "==> New versions for: Ramptide, dbase.xml, archive");
}

class ProgramUpdateTest : public UpdaterTest {
protected:
    void SetUp() override
    {
        UpdaterTest::SetUp();
        serve("downloads/release/version.json", "8.8.0");
    }

    const std::string archiveName = "setup_Ramptide_v8.8.0.zip";
    const fs::path archiveOnServer = serverRoot / "downloads" / "release" / archiveName;
    const std::string failedText = "download/extract of the new version failed? Try manually via my website";
};

TEST_F(ProgramUpdateTest, ExtractedInstallerStopsWithUserError99)
{
    test::writeZip(archiveOnServer, {{"Ramptide setup.exe", "MZ installer"}});
    try {
        updateProgram(work.path());
        FAIL() << "no user error";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()), "New version 8.8.0 available. Exit here, and run as administrator:   \"" +
                                             utf8(work / "install_new_version.exe") + "\"");
    }
    EXPECT_EQ(readFile(work / "install_new_version.exe"), "MZ installer");
    EXPECT_THAT(leftovers(), ElementsAre("install_new_version.exe")); // the archive is gone
    EXPECT_THAT(logLines(), Contains(archiveName + " extracted to install_new_version.exe"));
}

TEST_F(ProgramUpdateTest, SameVersionDownloadsNoInstaller)
{
    serve("downloads/release/version.json", "8.7.0");
    updateProgram(work.path());
    EXPECT_THAT(server.requests(), ElementsAre("/downloads/release/version.json"));
}

TEST_F(ProgramUpdateTest, ArchiveThatIsNoZipIsReportedAndRemoved)
{
    writeFile(archiveOnServer, "<html>a page, not an archive</html>");
    EXPECT_NO_THROW(updateProgram(work.path()));
    EXPECT_THAT(logLines(), Contains("===> could not open " + archiveName));
    EXPECT_EQ(logLines().back(), failedText);
    EXPECT_EQ(statusText(), failedText);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(ProgramUpdateTest, DamagedEntryLeavesNoInstaller)
{
    const std::string installer(10'000, 'x');
    test::writeZip(archiveOnServer, {{"setup.exe", installer}});
    std::string bytes = readFile(archiveOnServer);
    bytes[bytes.find(installer) + 5000] = 'y';
    writeFile(archiveOnServer, bytes);

    EXPECT_NO_THROW(updateProgram(work.path()));
    EXPECT_THAT(logLines(), Contains("===> extracting error code : " + std::to_string(ZIP_ER_CRC)));
    EXPECT_EQ(logLines().back(), failedText);
    EXPECT_EQ(statusText(), failedText);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(ProgramUpdateTest, MissingArchiveIsReported)
{
    EXPECT_NO_THROW(updateProgram(work.path()));
    EXPECT_THAT(logLines(), Contains("Downloading program installer file version 8.8.0 failed"));
    EXPECT_EQ(logLines().back(), failedText);
    EXPECT_EQ(statusText(), failedText);
    EXPECT_TRUE(leftovers().empty());
}

} // namespace
} // namespace rtd
