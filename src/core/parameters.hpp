#pragma once
// The program's settings. Every setting is one global object, named by its key, that holds
// the key, the default, the bounds and the current value; a setting shown in the main
// window also holds its control id and row. The objects live for the whole process.
//
// Current values are read by every thread while the window or the start-up worker writes
// them: numbers and flags are atomics, strings are guarded and handed out as copies.
// Reading and saving parameters.xml: core/settings_file.hpp.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace rtd {

class Parameter {
public:
    explicit Parameter(std::string key) : name(std::move(key)) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    // The key in parameters.xml; a button's caption.
    const std::string name;
};

class StringParameter : public Parameter {
public:
    StringParameter(std::string key, std::string defaultValue);

    const std::string& defaultValue() const { return default_; }
    std::string value() const;
    void set(std::string value);

private:
    const std::string default_;
    mutable std::mutex mutex_;
    std::string current_;
};

// A number kept inside [minimum, maximum]: set() clamps.
template <typename T>
class NumericParameter : public Parameter {
public:
    NumericParameter(std::string key, T defaultValue, T minimum, T maximum)
        : Parameter(std::move(key)), default_(defaultValue), minimum_(minimum), maximum_(maximum),
          current_(defaultValue)
    {
    }

    T defaultValue() const { return default_; }
    T minimum() const { return minimum_; }
    T maximum() const { return maximum_; }
    T clamp(T value) const { return value < minimum_ ? minimum_ : (value > maximum_ ? maximum_ : value); }

    T value() const { return current_.load(std::memory_order_relaxed); }
    void set(T value) { current_.store(clamp(value), std::memory_order_relaxed); }
    // For a value that a file may carry beyond the window's range.
    void setUnclamped(T value) { current_.store(value, std::memory_order_relaxed); }

private:
    const T default_;
    const T minimum_;
    const T maximum_;
    std::atomic<T> current_;
};

using IntParameter = NumericParameter<std::int32_t>;
using FloatParameter = NumericParameter<float>;

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string key, bool defaultValue)
        : Parameter(std::move(key)), default_(defaultValue), current_(defaultValue)
    {
    }

    bool defaultValue() const { return default_; }
    bool value() const { return current_.load(std::memory_order_relaxed); }
    void set(bool value) { current_.store(value, std::memory_order_relaxed); }

private:
    const bool default_;
    std::atomic<bool> current_;
};

// The window side of a setting: the control's id (also its child-window id) and its row,
// in pixels from the top of the main window's client area. The window layer finds the
// control itself by its id.
class GuiControl {
public:
    GuiControl(std::uint16_t controlId, std::int32_t rowY) : controlId_(controlId), rowY_(rowY) {}
    virtual ~GuiControl() = default;
    GuiControl(const GuiControl&) = delete;
    GuiControl& operator=(const GuiControl&) = delete;

    std::uint16_t controlId() const { return controlId_; }
    std::int32_t rowY() const { return rowY_; }

private:
    const std::uint16_t controlId_;
    const std::int32_t rowY_;
};

// An edit box.
class GuiStringParameter : public StringParameter, public GuiControl {
public:
    GuiStringParameter(std::string key, std::string defaultValue, std::uint16_t controlId, std::int32_t rowY)
        : StringParameter(std::move(key), std::move(defaultValue)), GuiControl(controlId, rowY)
    {
    }
};

// An edit box.
template <typename T>
class GuiNumericParameter : public NumericParameter<T>, public GuiControl {
public:
    GuiNumericParameter(std::string key, T defaultValue, T minimum, T maximum, std::uint16_t controlId,
                        std::int32_t rowY)
        : NumericParameter<T>(std::move(key), defaultValue, minimum, maximum), GuiControl(controlId, rowY)
    {
    }
};

using GuiIntParameter = GuiNumericParameter<std::int32_t>;
using GuiFloatParameter = GuiNumericParameter<float>;

// A check box.
class GuiBoolParameter : public BoolParameter, public GuiControl {
public:
    GuiBoolParameter(std::string key, bool defaultValue, std::uint16_t controlId, std::int32_t rowY)
        : BoolParameter(std::move(key), defaultValue), GuiControl(controlId, rowY)
    {
    }
};

