#pragma once
// The stand services: what live traffic and static parking ask about the stands of the park
// airport (`parkAirport.stands`), and what live traffic teaches them.
//
// Everything here runs on the traffic thread, which owns the stands, except
// nearestStandName: it reads an immutable snapshot of the stands' names and positions that
// the traffic thread publishes (publishStandSnapshot) after each read, merge or destroy of
// the stands, so any thread may call it.
//
// Distances and radii are nautical miles. A weekday and half hour travel as one DaySlot.

#include "airports/files/airport_file.hpp"
#include "airports/traffic_port.hpp"
#include "core/geo.hpp"
#include "core/time.hpp"
#include "traffic/records.hpp"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rtd {

using StandIterator = std::vector<ParkingPosition>::iterator;

inline constexpr double nearStandNm = 55.0 * metresToNm;  // 0.0296976... nm
inline constexpr double closeStandNm = 20.0 * metresToNm;

// One aircraft that static parking may place: what lf_searchStands found at a free stand.
struct FitCandidate {
    std::string airline;
    std::string type;
    std::uint32_t standId = 0;
    std::int32_t offset = 0; // half hours back from now
    std::string registration;
    std::string callsign;
    std::string coupledCallsign;
};

// One aircraft static parking is to place, taken from the back of fitList.
struct FitEntry {
    std::uint32_t state = 0; // 0 when made; the placement's own
    std::int32_t offset = 0; // half hours back from now the option was found; the sort key
    std::string airline;
    std::string type;
    std::uint32_t standId = 0;
    std::string callsign;
    std::string coupledCallsign;
    std::string registration;
    std::uint8_t soft = 0;
};

// The half hour of each live aircraft's last stand event, by hexid.
extern std::unordered_map<std::uint32_t, std::uint32_t> standReservations;
// The live callsigns seen while static parking was being calculated.
extern std::set<std::string, std::less<>> liveCallsignsSnapshot;
extern std::vector<LiveStayer> liveStayers;
// The aircraft static parking still has to place, the best fits (offset 0) at the back.
extern std::vector<FitEntry> fitList;
// The largest offsets the last real and soft fits reached; -1: none.
extern std::int32_t realFitOffset;
extern std::int32_t softFitOffset;

// Whether an aircraft of that half span fits a stand of that radius (both nm).
bool aircraftFitsStand(double aircraftRadius, double standRadius);

// The stand with the id; null when none.
ParkingPosition* standById(std::uint32_t id);
// Its name for log lines; "unknown" when no stand has the id.
std::string standNameOf(std::uint32_t standId);

// One more learned change of the park airport, shown as the window's updates figure.
void countLearnedChange();

// Whether a stand may be learned for the aircraft now: not within 3 half hours of its last
// stand event unless forced. Records the current half hour when it may.
bool reserveStandForAircraft(DaySlot now, std::uint32_t hexid, bool force);

// The first stand named exactly `name`; end when none.
StandIterator findStandByName(std::string_view name);

// Marks the stand occupied and its overlapping stands neighbour-occupied.
void markStandsOccupied(ParkingPosition& stand);

// Record a sighting of the aircraft at the stand; true when something was learned. `track`:
// the aircraft has been followed since an earlier sighting. Never throw.
bool addRealOption(std::uint32_t standId, const FlightRecord& aircraft, bool track, DaySlot now, bool forget);
bool addSoftOption(std::uint32_t standId, const FlightRecord& aircraft, bool track, DaySlot now);

// Publishes the stands' names and positions for nearestStandName; traffic thread only.
void publishStandSnapshot();
// The name of the nearest stand within 55 m while the user aircraft is on the ground; empty
// when none. Safe on any thread.
std::string nearestStandName(LatLon position);

// The stand the aircraft stands at, within `maxDistanceNm`; end when none. A stand up to
// 20 m away that is too small for the aircraft is taken and its radius learned.
StandIterator findStandForAircraft(LatLon position, const FlightRecord& aircraft, double maxDistanceNm,
                                   bool allowNear);

// A free stand of the best size for the aircraft; end when none.
StandIterator chooseFreeStand(DaySlot now, const FlightRecord& aircraft, bool retry);

// The callsign and coupled callsign of the first option used by the aircraft's airline around
// now that names its callsign; both untouched when none.
void lf_searchForCoupledCsAroundThisTime(DaySlot now, const FlightRecord& aircraft, std::string& callsign,
                                         std::string& coupledCallsign);

// Whether the stand was used by the same airline and type within the fit window back from now.
bool standFitsHour(DaySlot now, std::uint32_t standId, const FlightRecord& aircraft);

// Appends at most one candidate per free stand used `offset` half hours before now, and
// marks its stand occupied. The chosen option of a stand that must not be used is suppressed.
void lf_searchStands(DaySlot now, bool soft, int offset, std::vector<FitCandidate>& candidates,
                     const std::vector<FitCandidate>& earlier);

// The first stand in [first, last) whose real option of today holds the aircraft's
// registration at now or a neighbouring half hour; last when none.
StandIterator findStandByRegistrationSlot(StandIterator first, StandIterator last, const FlightRecord& aircraft,
                                          DaySlot now);

// Keeps the reserved stand and the stand the user aircraft stands at free.
void keepUserStandsFree();

} // namespace rtd
