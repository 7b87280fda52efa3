#pragma once
// Helpers of the aircraft.cfg reader tests: a model database and fixes to read against,
// aircraft.cfg files written into the temporary installation folder, the scan tasks run as
// the scan driver runs them, and their records and issue lines as comparable texts.

#include "dbase_support.hpp"
#include "liveries/aircraft_cfg.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace rtd::test {

// Models A320 B738 A20N (large), B77W B748 (heavy), GLF6 (buzjet), EC35 (rotorcraft), F16
// (high performance), C172 (light); airlines DLH KLM FDX BAW EZY ZZZ PVT; the model fix
// 737 -> B738; private code NOA, government code GOV. The scan tables are empty at the
// start and at the end.
class CfgWorld {
public:
    CfgWorld();
    ~CfgWorld();
    CfgWorld(const CfgWorld&) = delete;
    CfgWorld& operator=(const CfgWorld&) = delete;

    // Writes the bytes to the '/' separated path below the installation folder.
    std::filesystem::path write(const std::string& relative, const std::string& bytes) const;
    std::filesystem::path path(const std::string& relative) const;

    // The task of the file, started the way the scan driver starts it (worker slot taken).
    static LiveryList scanGeneral(const std::filesystem::path& file);
    static LiveryList scanIvao(const std::filesystem::path& file);

    // The line with {file}, {folder} and {texture} replaced by the texts of the file's path,
    // its folder and its folder's "texture." path.
    static std::string expand(const std::string& line, const std::filesystem::path& file);
    static std::vector<std::string> expand(const std::vector<std::string>& lines, const std::filesystem::path& file);

    std::string logText() const { return installation_.logText(); }

private:
    InstallationFolder installation_;
    std::filesystem::path root_;
};

// "airline|model|regcode|cargo|title" per record, with cargo as 0 or 1.
std::vector<std::string> recordTexts(const LiveryList& records);

// Every scan table's lines, each prefixed by the table's short name ("fix: ", "invalid cfg: ",
// "incomplete: ", "airline: ", "model: ", "empty: "), in table order.
std::vector<std::string> issueTexts();

} // namespace rtd::test