// A push button; `name` is its caption.
class GuiButton : public Parameter, public GuiControl {
public:
    GuiButton(std::string caption, std::uint16_t controlId, std::int32_t rowY)
        : Parameter(std::move(caption)), GuiControl(controlId, rowY)
    {
    }
};

// Check boxes.
extern GuiBoolParameter ALWAYS_ON_TOP;
extern GuiBoolParameter LOG;
extern GuiBoolParameter SCAN_LIVERIES;
extern GuiBoolParameter LIG_AUTOMATIC;
extern GuiBoolParameter LIG_PRIORITIZE;
extern GuiBoolParameter SUPPRESS_STUB;
extern GuiBoolParameter LEARN_SOFT;
extern GuiBoolParameter NAV_LIGHTS_WHILE_PARKED;
extern GuiBoolParameter SCAN_AIRPORTS;
extern GuiBoolParameter AFG_AUTOMATIC;
extern GuiBoolParameter GUID_CHANGES;
extern GuiBoolParameter AEROWINX;
extern GuiBoolParameter LIGHT_AIRCRAFT;
extern GuiBoolParameter HELICOPTERS;
extern GuiBoolParameter HIGH_PERF_AIRCRAFT;
extern GuiBoolParameter AUTO_RANGE;
extern GuiBoolParameter COLLISION_USER_AIR;
extern GuiBoolParameter COLLISION_USER_GND;
extern GuiBoolParameter COLLISION_LIVE_PARKED_GND;
extern GuiBoolParameter INITIAL_LOAD_ONLY;
extern GuiBoolParameter PARK_SOFT;
extern GuiBoolParameter WEEK;
extern GuiBoolParameter PARK_FAKE;

// Edit boxes and buttons.
extern GuiStringParameter MSFS_INSTALL_PATH;
extern GuiIntParameter MATCHING_DEPTH;
extern GuiButton checkVersionButton;
extern GuiIntParameter LATERAL_RANGE;
extern GuiIntParameter MAX_LIVE;
extern GuiButton unblockButton;
extern GuiStringParameter CALLSIGN_2_OBJECTID; // never stored
extern GuiStringParameter BLOCK_CALLSIGN;
extern GuiIntParameter AIRPORT_RANGE;
extern GuiIntParameter AIRPORT_HEIGHT;
extern GuiButton reReadButton;
extern GuiButton flushStaticButton;
extern GuiIntParameter parking_percentage; // kept in the airport files, not in parameters.xml
extern GuiIntParameter MAX_FIT;
extern GuiFloatParameter MAX_FIT_FL; // never stored: MAX_FIT x 0.5 + 0.5 hours

// Settings without a control.
extern StringParameter PROGRAM_VERSION;
extern StringParameter PROGRAM_INSTALL_PATH;
extern StringParameter ARCHIVE_VERSION;
extern StringParameter DBASE_VERSION;
extern StringParameter AIG_VERSION;
extern StringParameter DATA_CHECKED_AT_DATE;
extern StringParameter PORT_NUMBER;
extern StringParameter lfolder0, lfolder1, lfolder2, lfolder3, lfolder4;
extern StringParameter lfolder5, lfolder6, lfolder7, lfolder8, lfolder9;
extern StringParameter afolder0, afolder1, afolder2, afolder3, afolder4;
extern StringParameter afolder5, afolder6, afolder7, afolder8, afolder9;
extern BoolParameter RANDOM;
extern IntParameter CUSTOM_PARKING_PERCENTAGE;
extern IntParameter LAST_EPOCH_TIME;
extern IntParameter MAIN_WINDOW_X;
extern IntParameter MAIN_WINDOW_Y;

// LATERAL_RANGE's current value in nautical miles and in metres (x 1852), kept in step
// with it by setLateralRange and the window.
extern std::atomic<double> lateralRangeNm;
extern std::atomic<std::int32_t> lateralRangeMetres;

} // namespace rtd
