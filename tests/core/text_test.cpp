#include "core/text.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <list>

namespace rtd {
namespace {

using Items = std::vector<std::string>;

TEST(TrimTest, DropsBlanksTabsAndLineEndsAtBothEnds)
{
    EXPECT_EQ(trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(trim("\r\n\t "), "");
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim("x"), "x");
}

TEST(SplitTest, WordsKeepInnerEmptyItemsButNoTrailingOne)
{
    const struct {
        std::string text;
        Items items;
    } cases[] = {
        {"", {}},
        {"a,b,", {"a", "b"}},
        {" a , b ", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},
        {"a,  ,b", {"a", "", "b"}},
        {",", {""}},
        {" ", {""}},
        {"a;b", {"a;b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitWords(c.text), c.items) << '"' << c.text << '"';
}

TEST(SplitTest, TokensSplitOnlyAtSemicolons)
{
    EXPECT_EQ(splitTokens(" A320 ; B738,B739 ;"), (Items{"A320", "B738,B739"}));
    EXPECT_EQ(splitTokens(";x"), (Items{"", "x"}));
}

TEST(TrimAndSplitTest, RemovesBlanksAroundItems)
{
    std::string list = " a , b\t,c \r\n";
    trimAndSplit(list);
    EXPECT_EQ(list, "a,b,c");

    std::string plain = "a,,b,";
    trimAndSplit(plain);
    EXPECT_EQ(plain, "a,,b,") << "a list without blanks is left as it is";

    std::string blank = " ";
    trimAndSplit(blank);
    EXPECT_EQ(blank, "");
}

TEST(ExtractQuotedTest, TakesTextBetweenFirstTwoQuotes)
{
    EXPECT_EQ(extractQuoted("title = \"Airbus A320\" ; x"), "Airbus A320");
    EXPECT_EQ(extractQuoted("no quotes"), "no quotes");
    EXPECT_EQ(extractQuoted("one \" quote"), "");
    EXPECT_EQ(extractQuoted("ends with \""), "");
    EXPECT_EQ(extractQuoted("\"\" empty"), "");
    EXPECT_EQ(extractQuoted("\"a\"b\"c\""), "a");
}

TEST(EqualsUpperTest, RaisesOnlyAsciiLettersOfTheText)
{
    EXPECT_TRUE(equalsUpper("TRUE", "true"));
    EXPECT_TRUE(equalsUpper("TRUE", "TrUe"));
    EXPECT_FALSE(equalsUpper("true", "true")) << "the expected text is not raised";
    EXPECT_FALSE(equalsUpper("\xC3\x84", "\xC3\xA4")) << "no folding beyond a..z";
    EXPECT_FALSE(equalsUpper("TRUE", "true "));
}

TEST(MakeBannerTest, CentresTextInAsterisks)
{
    EXPECT_EQ(makeBanner(70, 10, false, true, ""), std::string(80, '*') + "\n");
    const std::string side(34, '*');
    EXPECT_EQ(makeBanner(70, 0, true, false, "parameters"), "\n" + side + " parameters " + side);
    EXPECT_EQ(makeBanner(3, 0, false, false, ""), "****") << "odd widths round up";
    EXPECT_EQ(makeBanner(6, 0, false, false, "abcd"), "abcd") << "too narrow for the text";
    EXPECT_EQ(makeBanner(7, 0, false, false, "abcd"), "*** abcd ***");
    EXPECT_EQ(makeBanner(-10, 0, true, true, ""), "\n\n") << "a negative width draws nothing";
}

TEST(WinsockErrorTextTest, KnownAndUnknownCodes)
{
    EXPECT_EQ(winsockErrorText(10061), "10061 Connection refused");
    EXPECT_EQ(winsockErrorText(10004), "10004 Interrupted system call");
    EXPECT_EQ(winsockErrorText(11004), "11004 No host data of that type was found");
    EXPECT_EQ(winsockErrorText(5), "5 Unknown errror code");
    EXPECT_EQ(winsockErrorText(10000), "10000 Unknown errror code");
}

TEST(FormatNumberTest, WholeNumbersWithoutDecimals)
{
    EXPECT_EQ(formatNumber(3.0f), "3");
    EXPECT_EQ(formatNumber(42.0f), "42");
    EXPECT_EQ(formatNumber(0.5f), "0.5");
    EXPECT_EQ(formatNumber(-1.5f), "-1.5");
    EXPECT_EQ(formatNumber(2.25f), "2.2");
    EXPECT_EQ(formatNumber(-0.0f), "-0");
    EXPECT_EQ(formatNumber(std::numeric_limits<float>::infinity()), "INF");
    EXPECT_EQ(formatNumber(std::numeric_limits<float>::quiet_NaN()), "NAN");
}

TEST(RemoveAdjacentDuplicatesTest, DropsRepeatsAndCountsThem)
{
    std::list<std::string> lines{"EDDF", "EDDF", "EDDM", "EDDF", "EGLL", "EGLL", "EGLL"};
    EXPECT_EQ(removeAdjacentDuplicates(lines), 3u);
    EXPECT_EQ(lines, (std::list<std::string>{"EDDF", "EDDM", "EDDF", "EGLL"}));

    std::vector<std::string> empty;
    EXPECT_EQ(removeAdjacentDuplicates(empty), 0u);
}

} // namespace
} // namespace rtd
