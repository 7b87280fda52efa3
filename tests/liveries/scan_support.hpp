#pragma once
// Helpers of the livery scan tests: an installation folder with a generated model database
// and fixes, output/info in place, the scan run with a chosen number of workers, and the
// scan's result files as texts.

#include "cfg_support.hpp"
#include "support/temp_folder.hpp"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace rtd::test {

class ScanWorld : public CfgWorld {
public:
    ScanWorld();
    ~ScanWorld();

    // The generated package below the '/' separated folder; its path text.
    std::string writePackage(const std::string& relative) const;
    // A one-section aircraft.cfg at `relative`/aircraft.cfg.
    std::string writeCfg(const std::string& relative, const std::string& title, const std::string& airline,
                         const std::string& model = "B738", const std::string& regcode = "") const;

private:
    ScopedEnv appData_;
};

// Runs a scan of the folders with the given worker limit.
bool runScan(std::vector<std::string> folders, unsigned workers = 4, bool prioritized = false);

// Every result file of a scan that exists, by its path below the installation folder, with
// '\\' written as '/'.
std::map<std::string, std::string> resultFiles();

std::string portableText(std::string text);

// The lines of a text file.
std::vector<std::string> fileLines(const std::filesystem::path& path);

} // namespace rtd::test
