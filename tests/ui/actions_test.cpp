#include "window_fixture.hpp"


#include <filesystem>

namespace rtd::test {
namespace {

using ActionsTest = WindowTest;

TEST_F(ActionsTest, IntegerEditTakesLeadingDigitsClampsAndSaves)
{
    enter(LATERAL_RANGE, L"12x");
    EXPECT_EQ(LATERAL_RANGE.value(), 12);
    EXPECT_EQ(status(), "The new LATERAL_RANGE is 12");
    EXPECT_EQ(box(LATERAL_RANGE), "12");
    EXPECT_EQ(stored("LATERAL_RANGE"), "12");
    EXPECT_EQ(lateralRangeMetres.load(), 12 * 1852);
    EXPECT_TRUE(parkParamsChanged);

    enter(LATERAL_RANGE, L"x12");
    EXPECT_EQ(status(), "invalid input: x12");
    EXPECT_EQ(box(LATERAL_RANGE), "12");
    EXPECT_NE(log().find("invalid input: x12\n"), std::string::npos);

    enter(LATERAL_RANGE, L"500");
    EXPECT_EQ(LATERAL_RANGE.value(), 100);
    EXPECT_EQ(status(), "The new LATERAL_RANGE is 100");
    EXPECT_EQ(box(LATERAL_RANGE), "100");
    EXPECT_EQ(stored("LATERAL_RANGE"), "100");

    enter(LATERAL_RANGE, L"100");
    EXPECT_EQ(status(), "Same LATERAL_RANGE value 100, no changes made");

    enter(LATERAL_RANGE, L"");
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    EXPECT_EQ(stored("LATERAL_RANGE"), "40");
}

TEST_F(ActionsTest, EmptyBoxesGiveTheirOwnValues)
{
    enter(MAX_LIVE, L"100");
    EXPECT_EQ(liveLimit.load(), 100);
    enter(MAX_LIVE, L"");
    EXPECT_EQ(MAX_LIVE.value(), 300);
    EXPECT_EQ(box(MAX_LIVE), "") << "an empty box stands for the default";
    enter(MAX_LIVE, L"300");
    EXPECT_EQ(box(MAX_LIVE), "");

    enter(parking_percentage, L"");
    EXPECT_EQ(parking_percentage.value(), 0);
    EXPECT_EQ(stored("parking_percentage"), "(none)") << "kept in the airport files";
}

TEST_F(ActionsTest, RaisedMatchingDepthRequestsARematch)
{
    enter(MATCHING_DEPTH, L"2");
    EXPECT_FALSE(matchingChangedRequest);
    enter(MATCHING_DEPTH, L"3");
    EXPECT_TRUE(matchingChangedRequest);
}

TEST_F(ActionsTest, MaxFitSnapsToHalfHours)
{
    enter(MAX_FIT_FL, L"3.3");
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 24.0f) << "no park airport: nothing changes";

    services.parkActive = true;
    enter(MAX_FIT_FL, L"3.3");
    EXPECT_EQ(MAX_FIT.value(), 6);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 3.5f);
    EXPECT_EQ(box(MAX_FIT_FL), "3.5");
    EXPECT_EQ(stored("MAX_FIT"), "6");
    EXPECT_TRUE(staticRecalcRequest);

    enter(MAX_FIT_FL, L"0.1");
    EXPECT_EQ(MAX_FIT.value(), 0);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 0.5f);
    EXPECT_EQ(box(MAX_FIT_FL), "0.5");

    enter(MAX_FIT_FL, L"");
    EXPECT_EQ(MAX_FIT.value(), 47);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 24.0f);
    EXPECT_EQ(box(MAX_FIT_FL), "24");
}

