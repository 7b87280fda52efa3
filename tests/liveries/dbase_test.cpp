#include "core/exceptions.hpp"
#include "dbase_support.hpp"
#include "fixtures/dbase_fixture.hpp"
#include "liveries/dbase.hpp"
#include "liveries/publishers.hpp"
#include "liveries/scramble.hpp"
#include "platform/platform.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

namespace rtd {
namespace {

using test::dbRow;
using test::requiredSections;
using ::testing::HasSubstr;
using ::testing::Not;

class DbaseTest : public ::testing::Test {
protected:
    void writeDbase(const std::string& text) const { installation.writeInput("dbase.xml", text); }
    void readWith(const std::string& extraSections)
    {
        writeDbase(requiredSections() + extraSections);
        readDbase();
    }

    test::InstallationFolder installation;
};

const std::string dbasePath = platform::pathToUtf8(std::filesystem::path("input") / "dbase.xml");

// The message of the exception that readDbase throws.
template <typename Exception>
std::string readDbaseFailure()
{
    try {
        readDbase();
    } catch (const Exception& e) {
        return e.what();
    }
    return "no exception";
}

TEST_F(DbaseTest, GeneratedDatabaseRoundTrips)
{
    std::map<std::string, DbaseRecord> written;
    fixtures::writeDbaseFile(installation.input("dbase.xml"), {.rows = 9000, .seed = 7},
                             [&](const std::string& registration, const DbaseRecord& record) {
                                 written.emplace(registration, record);
                             });
    ASSERT_TRUE(readDbase());

    EXPECT_EQ(modelDatabase().dbaseRecords.size(), written.size());
    for (const auto& [registration, record] : written)
        ASSERT_EQ(lookupRegcode(registration), record) << registration;
    EXPECT_TRUE(isKnownModel("B77W"));
    EXPECT_TRUE(isKnownAirline("DLH"));
    EXPECT_EQ(sizeCategory("A388"), Heavy);
    EXPECT_EQ(modelDatabase().similarTypeGroups.size(), 6u);
    EXPECT_THAT(installation.logText(), HasSubstr(fmt::format("9000 dbase records from \"{}\" read", dbasePath)));
}

TEST_F(DbaseTest, RegistrationRetriesInsertADash)
{
    readWith("<dbase>" + dbRow("G-ABCD", "KLM", "B738") + dbRow("D-AIBC", "DLH", "A320") +
             dbRow("HB-JCA", "", "GLF6", "", true) + dbRow("ABCD", "DLH", "A320") + "</dbase>");

    EXPECT_EQ(dbaseModelOf("GABCD"), "B738");   // tried as GABCD, GA-BCD, G-ABCD
    EXPECT_EQ(dbaseAirlineOf("HBJCA"), "");     // found as HB-JCA, without an airline
    EXPECT_TRUE(lookupRegcode("HBJCA")->cargo);
    EXPECT_TRUE(regcodeKnown("ABCD"));          // exact key only
    EXPECT_FALSE(regcodeKnown("GABC"));         // fewer than 5 characters: no retry
    EXPECT_FALSE(regcodeKnown("G-ABC"));        // has a dash: no retry
    EXPECT_FALSE(regcodeKnown(""));
    EXPECT_EQ(dbaseOperatorOf("unknown"), "");
}

TEST_F(DbaseTest, SizeCategoriesAndWingspans)
{
    readWith("<wingspans>"
             "<wingspan type=\"" + encryptModelType("B77W") + "\" meters=\"64.8\"/>"
             "<wingspan type=\"" + encryptModelType("B748") + "\" meters=\"68.4\"/>"
             "<wingspan type=\"" + encryptModelType("B77W") + "\" meters=\"80\"/>"
             "<wingspan type=\"" + encryptModelType("A320") + "\" meters=\"36\"/>"
             "<wingspan type=\"" + encryptModelType("GLF6") + "\" meters=\"-3\"/>"
             "<wingspan type=\"" + encryptModelType("EC35") + "\" meters=\"nan\"/>"
             "<wingspan type=\"" + encryptModelType("ZZZZ") + "\" meters=\"20\"/>"
             "</wingspans>");

    EXPECT_EQ(sizeCategory("A320"), Large);
    EXPECT_EQ(sizeCategory("B748"), Heavy);
    EXPECT_EQ(sizeCategory("GLF6"), Buzjets);
    EXPECT_EQ(sizeCategory("EC35"), Rotorcraft);
    EXPECT_EQ(sizeCategory("F16"), HighPerf);
    EXPECT_EQ(sizeCategory("C172"), Light);
    EXPECT_EQ(sizeCategory("ZZZZ"), Light);

    EXPECT_DOUBLE_EQ(wingspanOf("A320"), 36 * 0.5 / 1852);           // its own value
    EXPECT_DOUBLE_EQ(wingspanOf("B738"), 36 * 0.5 / 1852);           // large average
    EXPECT_DOUBLE_EQ(wingspanOf("B77W"), 64.8 * 0.5 / 1852);         // the first entry stays
    EXPECT_DOUBLE_EQ(wingspanOf("UNKN"), 0.0);                       // light lists none
    EXPECT_DOUBLE_EQ(wingspanOf("GLF6"), 0.0);                       // negative refused
    EXPECT_DOUBLE_EQ(wingspanOf("EC35"), 0.0);                       // not a number refused
    EXPECT_DOUBLE_EQ(maxHalfWingspanNm(), 80 * 0.5 / 1852);          // repeated entries still count
    const std::string log = installation.logText();
    EXPECT_THAT(log, HasSubstr("wingspan model ZZZZ is no valid model, skipped"));
    EXPECT_THAT(log, HasSubstr("wingspan \"-3\" of model GLF6 is no valid length, skipped"));
}

TEST_F(DbaseTest, HeavyAverageOfListedModels)
{
    readWith("<wingspans>"
             "<wingspan type=\"" + encryptModelType("B748") + "\" meters=\"68\"/>"
             "</wingspans>" +
             test::modelSection("similar_types", "similar", {"B748", "B77W"}));
    EXPECT_DOUBLE_EQ(wingspanOf("B77W"), 68 * 0.5 / 1852);
    EXPECT_EQ(modelDatabase().similarTypeGroups.front(), (std::vector<std::string>{"B748", "B77W"}));
}

TEST_F(DbaseTest, BadRowsAreLoggedAndSkipped)
{
    readWith("<dbase>" + dbRow("D-AAAA", "DLH", "A320") +
             "<db reg=\"" + encryptRegcode("D-BBBB") + "\" airl=\"ABCDE\"/>\n" + // odd length
             "<db airl=\"" + encryptAirline("DLH") + "\"/>\n" +                // no registration
             "<db reg=\"" + encryptRegcode("D-CCCC") + "\" airl=\"KLM\"/>\n" +  // plain airline
             dbRow("D-AAAA", "KLM", "B738") + dbRow("D-DDDD", "KLM", "B738") + "</dbase>");

    EXPECT_EQ(modelDatabase().dbaseRecords.size(), 3u);
    EXPECT_EQ(dbaseAirlineOf("D-AAAA"), "DLH"); // the first of a repeated registration stays
    EXPECT_EQ(dbaseAirlineOf("D-CCCC"), "KLM");
    EXPECT_FALSE(regcodeKnown("D-BBBB"));
    const std::string log = installation.logText();
    EXPECT_THAT(log, HasSubstr(fmt::format("dbase row 2 (reg \"{}\") skipped: decrypt airl \"ABCDE\" error",
                                           encryptRegcode("D-BBBB"))));
    EXPECT_THAT(log, HasSubstr("dbase row 3 (reg \"\") skipped: no registration"));
    EXPECT_THAT(log, HasSubstr("Unencrypted airline KLM in decrypt airl?"));
    EXPECT_THAT(log, HasSubstr("regcode D-AAAA already exists"));
}

TEST_F(DbaseTest, FailedReadKeepsEarlierTables)
{
    std::string rows;
    for (int i = 0; i < 5000; ++i)
        rows += dbRow(fixtures::registrationOf(static_cast<std::size_t>(i)), "DLH", "A320");
    const std::string whole = requiredSections() + "<dbase>" + rows + "</dbase>";
    writeDbase(whole);
    readDbase();
    readDbase(); // read again: replaced, not appended to
    ASSERT_EQ(modelDatabase().dbaseRecords.size(), 5000u);
    EXPECT_THAT(installation.logText(), Not(HasSubstr("already exists")));

    writeDbase(whole.substr(0, whole.size() * 2 / 3));
    EXPECT_THAT(readDbaseFailure<UserErrorException>(), HasSubstr(fmt::format("60: \"{}\" not read because of ", dbasePath)));
    EXPECT_EQ(modelDatabase().dbaseRecords.size(), 5000u);
    EXPECT_TRUE(regcodeKnown(fixtures::registrationOf(4999)));

    std::filesystem::remove(installation.input("dbase.xml"));
    EXPECT_EQ(readDbaseFailure<UserErrorException>(),
              fmt::format("60: \"{}\" not read because of File was not found", dbasePath));
    EXPECT_TRUE(isKnownModel("A320"));
}

TEST_F(DbaseTest, RowsInAnyMarkupAndMalformedRowsRefused)
{
    // Comments, CDATA and quoted '>' inside the section do not confuse the row groups.
    readWith("<dbase><!-- <db reg=\"X\"/> --><![CDATA[</dbase>]]>" + dbRow("D-EEEE", "DLH", "A320") +
             "<db reg=\"" + encryptRegcode("D-FFFF") + "\" note=\"a>b\" airl=\"\"/></dbase>" +
             "<trailer/>");
    EXPECT_EQ(modelDatabase().dbaseRecords.size(), 2u);
    EXPECT_TRUE(regcodeKnown("D-FFFF"));

    writeDbase(requiredSections() + "<dbase><db reg=\"A\"></dbx></dbase>");
    EXPECT_EQ(readDbaseFailure<UserErrorException>(),
              fmt::format("60: \"{}\" not read because of Start-end tags mismatch", dbasePath));
    EXPECT_TRUE(regcodeKnown("D-FFFF"));
}

TEST_F(DbaseTest, Utf16FileReadWhole)
{
    const std::string text = requiredSections() + "<dbase>" + dbRow("OE-LBA", "DLH", "A320") + "</dbase>";
    std::string utf16 = "\xFF\xFE";
    for (const char c : text)
        utf16 += std::string{c, '\0'};
    writeDbase(utf16);
    readDbase();
    EXPECT_EQ(dbaseModelOf("OELBA"), "A320");
}

TEST_F(DbaseTest, RequiredListsMustNotBeEmpty)
{
    writeDbase("<root>" + requiredSections() + "</root>");
    EXPECT_EQ(readDbaseFailure<UserErrorException>(), "61: In an xml file section aircrafts aircraft types is empty ");

    std::string sections = requiredSections();
    const std::string cargo = test::airlineSection("cargo_operators", {"FDX"});
    sections.replace(sections.find(cargo), cargo.size(), "<cargo_operators><ICAO codes=\"\"/></cargo_operators>");
    writeDbase(sections);
    EXPECT_EQ(readDbaseFailure<UserErrorException>(),
              "61: In an xml file section cargo_operators ICAO codes is empty ");

    sections.replace(sections.find("<cargo_operators>"), std::string("<cargo_operators><ICAO codes=\"\"/>").size(),
                     "<cargo_operators><ICAO codes=\"ABCDE,XY\"/>"); // no code that decodes
    writeDbase(sections);
    EXPECT_EQ(readDbaseFailure<UserErrorException>(),
              "61: In an xml file section cargo_operators ICAO codes is empty ");
}

TEST_F(DbaseTest, PublishersInOrderOfTheirNames)
{
    readWith("<publishers>"
             "<pub names=\"Zeta Works,airport\"/>"
             "<pub names=\"Alpha Scenery,alpha-,scn-[0-9]+\"/>"
             "<pub names=\"Alpha Scenery,alpha-,scn-[0-9]+\"/>"
             "<pub names=\"Beta,,x\"/>"
             "<pub names=\"\"/>"
             "</publishers>");
    const auto& publishers = modelDatabase().publishers;
    ASSERT_EQ(publishers.size(), 4u); // the repeated value dropped
    EXPECT_TRUE(publishers.front().empty());

    EXPECT_EQ(findPublisherByPatterns("Community/alpha-egll/scenery"), "Alpha Scenery");
    EXPECT_EQ(findPublisherByPatterns("SCN-42-eddf"), "Alpha Scenery"); // pattern, case-insensitive
    EXPECT_EQ(findPublisherByPatterns("D:\\Community\\x-SCN-42"), "Alpha Scenery"); // anywhere in the text
    EXPECT_EQ(findPublisherByPatterns("anything else"), "Beta");        // its empty name fits every path
}

TEST(MatchesPattern, PrefixCaseInsensitive)
{
    EXPECT_TRUE(matchesPattern("Foo-Airport", "foo"));
    EXPECT_FALSE(matchesPattern("Airport-Foo", "foo"));
    EXPECT_TRUE(matchesPattern("pp-abcd-egll", "pp-[a-z]{4}-"));
    EXPECT_FALSE(matchesPattern("pp-ab-egll", "pp-[a-z]{4}-"));
    EXPECT_TRUE(containsPattern("x/PP-abcd-egll", "pp-[a-z]{4}-"));
    EXPECT_TRUE(containsPattern("x/Microsoft-Airport-ksea", "microsoft-airport"));
    EXPECT_FALSE(containsPattern("x/pp-ab-egll", "pp-[a-z]{4}-"));
}

TEST(MatchesPattern, InvalidPatternLoggedEachTime)
{
    test::InstallationFolder installation;
    EXPECT_FALSE(matchesPattern("(text", "("));
    EXPECT_FALSE(matchesPattern("(text", "("));
    const std::string log = installation.logText();
    const auto first = log.find("EXCEPTION ");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find("EXCEPTION ", first + 1), std::string::npos);
}

TEST(AttributeConversions, NumbersAndFlags)
{
    pugi::xml_document document;
    document.load_string(R"(<e a="36.5m" b="x1" c="" t="True" y="yes" n="no" one="1" zero="0" s=" &#9;12.5"/>)");
    const pugi::xml_node e = document.first_child();
    EXPECT_DOUBLE_EQ(getAttributeDouble(e, "a"), 36.5);
    EXPECT_DOUBLE_EQ(getAttributeDouble(e, "s"), 12.5) << "leading blanks are skipped";
    EXPECT_DOUBLE_EQ(getAttributeDouble(e, "b"), 0.0);
    EXPECT_DOUBLE_EQ(getAttributeDouble(e, "missing"), 0.0);
    EXPECT_TRUE(getAttributeBool(e, "t") && getAttributeBool(e, "y") && getAttributeBool(e, "one"));
    EXPECT_FALSE(getAttributeBool(e, "n") || getAttributeBool(e, "zero") || getAttributeBool(e, "c") ||
                 getAttributeBool(e, "missing"));
    EXPECT_EQ(splitComma(" A320 , B738,\t,"), (std::vector<std::string>{"A320", "B738", ""}));
    EXPECT_TRUE(splitComma("").empty());
}

} // namespace
} // namespace rtd
