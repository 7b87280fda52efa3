#include "dbase_support.hpp"

#include "core/exceptions.hpp"
#include "core/paths.hpp"
#include "liveries/scan.hpp"
#include "liveries/scanned_list.hpp"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace rtd {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

class ScannedList : public ::testing::Test {
protected:
    ScannedList()
    {
        initProgramPaths();
        fs::create_directories(paths().outputFolder);
        scanList.clear();
    }
    ~ScannedList() override { scanList.clear(); }

    static void writeList(const std::string& liveries)
    {
        test::writeFile(paths().liveriesScannedPath,
                        R"(<meta><info name="author" value="a"/><info name="version" value="1"/>)"
                        R"(<info name="date" value="d"/></meta>)" +
                            liveries);
    }

    // The error number and text of readScannedLiveries.
    static std::string readError()
    {
        try {
            readScannedLiveries();
        } catch (const UserErrorException& e) {
            EXPECT_TRUE(scanList.empty());
            return e.what();
        }
        return "no error";
    }

    test::InstallationFolder installation;
};

TEST_F(ScannedList, SavedElementsAndTheirAttributes)
{
    scanList = {{"FDX", "B763", "FedEx Freighter", "N123FE", 2, true}, {"KLM", "B738", "KLM Classic", "", 1, false}};
    saveScannedLiveries();
    const std::string text = test::readText(paths().liveriesScannedPath);
    EXPECT_THAT(text, HasSubstr("<meta>"));
    EXPECT_THAT(text, HasSubstr("<liveries>\n"
                                "\t<liv airl=\"FDX\" type=\"B763\" cargo=\"true\" title=\"FedEx Freighter\" atcid=\"N123FE\" />\n"
                                "\t<liv airl=\"KLM\" type=\"B738\" title=\"KLM Classic\" atcid=\"\" />\n"
                                "</liveries>"));
    EXPECT_THAT(installation.logText(), HasSubstr("2 liveries in output"));
}

TEST_F(ScannedList, ReadBackEqualsWhatWasWrittenWithPriorityZero)
{
    const LiveryList written = {{"DLH", "A320", "Lufthansa A", "", 3, false},
                                {"DLH", "A320", "Lufthansa B", "D-AIBC", 1, false},
                                {"FDX", "B763", "FedEx <&> \"quoted\"", "N1", 2, true}};
    scanList = written;
    saveScannedLiveries();
    readScannedLiveries();
    LiveryList expected = written;
    for (LiveryData& record : expected)
        record.priority = 0;
    EXPECT_EQ(scanList, expected);
    EXPECT_THAT(installation.logText(), HasSubstr("No scan done, 3 liveries read from output"));
}

TEST_F(ScannedList, AnEmptyListLeavesTheFileAlone)
{
    test::writeFile(paths().liveriesScannedPath, "old");
    saveScannedLiveries();
    EXPECT_EQ(test::readFile(paths().liveriesScannedPath), "old");
}

TEST_F(ScannedList, ReadListIsSortedAndIncompleteEntriesAreSkipped)
{
    writeList(R"(<liveries><liv airl="KLM" type="B738" title="Z" atcid="PH-1" cargo="yes"/>)"
              R"(<liv airl="KLM" type="B738" title="Y" cargo="0"/><other airl="AAA" type="A320" title="X"/>)"
              R"(<liv airl="DLH" type="A320" title="" atcid=""/><liv type="A320" title="No airline"/>)"
              R"(<liv airl="BAW" type="A320" title="W" cargo="1"/><liv airl="BAW" type="A320" title="V" cargo="false"/>)"
              R"(</liveries>)");
    readScannedLiveries();
    const LiveryList expected = {{"BAW", "A320", "V", "", 0, false},
                                 {"BAW", "A320", "W", "", 0, true},
                                 {"KLM", "B738", "Y", "", 0, false},
                                 {"KLM", "B738", "Z", "PH-1", 0, true}};
    EXPECT_EQ(scanList, expected);
    const std::string log = installation.logText();
    EXPECT_THAT(log, HasSubstr(R"(<liv> element with airl "DLH", type "A320", title "" skipped in output)"));
    EXPECT_THAT(log, HasSubstr(R"(<liv> element with airl "", type "A320", title "No airline" skipped)"));
}

TEST_F(ScannedList, ReadErrors)
{
    const std::string path = paths().liveriesScannedPath.string();
    EXPECT_EQ(readError(), "51: File " + path + " not found");
    test::writeFile(paths().liveriesScannedPath, "<liveries><liv");
    EXPECT_EQ(readError(), "51: File " + path + " not found");
    writeList("<other/>");
    EXPECT_EQ(readError(), "52: " + path + " does not contain a <liveries> section");
    writeList("<liveries><other/></liveries>");
    EXPECT_EQ(readError(), "53: " + path + " does not contain liveries");
    writeList(R"(<liveries><liv airl="DLH" type="A320" title=""/></liveries>)");
    EXPECT_EQ(readError(), "53: " + path + " does not contain liveries");
}

TEST_F(ScannedList, MissingMetaIsOnlyLogged)
{
    test::writeFile(paths().liveriesScannedPath, R"(<liveries><liv airl="DLH" type="A320" title="T"/></liveries>)");
    readScannedLiveries();
    EXPECT_EQ(scanList.size(), 1U);
    EXPECT_THAT(installation.logText(), HasSubstr("meta data incorrect?"));
}

} // namespace
} // namespace rtd
