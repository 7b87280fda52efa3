#include "core/exceptions.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "platform/platform.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <sstream>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::readText;
using test::writeFile;
using Lines = std::vector<std::string>;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override { openLogFile(folder / "Log.txt"); }
    void TearDown() override { closeLogFile(); }

    std::string logText()
    {
        flushLog();
        return readText(folder / "Log.txt");
    }

    bool logHas(const std::string& text) { return logText().find(text) != std::string::npos; }

    // Only the entries a test made: the log lives in the same folder.
    std::vector<std::string> folderEntries()
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            if (entry.path().filename() != "Log.txt")
                names.push_back(entry.path().filename().string());
        return names;
    }

    test::TempFolder folder;
};

TEST_F(FilesTest, SaveXmlDocumentWritesTabIndentedUtf8AndLogs)
{
    pugi::xml_document document;
    auto root = document.append_child("parameters");
    root.append_child("LOG").text() = "true";
    root.append_child("lfolder0").text() = "C:\\Users\\J\xC3\xB6rg";
    const fs::path target = folder / "parameters.xml";

    saveXmlDocument(document, target);

    EXPECT_EQ(readFile(target), "<?xml version=\"1.0\"?>\n<parameters>\n\t<LOG>true</LOG>\n"
                                "\t<lfolder0>C:\\Users\\J\xC3\xB6rg</lfolder0>\n</parameters>\n");
    EXPECT_TRUE(logHas("\"" + platform::pathToUtf8(target) + "\" saved"));
    EXPECT_EQ(folderEntries(), Lines{"parameters.xml"}) << "no temporary file is left";
}

TEST_F(FilesTest, SaveXmlDocumentFailureKeepsTheOldFileAndLogs)
{
    const fs::path target = folder / "missing" / "parameters.xml";
    saveXmlDocument(pugi::xml_document(), target);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(logHas("could not save to \"" + platform::pathToUtf8(target) + "\""));

    // A target that cannot be replaced (here a folder) stays as it was.
    const fs::path blocked = folder / "blocked.xml";
    fs::create_directory(blocked);
    saveXmlDocument(pugi::xml_document(), blocked);
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_TRUE(logHas("could not save to \"" + platform::pathToUtf8(blocked) + "\""));
    EXPECT_EQ(folderEntries(), Lines{"blocked.xml"}) << "the temporary file is removed";
}

} // namespace
} // namespace rtd
