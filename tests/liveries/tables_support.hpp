#pragma once
// Helpers of the livery-table tests: an installation folder with a model database that
// lists similar groups, empty tables, a window that records what the tables do to it, and
// scan-list records.

#include "core/display.hpp"
#include "dbase_support.hpp"
#include "liveries/aircraft_cfg.hpp"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rtd::test {

class RecordingDisplay : public WindowDisplay {
public:
    void invalidate(const Rect& rect) override { invalidated.push_back(rect); }
    void enableControl(std::uint16_t id, bool enabled) override { enabledControls.emplace_back(id, enabled); }

    std::vector<Rect> invalidated;
    std::vector<std::pair<std::uint16_t, bool>> enabledControls;
};

// Similar groups P001,Q001,R001 and S001,T001 on top of requiredSections().
class LiveryTablesTest : public ::testing::Test {
protected:
    LiveryTablesTest();
    ~LiveryTablesTest() override;

    // Sorts the records as the scan does and builds the tables from them.
    void process(LiveryList records);
    std::string log() const { return installation.logText(); }
    bool logHas(std::string_view line) const;
    std::filesystem::path installed(std::string_view relative) const;

    InstallationFolder installation;
    RecordingDisplay display;
};

LiveryData livery(std::string airline, std::string model, std::string title, std::string regcode = "",
                  bool cargo = false);

// <similar_types> with one <similar> per group, codes scrambled.
std::string similarSection(std::initializer_list<std::initializer_list<std::string_view>> groups);

} // namespace rtd::test