TEST_F(ActionsTest, BlockAndUnblockCallsigns)
{
    click(unblockButton);
    EXPECT_EQ(status(), "") << "the button is disabled until a callsign is blocked";
    host.enable(unblockButton.controlId(), true);
    click(unblockButton);
    EXPECT_EQ(status(), "Nothing to block or unblock...");

    enter(BLOCK_CALLSIGN, L"abc");
    EXPECT_EQ(status(), "callsign \"abc\" is not valid");
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "");

    enter(BLOCK_CALLSIGN, L"ryr123");
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "RYR123");
    EXPECT_EQ(box(BLOCK_CALLSIGN), "RYR123");
    EXPECT_EQ(stored("BLOCK_CALLSIGN"), "RYR123");
    EXPECT_EQ(status(), "live aircraft with callsign \"RYR123\" will be blocked");
    EXPECT_TRUE(blockCallsignRequest.exchange(false));
    EXPECT_TRUE(host.control(unblockButton.controlId()).enabled);

    enter(BLOCK_CALLSIGN, L"RYR123");
    EXPECT_EQ(status(), "This callsign (RYR123) was already set ...");

    click(unblockButton);
    EXPECT_EQ(status(), "no more blocking of live aircraft \"RYR123\"");
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "");
    EXPECT_EQ(stored("BLOCK_CALLSIGN"), "");
    EXPECT_FALSE(host.control(unblockButton.controlId()).enabled);
    EXPECT_TRUE(blockCallsignRequest);

    enter(CALLSIGN_2_OBJECTID, L"klm12");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "KLM12");
    EXPECT_TRUE(followCallsignRequest);
    EXPECT_EQ(stored("CALLSIGN_2_OBJECTID"), "(none)");
}

TEST_F(ActionsTest, CheckBoxClicksSaveAndAdvise)
{
    ASSERT_TRUE(SCAN_AIRPORTS.value());
    click(SCAN_AIRPORTS);
    EXPECT_FALSE(host.isChecked(SCAN_AIRPORTS.controlId()));
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(stored("SCAN_AIRPORTS"), "false");
    EXPECT_EQ(status(), "");
    click(SCAN_AIRPORTS);
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_EQ(stored("SCAN_AIRPORTS"), "true");
    EXPECT_EQ(status(), "Your airports will be scanned at the next start of Ramptide, recommended after you "
                        "have add/removed airports");

    click(ALWAYS_ON_TOP);
    EXPECT_TRUE(host.topMost());
    EXPECT_EQ(status(), "Ramptide's window will remain visible");

    click(COLLISION_USER_AIR);
    EXPECT_EQ(status(), "Be aware, no collision avoidance with user aircraft in the air");
    click(NAV_LIGHTS_WHILE_PARKED);
    EXPECT_EQ(services.navLights, std::vector<bool>{false});
    click(LOG);
    EXPECT_EQ(stored("LOG"), LOG.value() ? "true" : "false");
}

TEST_F(ActionsTest, ParkingChangesAnnounceTheNextRecalculation)
{
    click(WEEK);
    EXPECT_FALSE(staticRecalcRequest) << "no park airport";
    services.parkActive = true;
    services.ticks = 14;
    click(WEEK);
    EXPECT_EQ(status(), "Ramptide will respond in 1 second ...");
    EXPECT_TRUE(staticRecalcRequest);
    services.ticks = 15;
    click(PARK_SOFT);
    EXPECT_EQ(status(), "Ramptide will respond in 15 seconds ...");
    EXPECT_EQ(log().find("will respond"), std::string::npos);
}

TEST_F(ActionsTest, ButtonsRequestAndDisableThemselves)
{
    for (const GuiButton* b : {&reReadButton, &flushStaticButton, &checkVersionButton})
        host.enable(b->controlId(), true);
    click(reReadButton);
    EXPECT_TRUE(reReadRequested);
    click(flushStaticButton);
    EXPECT_TRUE(flushStaticRequest);
    EXPECT_EQ(status(), "All static parked aircraft will be removed ...");
    click(checkVersionButton);
    EXPECT_TRUE(pumpUntilStatus("Ramptide is up to date"));
    for (const GuiButton* b : {&reReadButton, &flushStaticButton, &checkVersionButton})
        EXPECT_FALSE(host.control(b->controlId()).enabled) << b->name;
    EXPECT_TRUE(window.onCommand(1234)) << "not one of the window's controls";
}

