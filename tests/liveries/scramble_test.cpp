#include "dbase_support.hpp"
#include "core/time.hpp"
#include "liveries/scramble.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdexcept>

namespace rtd {
namespace {

using ::testing::HasSubstr;

TEST(Scramble, CodesRoundTripAndLookScrambled)
{
    for (const std::string model : {"A320", "B77W", "F16", "R44", "H25B", "A3", "C-27J", "ZZZZZZ", "x!"}) {
        EXPECT_EQ(decryptModelType(encryptModelType(model)), model);
        EXPECT_EQ(encryptModelType(model).size(), model.size());
    }
    EXPECT_NE(encryptModelType("B738"), "B738");
    for (const std::string airline : {"DLH", "KLM", "9V-", "ABC"}) {
        EXPECT_EQ(encryptAirline(airline).size(), 6u);
        EXPECT_EQ(decryptAirline(encryptAirline(airline)), airline);
    }
    for (const std::string registration : {"D-AIBC", "N123AB", "9V-SKA", "G-ABCD", "NOV142023", "JA8/1"}) {
        EXPECT_EQ(decryptRegcode(encryptRegcode(registration)), registration);
        EXPECT_NE(encryptRegcode(registration), registration);
    }
    // The same character is scrambled differently at different positions.
    EXPECT_NE(encryptRegcode("AAAA").substr(0, 1), encryptRegcode("AAAA").substr(1, 1));
}

TEST(Scramble, EmptyInEmptyOut)
{
    EXPECT_EQ(decryptModelType(""), "");
    EXPECT_EQ(decryptAirline(""), "");
    EXPECT_EQ(decryptRegcode(""), "");
    EXPECT_EQ(encryptRegcode(""), "");
    EXPECT_EQ(encryptAirline(""), "");
}

TEST(Scramble, AirlineLengthRules)
{
    test::InstallationFolder installation;
    EXPECT_EQ(decryptAirline("KLM"), "KLM");
    EXPECT_THAT(installation.logText(), HasSubstr("===> Unencrypted airline KLM in decrypt airl?"));
    try {
        decryptAirline("ABCDE");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "decrypt airl \"ABCDE\" error");
    }
    EXPECT_THROW(encryptAirline("DL"), std::invalid_argument);
}

TEST(Scramble, RegistrationEncryptionRules)
{
    test::InstallationFolder installation;
    try {
        encryptRegcode("D-Aibc");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "regcode encrypt error");
    }
    encryptRegcode("X");
    encryptRegcode(std::string(25, 'Q'));
    const std::string log = installation.logText();
    EXPECT_THAT(log, HasSubstr("lower case in regcode encryp D-Aibc"));
    EXPECT_THAT(log, HasSubstr("===> X\n"));
    EXPECT_THAT(log, HasSubstr("===> " + std::string(25, 'Q') + "\n"));
}

TEST(Scramble, ScramblesTheDailyStamp)
{
    setWallClock([]() -> std::int64_t { return 1699963200; }); // 14 Nov 2023 12:00 UTC
    setStampScrambler(&encryptRegcode);
    EXPECT_EQ(todayStamp(), encryptRegcode("NOV142023"));
    setStampScrambler(nullptr);
    setWallClock(nullptr);
}

} // namespace
} // namespace rtd
