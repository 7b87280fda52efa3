#pragma once
// Helpers of the model database tests: a temporary installation folder with the log open,
// and dbase.xml texts built from plain codes.

#include "core/log.hpp"
#include "support/temp_folder.hpp"

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace rtd::test {

// A fresh current folder with "input" and an open log; closes the log at the end.
class InstallationFolder {
public:
    InstallationFolder();
    ~InstallationFolder();

    std::filesystem::path input(std::string_view name) const;
    void writeInput(std::string_view name, const std::string& text) const;
    // The log so far (closes and reopens it).
    std::string logText() const;

private:
    TempFolder folder_;
    ScopedCurrentFolder current_{folder_.path()};
};

// <section><element attribute="scrambled codes"/></section>, codes scrambled as models.
std::string modelSection(std::string_view section, std::string_view element, std::initializer_list<std::string_view> models);
// <section><ICAO codes="scrambled codes"/></section>.
std::string airlineSection(std::string_view section, std::initializer_list<std::string_view> airlines);

// Every required list: models A320 B738 (large), B77W B748 (heavy), GLF6 (buzjet), EC35
// (rotorcraft), F16 (high performance), C172 (light); airlines DLH KLM FDX.
std::string requiredSections();

// One "db" row with the codes scrambled; empty codes are written empty.
std::string dbRow(std::string_view registration, std::string_view airline, std::string_view model,
                  std::string_view operatorCode = "", bool cargo = false);

} // namespace rtd::test
