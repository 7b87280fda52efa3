#pragma once
// The livery scan driver as the start-up calls it. This body stands in until the scan
// driver is built; it is then replaced by its own file and this one removed.

#include <string>
#include <vector>

namespace rtd {

// Scans the liveries (only the listed folders unless automatic) or reads the scanned list.
// True when it finished; failures are thrown.
bool scanLiveries(bool doScan, bool automatic, bool prioritize, const std::vector<std::string>& folders);

} // namespace rtd
