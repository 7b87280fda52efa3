#include "core/parameters.hpp"
#include "core/version.hpp"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <thread>

namespace rtd {
namespace {

TEST(ParseVersion, FindsThreeDigitGroupsAnywhere)
{
    EXPECT_EQ(parseVersion("8.7.0"), (Version{8, 7, 0}));
    EXPECT_EQ(parseVersion("Ramptide 8.7.0 released"), (Version{8, 7, 0}));
    EXPECT_EQ(parseVersion("8-7-0"), (Version{8, 7, 0}));
    EXPECT_EQ(parseVersion("v12.0.345-beta"), (Version{12, 0, 345}));
}

TEST(ParseVersion, ReadsTheJsonForm)
{
    EXPECT_EQ(parseVersion(R"({"major": 10, "minor": 11, "patch": 3})"), (Version{10, 11, 3}));
    // A missing or non-numeric member stops the reading; earlier members stand.
    EXPECT_EQ(parseVersion(R"({"major": 10, "patch": 3})"), (Version{10, 0, 0}));
    EXPECT_EQ(parseVersion(R"({"major": 10, "minor": "x", "patch": 3})"), (Version{10, 0, 0}));
    EXPECT_EQ(parseVersion(R"({"major": 1e12, "minor": 1, "patch": 3})"), (Version{}));
}

TEST(ParseVersion, GivesZeroWhenNothingFits)
{
    EXPECT_EQ(parseVersion(""), Version{});
    EXPECT_EQ(parseVersion("no version here 8.7"), Version{});
    EXPECT_EQ(parseVersion("[1, 2, 3]"), Version{});
    // The first group does not fit an int.
    EXPECT_EQ(parseVersion("12345678901.2.3"), Version{});
    EXPECT_EQ(parseVersion("1.2.12345678901"), (Version{1, 2, 0}));
}

TEST(ParseVersion, RoundTripsTheProgramVersion)
{
    EXPECT_EQ(parseVersion(versionToString(programVersion)), programVersion);
    EXPECT_TRUE(isNewer(Version{8, 7, 1}, programVersion));
    EXPECT_FALSE(isNewer(Version{8, 6, 99}, programVersion));
}

TEST(NumericParameter, KeepsItsValueInRange)
{
    IntParameter setting("TEST_RANGE", 5, -3, 10);
    EXPECT_EQ(setting.value(), 5);
    setting.set(11);
    EXPECT_EQ(setting.value(), 10);
    setting.set(-4);
    EXPECT_EQ(setting.value(), -3);
    setting.set(7);
    EXPECT_EQ(setting.value(), 7);
    EXPECT_EQ(setting.defaultValue(), 5);

    FloatParameter hours("TEST_HOURS", 24.0f, 0.5f, 24.0f);
    hours.set(0.0f);
    EXPECT_EQ(hours.value(), 0.5f);
}

TEST(SettingTable, DefaultsRangesAndControls)
{
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    EXPECT_EQ(lateralRangeNm.load(), 40.0);
    EXPECT_EQ(lateralRangeMetres.load(), 74080);
    EXPECT_EQ(MAX_LIVE.minimum(), 6);
    EXPECT_EQ(MAX_LIVE.maximum(), 300);
    EXPECT_EQ(LAST_EPOCH_TIME.maximum(), 2147483647);
    EXPECT_EQ(PORT_NUMBER.value(), "10747");
    EXPECT_EQ(MAX_FIT_FL.defaultValue(), 24.0f);
    EXPECT_EQ(MAIN_WINDOW_X.minimum(), -30000);
    EXPECT_EQ(MSFS_INSTALL_PATH.controlId(), 32788);
    EXPECT_EQ(MSFS_INSTALL_PATH.rowY(), 119);
    EXPECT_EQ(flushStaticButton.name, "Flush static");
    EXPECT_EQ(parking_percentage.name, "parking_percentage");

    // The window finds a setting by its control id, so no two controls share one.
    const GuiControl* controls[] = {
        &ALWAYS_ON_TOP, &LOG, &SCAN_LIVERIES, &LIG_AUTOMATIC, &LIG_PRIORITIZE, &SUPPRESS_STUB, &LEARN_SOFT,
        &NAV_LIGHTS_WHILE_PARKED, &SCAN_AIRPORTS, &AFG_AUTOMATIC, &GUID_CHANGES, &AEROWINX, &LIGHT_AIRCRAFT,
        &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &AUTO_RANGE, &COLLISION_USER_AIR, &COLLISION_USER_GND,
        &COLLISION_LIVE_PARKED_GND, &INITIAL_LOAD_ONLY, &PARK_SOFT, &WEEK, &PARK_FAKE, &MSFS_INSTALL_PATH,
        &MATCHING_DEPTH, &checkVersionButton, &LATERAL_RANGE, &MAX_LIVE, &unblockButton, &CALLSIGN_2_OBJECTID,
        &BLOCK_CALLSIGN, &AIRPORT_RANGE, &AIRPORT_HEIGHT, &reReadButton, &flushStaticButton, &parking_percentage,
        &MAX_FIT, &MAX_FIT_FL};
    std::set<std::uint16_t> ids;
    for (const GuiControl* control : controls)
        EXPECT_TRUE(ids.insert(control->controlId()).second) << control->controlId();
    EXPECT_EQ(ids.size(), 38u);
}

TEST(SettingClasses, DestroyedThroughEitherBase)
{
    // Under the sanitizer build a missing virtual destructor shows up here.
    std::unique_ptr<Parameter> asSetting = std::make_unique<GuiStringParameter>("TEST_EDIT", "x", 1, 2);
    std::unique_ptr<GuiControl> asControl = std::make_unique<GuiIntParameter>("TEST_EDIT", 1, 0, 2, 3, 4);
    EXPECT_EQ(asSetting->name, "TEST_EDIT");
    EXPECT_EQ(asControl->controlId(), 3);
}

TEST(StringParameter, ReadWhileAnotherThreadWrites)
{
    StringParameter setting("TEST_TEXT", "");
    const std::string a(100, 'a');
    const std::string b(200, 'b');
    std::jthread writer([&] {
        for (int i = 0; i < 2000; ++i)
            setting.set(i % 2 ? a : b);
    });
    for (int i = 0; i < 2000; ++i) {
        const std::string seen = setting.value();
        EXPECT_TRUE(seen.empty() || seen == a || seen == b);
    }
}

} // namespace
} // namespace rtd
