#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "platform/platform.hpp"
#include "support/temp_folder.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <list>
#include <sstream>

namespace rtd {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::readText;
using test::writeFile;
using Lines = std::vector<std::string>;

// The text as UTF-16 bytes in the given order, every unit as given (lone surrogates too).
std::string utf16Bytes(const std::u16string& text, bool bigEndian)
{
    std::string bytes;
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string statusText()
{
    return mainWindowGlobals.statusLine().statusText;
}

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        openLogFile(folder / "Log.txt");
        clearErrorText();
        clearStatus();
    }
    void TearDown() override
    {
        closeLogFile();
    }

    // Writes the bytes to a file and reads it back as its detected encoding.
    bool readBack(const std::string& bytes, Lines& lines, FileEncoding expected)
    {
        const fs::path path = folder / "text.txt";
        writeFile(path, bytes);
        const FileEncoding encoding = detectFileEncoding(path);
        EXPECT_EQ(encoding, expected);
        return readTextFileLines(encoding, path, lines);
    }

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

TEST_F(FilesTest, DetectsEncodingFromTheFirstTwoBytes)
{
    const struct {
        std::string bytes;
        FileEncoding encoding;
    } cases[] = {
        {"", ANSI},
        {"\xFF", ANSI},
        {"\xFF\xFE", UTF16_little_endian},
        {"\xFE\xFFx", UTF16_big_endian},
        {"\xEF\xBB\xBFx", UTF8_with_BOM},
        {"\xEF\xBBx", UTF8_with_BOM},
        {"plain", ANSI},
    };
    for (const auto& c : cases) {
        writeFile(folder / "f.txt", c.bytes);
        EXPECT_EQ(detectFileEncoding(folder / "f.txt"), c.encoding) << ::testing::PrintToString(c.bytes);
    }
}

TEST_F(FilesTest, MissingFileIsLoggedAndNotReadable)
{
    const fs::path path = folder / "missing.cfg";
    EXPECT_EQ(detectFileEncoding(path), none_found);
    EXPECT_TRUE(logHas(fmt::format("cannot open file {} for character encoding, err: 2", platform::pathToUtf8(path))));
    Lines lines;
    EXPECT_FALSE(readTextFileLines(none_found, path, lines));
    EXPECT_TRUE(lines.empty());
}

TEST_F(FilesTest, ReadsUtf16InBothByteOrdersWithAnyLineEnd)
{
    const std::u16string text = u"\uFEFF[fltsim.0]\r\ntitle=J\u00F6rg \U0001F600\r\n\r\nx=1\ny=2";
    const Lines expected{"[fltsim.0]", "title=J\xC3\xB6rg \xF0\x9F\x98\x80", "", "x=1", "y=2"};
    for (const bool bigEndian : {false, true}) {
        Lines lines;
        EXPECT_TRUE(readBack(utf16Bytes(text, bigEndian), lines, bigEndian ? UTF16_big_endian : UTF16_little_endian));
        EXPECT_EQ(lines, expected);
    }
    EXPECT_EQ(statusText(), "");
}

TEST_F(FilesTest, Utf16WithLoneSurrogateFailsKeepingEarlierLines)
{
    for (const char16_t surrogate : {u'\xDC00', u'\xD800'}) {
        const std::u16string text = u"\uFEFFfirst\r\nbad " + std::u16string(1, surrogate) + u"\r\nlast\r\n";
        Lines lines;
        EXPECT_FALSE(readBack(utf16Bytes(text, false), lines, UTF16_little_endian));
        EXPECT_EQ(lines, Lines{"first"});
    }
    EXPECT_EQ(statusText(), "conversion from error from utf16 to utf8, code: 1113");
}

TEST_F(FilesTest, Utf16EndingInsideACharacterFails)
{
    Lines lines;
    EXPECT_FALSE(readBack(utf16Bytes(u"\uFEFFone\r\ntwo", false) + "x", lines, UTF16_little_endian));
    EXPECT_EQ(lines, Lines{"one"});
    EXPECT_EQ(statusText().rfind("conversion from error from utf16 to utf8: ", 0), 0u);
}

TEST_F(FilesTest, FailureIsCopiedToTheLog)
{
    Lines lines;
    EXPECT_FALSE(readBack(utf16Bytes(u"\uFEFFone\r\n\xDC00", false), lines, UTF16_little_endian));
    EXPECT_TRUE(logHas("conversion from error from utf16 to utf8, code: 1113"));
    EXPECT_TRUE(logHas(platform::pathToUtf8(folder / "text.txt") + " is read only up to its line 2"));
}

TEST_F(FilesTest, Utf8ByteOrderMarkIsDroppedOnlyWhenWhole)
{
    Lines lines{"kept"};
    EXPECT_TRUE(readBack("\xEF\xBB\xBFtitle=a\r\nb\n", lines, UTF8_with_BOM));
    EXPECT_EQ(lines, (Lines{"kept", "title=a", "b"}));

    Lines other;
    EXPECT_TRUE(readBack("\xEF\xBB" "Ax\n", other, UTF8_with_BOM));
    EXPECT_EQ(other, Lines{"\xEF\xBB" "Ax"});

    Lines shortMark;
    EXPECT_TRUE(readBack("\xEF\xBB", shortMark, UTF8_with_BOM));
    EXPECT_EQ(shortMark, Lines{"\xEF\xBB"});
}

TEST_F(FilesTest, AnsiFilesReadLinesAsTheyAre)
{
    Lines lines;
    EXPECT_TRUE(readBack("", lines, ANSI));
    EXPECT_TRUE(lines.empty());

    EXPECT_TRUE(readBack("a\r\n\r\nb \xE9\nlast", lines, ANSI));
    EXPECT_EQ(lines, (Lines{"a", "", "b \xE9", "last"}));
}

TEST(StreamLinesTest, ReadersAppendAndClearTheStream)
{
    std::istringstream stream("one\r\ntwo\n\nthree\n");
    std::list<std::string> list{"zero"};
    readStreamLinesToList(stream, list);
    EXPECT_EQ(list, (std::list<std::string>{"zero", "one", "two", "", "three"}));
    EXPECT_TRUE(stream.good());

    std::istringstream noEnd("a\nb");
    Lines lines;
    readStreamLinesToVector(noEnd, lines);
    EXPECT_EQ(lines, (Lines{"a", "b"}));
}

TEST_F(FilesTest, ReadLinesGivesNullForMissingAndEmptyFiles)
{
    LineFile missing{folder / "none.txt", {}};
    EXPECT_EQ(readLines(missing, 10), nullptr);

    writeFile(folder / "empty.txt", "");
    LineFile empty{folder / "empty.txt", {}};
    EXPECT_EQ(readLines(empty, 10), nullptr);

    writeFile(folder / "two.txt", "EDDF\nEGLL\n");
    LineFile two{folder / "two.txt", {}};
    EXPECT_EQ(readLines(two, 1), &two.lines);
    EXPECT_EQ(two.lines, (Lines{"EDDF", "EGLL"}));
}

TEST_F(FilesTest, WritersReplaceTheWholeFile)
{
    const fs::path path = folder / "out.txt";
    writeFile(path, "old content that is longer\n");
    EXPECT_TRUE(writeStringToFile("single", path));
    EXPECT_EQ(readText(path), "single\n");

    EXPECT_TRUE(writeStringVectorToFile({"a", "", "b"}, path));
    EXPECT_EQ(readText(path), "a\n\nb\n");

    EXPECT_TRUE(writeStringVectorToFile({}, path));
    EXPECT_EQ(readText(path), "");

    EXPECT_FALSE(writeStringToFile("x", folder / "no" / "out.txt"));
    EXPECT_EQ(folderEntries(), Lines{"out.txt"});
}

TEST_F(FilesTest, CountFilesCountsOnlyRegularFiles)
{
    EXPECT_EQ(countFiles(folder / "absent"), 0);
    const fs::path dir = folder / "dir";
    fs::create_directories(dir / "sub");
    writeFile(dir / "a.xml", "a");
    writeFile(dir / "b.txt", "");
    writeFile(dir / "sub" / "c.txt", "c");
    EXPECT_EQ(countFiles(dir), 2);

    try {
        countFiles(dir / "a.xml");
        ADD_FAILURE() << "a file is not a folder";
    } catch (const fs::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("directory_iterator::directory_iterator"), std::string::npos);
    }
}

TEST_F(FilesTest, SpecialFoldersComeFromThePlatform)
{
    EXPECT_EQ(specialFolderPath(26), platform::appDataFolder());
    EXPECT_EQ(specialFolderPath(28), platform::localAppDataFolder());
    EXPECT_EQ(specialFolderPath(5), fs::path());
}

} // namespace
} // namespace rtd
