#pragma once
// The livery scan driver and the matching summary, as the start-up and the exit call them.
// These bodies stand in until the scan driver and the matching are built; each is then
// replaced by its own file and this one removed.

#include <string>
#include <vector>

namespace rtd {

// Scans the liveries (only the listed folders unless automatic) or reads the scanned list.
// True when it finished; failures are thrown.
bool scanLiveries(bool doScan, bool automatic, bool prioritize, const std::vector<std::string>& folders);

// The day's matching figures to the log.
void logMatchingSummary();

} // namespace rtd
