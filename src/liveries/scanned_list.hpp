#pragma once
// The scanned-livery list, output/LiveriesScanned.xml: the meta block, then <liveries> with
// one <liv airl="" type="" [cargo="true"] title="" atcid=""/> per record of the sorted scan
// list. Later starts read it back instead of scanning; the folder priority is not kept.

#include "liveries/aircraft_cfg.hpp"

#include <pugixml.hpp>

namespace rtd {

// Writes scanList to the file, whole or not at all; an empty list writes nothing.
void saveScannedLiveries();

// Appends the record's <liv> element to <liveries>.
void appendLiveryNode(pugi::xml_node liveries, const LiveryData& record);

// Replaces scanList with the records of the file, sorted by liveryLess, each with priority
// 0; a <liv> without a title, airline or model is logged and skipped. Throws
// UserErrorException 51 (no readable file), 52 (no <liveries>) or 53 (no records); scanList
// is then empty.
void readScannedLiveries();

} // namespace rtd
