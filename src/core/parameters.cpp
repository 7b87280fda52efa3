#include "core/parameters.hpp"

#include <limits>

namespace rtd {

StringParameter::StringParameter(std::string key, std::string defaultValue)
    : Parameter(std::move(key)), default_(std::move(defaultValue)), current_(default_)
{
}

std::string StringParameter::value() const
{
    std::lock_guard lock(mutex_);
    return current_;
}

void StringParameter::set(std::string value)
{
    std::lock_guard lock(mutex_);
    current_ = std::move(value);
}

// Check boxes: key, default, control id, row y.
GuiBoolParameter ALWAYS_ON_TOP{"ALWAYS_ON_TOP", false, 32771, 147};
GuiBoolParameter LOG{"LOG", true, 32779, 147};
GuiBoolParameter SCAN_LIVERIES{"SCAN_LIVERIES", true, 32797, 147};
GuiBoolParameter LIG_AUTOMATIC{"LIG_AUTOMATIC", true, 32798, 147};
GuiBoolParameter LIG_PRIORITIZE{"LIG_PRIORITIZE", false, 32799, 147};
GuiBoolParameter SUPPRESS_STUB{"SUPPRESS_STUB", true, 32800, 147};
GuiBoolParameter LEARN_SOFT{"LEARN_SOFT", true, 32777, 175};
GuiBoolParameter NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", true, 32778, 175};
GuiBoolParameter SCAN_AIRPORTS{"SCAN_AIRPORTS", true, 32802, 175};
GuiBoolParameter AFG_AUTOMATIC{"AFG_AUTOMATIC", true, 32803, 175};
GuiBoolParameter GUID_CHANGES{"GUID_CHANGES", true, 32773, 203};
GuiBoolParameter AEROWINX{"AEROWINX", false, 32775, 203};
GuiBoolParameter LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", true, 32809, 203};
GuiBoolParameter HELICOPTERS{"HELICOPTERS", true, 32810, 203};
GuiBoolParameter HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", true, 32811, 203};
GuiBoolParameter AUTO_RANGE{"AUTO_RANGE", true, 32819, 231};
GuiBoolParameter COLLISION_USER_AIR{"COLLISION_USER_AIR", true, 32833, 287};
GuiBoolParameter COLLISION_USER_GND{"COLLISION_USER_GND", true, 32834, 287};
GuiBoolParameter COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", true, 32835, 287};
GuiBoolParameter INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", false, 32849, 343};
GuiBoolParameter PARK_SOFT{"PARK_SOFT", true, 32850, 343};
GuiBoolParameter WEEK{"WEEK", false, 32852, 343};
GuiBoolParameter PARK_FAKE{"PARK_FAKE", false, 32856, 343};

// Edit boxes (key, default[, minimum, maximum], control id, row y) and buttons (caption,
// control id, row y).
GuiStringParameter MSFS_INSTALL_PATH{"MSFS_INSTALL_PATH", "", 32788, 119};
GuiIntParameter MATCHING_DEPTH{"MATCHING_DEPTH", 4, 1, 4, 32808, 203};
GuiButton checkVersionButton{"Check version", 32780, 229};
GuiIntParameter LATERAL_RANGE{"LATERAL_RANGE", 40, 2, 100, 32818, 231};
GuiIntParameter MAX_LIVE{"MAX_LIVE", 300, 6, 300, 32820, 231};
GuiButton unblockButton{"Unblock", 32829, 257};
GuiStringParameter CALLSIGN_2_OBJECTID{"CALLSIGN_2_OBJECTID", "", 32774, 259};
GuiStringParameter BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828, 259};
GuiIntParameter AIRPORT_RANGE{"AIRPORT_RANGE", 20, 8, 30, 32839, 315};
GuiIntParameter AIRPORT_HEIGHT{"AIRPORT_HEIGHT", 22000, 2000, 45000, 32840, 315};
GuiButton reReadButton{"Re-read", 32838, 341};
GuiButton flushStaticButton{"Flush static", 32855, 341};
GuiIntParameter parking_percentage{"parking_percentage", 30, 0, 100, 32848, 343};
GuiIntParameter MAX_FIT{"MAX_FIT", 47, 0, 47, 32851, 343};
GuiFloatParameter MAX_FIT_FL{"MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 32853, 343};

// Settings without a control.
StringParameter PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringParameter PROGRAM_INSTALL_PATH{"PROGRAM_INSTALL_PATH", ""};
StringParameter ARCHIVE_VERSION{"ARCHIVE_VERSION", ""};
StringParameter DBASE_VERSION{"DBASE_VERSION", ""};
StringParameter AIG_VERSION{"AIG_VERSION", ""};
StringParameter DATA_CHECKED_AT_DATE{"DATA_CHECKED_AT_DATE", ""};
StringParameter PORT_NUMBER{"PORT_NUMBER", "10747"};
StringParameter lfolder0{"lfolder0", ""}, lfolder1{"lfolder1", ""}, lfolder2{"lfolder2", ""};
StringParameter lfolder3{"lfolder3", ""}, lfolder4{"lfolder4", ""}, lfolder5{"lfolder5", ""};
StringParameter lfolder6{"lfolder6", ""}, lfolder7{"lfolder7", ""}, lfolder8{"lfolder8", ""};
StringParameter lfolder9{"lfolder9", ""};
StringParameter afolder0{"afolder0", ""}, afolder1{"afolder1", ""}, afolder2{"afolder2", ""};
StringParameter afolder3{"afolder3", ""}, afolder4{"afolder4", ""}, afolder5{"afolder5", ""};
StringParameter afolder6{"afolder6", ""}, afolder7{"afolder7", ""}, afolder8{"afolder8", ""};
StringParameter afolder9{"afolder9", ""};
BoolParameter RANDOM{"RANDOM", true};
IntParameter CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
IntParameter LAST_EPOCH_TIME{"LAST_EPOCH_TIME", 0, 0, std::numeric_limits<std::int32_t>::max()};
IntParameter MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
IntParameter MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};

constinit std::atomic<double> lateralRangeNm{40.0};
constinit std::atomic<std::int32_t> lateralRangeMetres{40 * 1852};

} // namespace rtd