// The update server may take a minute to answer, or never: the window goes on meanwhile.
TEST_F(ActionsTest, CheckVersionFetchesBesideTheWindow)
{
    services.versionAnswered = false;
    DATA_CHECKED_AT_DATE.set("stamp");
    host.enable(checkVersionButton.controlId(), true);
    click(checkVersionButton);
    EXPECT_FALSE(host.control(checkVersionButton.controlId()).enabled);
    const bool before = ALWAYS_ON_TOP.value();
    click(ALWAYS_ON_TOP); // handled while the fetch still waits for its server
    EXPECT_NE(ALWAYS_ON_TOP.value(), before);
    EXPECT_NE(host.topMost(), before);
    services.answerVersionCheck("==> New version for: dbase.xml");
    EXPECT_TRUE(pumpUntilStatus("==> New version for: dbase.xml  ( exit Ramptide and restart )"));
    EXPECT_EQ(stored("DATA_CHECKED_AT_DATE"), "");
}

TEST_F(ActionsTest, AutomaticRangeFollowsTheUserAircraft)
{
    services.nearest = LatLon{52.0, 4.0};
    services.user = LatLon{52.0 + 12.4 / 60.0, 4.0}; // 12.4 nm north
    window.showRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 8) << "on the ground";
    services.onGround = false;
    window.showRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 15);
    EXPECT_EQ(lateralRangeMetres.load(), 15 * 1852);
    pump();
    EXPECT_EQ(box(LATERAL_RANGE), "15");
    services.altitudeFt = 30000;
    window.showRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    services.altitudeFt = 0;
    services.nearest.reset();
    window.showRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
}

TEST_F(ActionsTest, AutoRangeOffAfterANormalStartRestoresTheStoredRange)
{
    LATERAL_RANGE.set(25);
    saveIntParameter(LATERAL_RANGE);
    ASSERT_TRUE(AUTO_RANGE.value());
    window.showRange(); // the run phase with the automatic range on
    EXPECT_EQ(LATERAL_RANGE.value(), 8);

    click(AUTO_RANGE);
    EXPECT_EQ(LATERAL_RANGE.value(), 25);
    EXPECT_EQ(lateralRangeNm.load(), 25.0);
    EXPECT_EQ(box(LATERAL_RANGE), "25");
    EXPECT_TRUE(host.control(LATERAL_RANGE.controlId()).enabled);

    enter(LATERAL_RANGE, L"30");
    rtd::setStatus("The new LATERAL_RANGE is 30", false);
    click(AUTO_RANGE);
    EXPECT_EQ(status(), "The new LATERAL_RANGE is 30") << "switching on leaves the status line alone";
    EXPECT_FALSE(host.control(LATERAL_RANGE.controlId()).enabled);
    EXPECT_EQ(LATERAL_RANGE.value(), 8);
    click(AUTO_RANGE);
    EXPECT_EQ(LATERAL_RANGE.value(), 30);
}

TEST_F(ActionsTest, CommunityPathNamesCommunityOrItsParent)
{
    std::filesystem::create_directories(folder / "sim" / "Community");
    const std::wstring missing = (folder / "nowhere").wstring();
    enter(MSFS_INSTALL_PATH, missing);
    EXPECT_EQ(status(), "This install path does not exist: " + (folder / "nowhere").string());

    enter(MSFS_INSTALL_PATH, folder.path().wstring());
    EXPECT_EQ(status(), "This path exists but is not a path to Community ...");
    EXPECT_TRUE(services.exits.empty());

    enter(MSFS_INSTALL_PATH, (folder / "sim" / "Community").wstring());
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), (folder / "sim").string());
    EXPECT_EQ(status(), "Community path found, Ramptide will restart ...");
    EXPECT_EQ(services.exits, std::vector<std::string>{"RESTART_IPP/3"});

    showError("start-up error");
    enter(MSFS_INSTALL_PATH, (folder / "sim").wstring());
    EXPECT_EQ(mainWindowGlobals.statusLine().errorText, "") << "a new path takes the error away";
    EXPECT_EQ(stored("MSFS_INSTALL_PATH"), (folder / "sim").string());
}

} // namespace
} // namespace rtd::test
