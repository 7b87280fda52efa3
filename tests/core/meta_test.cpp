#include "core/log.hpp"
#include "core/meta.hpp"
#include "core/time.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <vector>

namespace rtd {
namespace {

class MetaTest : public ::testing::Test {
protected:
    void SetUp() override { openLogFile(folder / "Log.txt"); }
    void TearDown() override
    {
        closeLogFile();
        setWallClock(nullptr);
    }

    std::string log()
    {
        flushLog();
        return test::readText(folder / "Log.txt");
    }

    // A document with a meta block of the given items and a data element after it.
    pugi::xml_document documentWith(const std::string& infos)
    {
        pugi::xml_document document;
        const std::string text = "<meta>" + infos + "</meta><liveries/>";
        EXPECT_TRUE(document.load_string(text.c_str()));
        return document;
    }

    test::TempFolder folder;
};

TEST_F(MetaTest, BlockComesFirstWithItsItemsInOrder)
{
    setWallClock([]() -> std::int64_t { return 1700000000; });
    pugi::xml_document document;
    ASSERT_TRUE(writeMeta(document));
    document.append_child("liveries");

    ASSERT_EQ(std::string(document.first_child().name()), "meta");
    EXPECT_EQ(std::string(document.first_child().next_sibling().name()), "liveries");
    std::vector<std::pair<std::string, std::string>> items;
    for (const pugi::xml_node info : document.child("meta").children()) {
        EXPECT_EQ(std::string(info.name()), "info");
        EXPECT_EQ(std::string(info.first_attribute().name()), "name");
        items.emplace_back(info.attribute("name").as_string(), info.attribute("value").as_string());
    }
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], (std::pair<std::string, std::string>{"author", "Ramptide"}));
    EXPECT_EQ(items[1], (std::pair<std::string, std::string>{"version", "8.7.0"}));
    EXPECT_EQ(items[2], (std::pair<std::string, std::string>{"date", "Nov 14, 2023"}));
    EXPECT_EQ(items[3], (std::pair<std::string, std::string>{"copyright", metaCopyright.defaultValue()}));
    EXPECT_TRUE(checkMeta(document));
    EXPECT_EQ(metaDate.value(), "Nov 14, 2023");
}

TEST_F(MetaTest, CheckNeedsAuthorDateAndVersion)
{
    // Values are not judged, and the copyright is not needed.
    const auto complete = documentWith(R"(<info name="author" value="x"/><info name="version" value=""/>)"
                                       R"(<info name="date" value="Jan  1, 2020"/>)");
    EXPECT_TRUE(checkMeta(complete));
    EXPECT_EQ(metaVersion.value(), "");
    EXPECT_EQ(log().find("meta data incorrect?"), std::string::npos);

    const auto noDate = documentWith(R"(<info name="author" value="x"/><info name="version" value="8.7.0"/>)");
    EXPECT_FALSE(checkMeta(noDate));
    EXPECT_NE(log().find("===> meta data incorrect?\n"), std::string::npos);
}

TEST_F(MetaTest, DocumentWithoutBlockStopsAtTheAuthor)
{
    metaVersion.set("untouched");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(R"(<liveries><info name="author" value="x"/></liveries>)"));
    EXPECT_FALSE(checkMeta(document));
    EXPECT_EQ(metaAuthor.value(), "");
    EXPECT_EQ(metaVersion.value(), "untouched");
    EXPECT_NE(log().find("===> meta data incorrect?\n"), std::string::npos);
}

TEST_F(MetaTest, ItemsAreFoundByName)
{
    EXPECT_EQ(metaXPath("date"), "/meta/info[@name='date']");
    const auto document = documentWith(R"(<info name="author" value="first"/><info name="author" value="second"/>)"
                                       R"(<info name="date"/>)");
    EXPECT_TRUE(readMetaValue(document, metaAuthor));
    EXPECT_EQ(metaAuthor.value(), "first");
    metaDate.set("stale");
    EXPECT_TRUE(readMetaValue(document, metaDate));
    EXPECT_EQ(metaDate.value(), "");
    EXPECT_FALSE(appendInfo(pugi::xml_node(), "author", "x"));
}

} // namespace
} // namespace rtd
