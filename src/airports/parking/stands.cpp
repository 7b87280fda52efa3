#include "airports/parking/stands.hpp"

#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/park_airports.hpp"
#include "airports/traffic_port.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/random.hpp"
#include "liveries/dbase.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>

namespace rtd {

std::unordered_map<std::uint32_t, std::uint32_t> standReservations;
std::set<std::string, std::less<>> liveCallsignsSnapshot;
std::vector<LiveStayer> liveStayers;
std::vector<FitEntry> fitList;
std::int32_t realFitOffset = -1;
std::int32_t softFitOffset = -1;

namespace {

constexpr int reserveGapHalfHours = 3;
constexpr int maxTrackStep = 5;
constexpr double startDistanceNm = 900.0;
constexpr double fitToleranceNm = 1.8 * metresToNm;
constexpr double nearRuleNm = 85.0 * metresToNm;
constexpr double oneMetreNm = metresToNm;
constexpr double smallAircraftNm = 17.8 * metresToNm;
constexpr double smallRankStepNm = 14.0 * metresToNm;
constexpr double largeRankStepNm = 21.0 * metresToNm;
constexpr double neighbourRoomFactor = 1.1;
constexpr std::size_t fewStands = 11;
constexpr int gateShareDraw = 10; // out of 100 go to the ramp

std::vector<ParkingPosition>& stands()
{
    return parkAirport.stands;
}

unsigned previousWeekday(unsigned day)
{
    return day <= 1 ? 7 : day - 1;
}

unsigned nextWeekday(unsigned day)
{
    return day >= 7 ? 1 : day + 1;
}

DaySlot nextHalfHour(DaySlot now)
{
    const unsigned hh = slotHalfHour(now);
    return hh + 1 >= halfHoursPerDay ? makeDaySlot(nextWeekday(slotWeekday(now)), 0)
                                     : makeDaySlot(slotWeekday(now), hh + 1);
}

DaySlot previousHalfHour(DaySlot slot)
{
    const unsigned hh = slotHalfHour(slot);
    return hh == 0 ? makeDaySlot(previousWeekday(slotWeekday(slot)), halfHoursPerDay - 1)
                   : makeDaySlot(slotWeekday(slot), hh - 1);
}

bool fitsStand(double aircraftRadius, double standRadius)
{
    return aircraftRadius - standRadius <= fitToleranceNm;
}

bool sameAircraft(const StandOption& option, std::string_view airline, std::string_view type)
{
    return option.airline == airline && option.type == type;
}

bool namesCallsign(const StandOption& option, std::string_view callsign)
{
    return !callsign.empty() && (option.callsign == callsign || option.coupledCallsign == callsign);
}

// Sets the half hours before now (k - 1 of them) oldest first, then now. `numberAt` gives
// the option number for a slot.
template <typename NumberAt>
void fillHours(ParkingPosition& stand, DaySlot now, const FlightRecord& aircraft, int k, NumberAt numberAt)
{
    std::vector<DaySlot> earlier;
    DaySlot slot = now;
    for (int i = 1; i < k; ++i)
        earlier.push_back(slot = previousHalfHour(slot));
    for (auto it = earlier.rbegin(); it != earlier.rend(); ++it)
        if (!buildStandOptionWithHour(stand.options, slotWeekday(*it), static_cast<int>(slotHalfHour(*it)),
                                      numberAt(*it), aircraft.callsign))
            break;
    buildStandOptionWithHour(stand.options, slotWeekday(now), static_cast<int>(slotHalfHour(now)), numberAt(now),
                             aircraft.callsign);
}

// The learning of addRealOption and addSoftOption; `learned` tells what was decided so far.
bool learnOption(bool soft, std::uint32_t standId, const FlightRecord& aircraft, bool track, DaySlot now, bool forget,
                 bool& learned)
{
    if (stands().empty())
        return false;
    if (!soft && (aircraft.registration.empty() || aircraft.callsign.empty()))
        return false;
    ParkingPosition* stand = standById(standId);
    if (stand == nullptr)
        return false;
    auto& sightings = soft ? stand->softSightings : stand->realSightings;
    const unsigned day = slotWeekday(now);
    const int hh = static_cast<int>(slotHalfHour(now));
    const std::uint64_t bit = halfHourBit(hh);
    const auto found = std::find_if(stand->options.begin(), stand->options.end(), [&](const StandOption& option) {
        return option.number != 0 && option.day == day && option.soft == soft &&
               option.registration == aircraft.registration;
    });
    if (found == stand->options.end()) {
        const std::uint32_t number = buildStandOption(stand->options, aircraft, soft, day, aircraft.callsign,
                                                      aircraft.registration, hh);
        sightings[aircraft.hexid] = {now, number};
        countLearnedChange();
        return learned = true;
    }
    if ((found->halfHours & bit) != 0) {
        if (forget)
            sightings.erase(aircraft.hexid);
        return false;
    }
    if (!found->learned)
        return false;
    found->halfHours |= bit;
    const std::uint32_t number = found->number;
    if (!track) {
        if (forget)
            sightings.erase(aircraft.hexid);
    } else if (const auto entry = sightings.find(aircraft.hexid); entry == sightings.end()) {
        if (!forget)
            sightings.emplace(aircraft.hexid, StandSighting{now, number});
    } else if (entry->second.daySlot == now) {
        if (forget)
            sightings.erase(entry);
    } else {
        StandSighting& seen = entry->second;
        const unsigned seenDay = slotWeekday(seen.daySlot);
        const int seenHh = static_cast<int>(slotHalfHour(seen.daySlot));
        for (int k = 1; k <= maxTrackStep; ++k) {
            if (seenDay == day && (seenHh + k) % halfHoursPerDay == hh) {
                fillHours(*stand, now, aircraft, k, [number](DaySlot) { return number; });
                seen.daySlot = now;
                break;
            }
            if (nextWeekday(seenDay) == day && hh - seenHh + halfHoursPerDay == k) {
                const std::uint32_t oldNumber = seen.optionNumber;
                const std::uint32_t newNumber =
                    buildStandOption(stand->options, aircraft, soft, day, aircraft.callsign, aircraft.registration, hh);
                fillHours(*stand, now, aircraft, k,
                          [&](DaySlot slot) { return slotWeekday(slot) == day ? newNumber : oldNumber; });
                seen = {now, newNumber};
                break;
            }
        }
        if (forget)
            sightings.erase(aircraft.hexid);
    }
    countLearnedChange();
    return learned = true;
}

// ---- the snapshot nearestStandName reads ----------------------------------------------------

struct StandPlace {
    std::string name;
    LatLon position;
};
using StandSnapshot = std::vector<StandPlace>;

std::mutex snapshotMutex;
std::shared_ptr<const StandSnapshot> snapshot; // under snapshotMutex
LatLon cachedPosition;                          // under snapshotMutex
std::string cachedName;                         // under snapshotMutex
bool cacheValid = false;                        // under snapshotMutex

// ---- chooseFreeStand ------------------------------------------------------------------------

enum class Want { gate, ramp, cargo, anyButHelipad, helipad };

struct Choice {
    std::string name;
    int rank = 0;
    int match = 0;
};

bool wanted(const ParkingPosition& stand, Want want)
{
    switch (want) {
    case Want::gate:
        return !stand.cargo && !stand.heli && !stand.ramp;
    case Want::ramp:
        return !stand.cargo && !stand.heli && stand.ramp;
    case Want::cargo:
        return stand.cargo && !stand.heli;
    case Want::anyButHelipad:
        return !stand.heli;
    case Want::helipad:
        return stand.heli;
    }
    return false;
}

bool inUseNow(const ParkingPosition& stand, DaySlot now)
{
    const std::uint64_t bit = halfHourBit(static_cast<int>(slotHalfHour(now)));
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& option) {
        return isOptionUsable(option) && option.day == slotWeekday(now) && (option.halfHours & bit) != 0;
    });
}

// One pass; `exactRank` ranks by the size steps, else by the plain difference of the radii.
bool runPass(std::vector<Choice>& choices, DaySlot now, const FlightRecord& aircraft, Want want, bool fitTest,
             bool testOccupancy, bool exactRank)
{
    const std::size_t before = choices.size();
    int bestRank = 100;
    int bestMatch = 0;
    const double step = aircraft.halfSpan <= smallAircraftNm ? smallRankStepNm : largeRankStepNm;
    for (const ParkingPosition& stand : stands()) {
        if (!wanted(stand, want) || (testOccupancy && inUseNow(stand, now)))
            continue;
        if (fitTest && !fitsStand(aircraft.halfSpan, stand.radius))
            continue;
        const int rank = exactRank ? static_cast<int>(std::lround((stand.radius - aircraft.halfSpan) / step))
                                   : static_cast<int>(std::lround(std::fabs(aircraft.halfSpan - stand.radius)));
        if (rank > bestRank)
            continue;
        const int match = matchesAirlineTypeView(stand.options, aircraft.callsign, aircraft) ? 1 : 0;
        if (match < bestMatch)
            continue;
        bestRank = rank;
        bestMatch = match;
        choices.push_back({stand.name, rank, match});
    }
    return choices.size() > before;
}

bool runPair(std::vector<Choice>& choices, DaySlot now, const FlightRecord& aircraft, Want want)
{
    return runPass(choices, now, aircraft, want, true, true, true) ||
           runPass(choices, now, aircraft, want, false, true, false);
}

std::vector<Choice> gatherChoices(DaySlot now, const FlightRecord& aircraft)
{
    std::vector<Choice> choices;
    if (aircraft.category == Rotorcraft) {
        runPass(choices, now, aircraft, Want::helipad, true, true, true) ||
            runPass(choices, now, aircraft, Want::ramp, true, true, true) ||
            runPass(choices, now, aircraft, Want::helipad, true, false, false) ||
            runPass(choices, now, aircraft, Want::ramp, true, false, false);
    } else if (aircraft.cargo != 0) {
        runPass(choices, now, aircraft, Want::cargo, true, true, true) ||
            runPass(choices, now, aircraft, Want::cargo, false, true, false) ||
            runPass(choices, now, aircraft, Want::anyButHelipad, true, true, true) ||
            runPass(choices, now, aircraft, Want::anyButHelipad, false, true, false);
    } else if (aircraft.category == Light || aircraft.category == Buzjets || aircraft.airline == "PVT") {
        runPair(choices, now, aircraft, Want::ramp);
    } else {
        const bool gateFirst = parkAirport.icao.starts_with('K') || randomEngine()() % 100 >= gateShareDraw;
        const Want first = gateFirst ? Want::gate : Want::ramp;
        const Want second = gateFirst ? Want::ramp : Want::gate;
        runPair(choices, now, aircraft, first) || runPair(choices, now, aircraft, second);
    }
    return choices;
}

// ---- lf_searchStands ------------------------------------------------------------------------

using ParkedByStand = std::unordered_map<std::uint32_t, std::vector<const ParkedAircraftView*>>;

bool neighbourConflict(const ParkingPosition& stand, const StandOption& option, const ParkedByStand& parked)
{
    if (!stand.neighbourOccupied)
        return false;
    const double optionRadius = wingspanOf(option.type);
    for (const std::uint32_t id : stand.neighbours) {
        const auto at = parked.find(id);
        if (at == parked.end())
            continue;
        for (const ParkedAircraftView* aircraft : at->second)
            if (aircraft->radiusNm + optionRadius >
                neighbourRoomFactor * distanceNm(aircraft->position, {stand.latitude, stand.longitude}))
                return true;
    }
    return false;
}

StandOption* optionByNumber(ParkingPosition& stand, std::uint32_t number)
{
    const auto found = std::find_if(stand.options.begin(), stand.options.end(),
                                    [number](const StandOption& option) { return option.number == number; });
    return found == stand.options.end() ? nullptr : &*found;
}

// The collected option of the parked aircraft standing at the stand, when it has one.
std::uint32_t parkedAircraftOption(const ParkingPosition& stand, const std::vector<std::uint32_t>& numbers,
                                   const ParkedByStand& parked)
{
    const auto at = parked.find(stand.standId);
    if (at == parked.end() || at->second.empty())
        return 0;
    const ParkedAircraftView& aircraft = *at->second.front();
    for (const StandOption& option : stand.options) {
        const bool starred =
            isStarredName(option.callsign, aircraft.callsign) || isStarredName(option.coupledCallsign, aircraft.callsign);
        if (starred && sameAircraft(option, aircraft.airline, aircraft.type))
            return std::find(numbers.begin(), numbers.end(), option.number) != numbers.end() ? option.number : 0;
    }
    return 0;
}

bool mustNotBeUsed(const StandOption& option, const std::vector<FitCandidate>& earlier)
{
    if (!option.registration.empty() &&
        std::any_of(earlier.begin(), earlier.end(),
                    [&](const FitCandidate& c) { return c.registration == option.registration; }))
        return true;
    for (const FitEntry& entry : fitList)
        if (namesCallsign(option, entry.callsign) ||
            (!entry.registration.empty() && option.registration == entry.registration))
            return true;
    return std::any_of(liveStayers.begin(), liveStayers.end(),
                       [&](const LiveStayer& stayer) { return namesCallsign(option, stayer.callsign); });
}

bool seenLive(const std::string& callsign)
{
    return !callsign.empty() &&
           (liveCallsignsSnapshot.contains(callsign) || liveCallsignsSnapshot.contains(callsign + "_"));
}

} // namespace

bool aircraftFitsStand(double aircraftRadius, double standRadius)
{
    return fitsStand(aircraftRadius, standRadius);
}

ParkingPosition* standById(std::uint32_t id)
{
    std::vector<ParkingPosition>& all = stands();
    // Stands are numbered by their place after reading; look there first.
    if (id >= 1 && id <= all.size() && all[id - 1].standId == id)
        return &all[id - 1];
    const auto found = std::find_if(all.begin(), all.end(), [id](const ParkingPosition& s) { return s.standId == id; });
    return found == all.end() ? nullptr : &*found;
}

std::string standNameOf(std::uint32_t standId)
{
    const ParkingPosition* stand = standById(standId);
    return stand != nullptr ? stand->name : std::string("unknown");
}

void countLearnedChange()
{
    const std::int32_t count = ++parkAirport.learnedUpdateCount;
    if (mainWindowGlobals.updatesFigure.exchange(count) != count)
        windowDisplay().invalidate(countersBand);
}

bool reserveStandForAircraft(DaySlot now, std::uint32_t hexid, bool force)
{
    const std::uint32_t hh = slotHalfHour(now);
    const auto [entry, added] = standReservations.try_emplace(hexid, hh);
    if (added)
        return true;
    if (!force && (hh - entry->second + halfHoursPerDay) % halfHoursPerDay < reserveGapHalfHours)
        return false;
    entry->second = hh;
    return true;
}

StandIterator findStandByName(std::string_view name)
{
    return std::find_if(stands().begin(), stands().end(), [name](const ParkingPosition& s) { return s.name == name; });
}

void markStandsOccupied(ParkingPosition& stand)
{
    stand.occupied = true;
    for (const std::uint32_t id : stand.neighbours)
        if (ParkingPosition* neighbour = standById(id))
            neighbour->neighbourOccupied = true;
}

bool addRealOption(std::uint32_t standId, const FlightRecord& aircraft, bool track, DaySlot now, bool forget)
{
    bool learned = false;
    try {
        return learnOption(false, standId, aircraft, track, now, forget, learned);
    } catch (const std::exception& error) {
        logArrow(fmt::format("Add real option exception, hh_now: {}, {}", slotHalfHour(now), error.what()));
    }
    return learned;
}

bool addSoftOption(std::uint32_t standId, const FlightRecord& aircraft, bool track, DaySlot now)
{
    bool learned = false;
    try {
        return learnOption(true, standId, aircraft, track, now, false, learned);
    } catch (const std::exception& error) {
        logArrow(fmt::format("Add soft option exception, hh_now: {}, {}", slotHalfHour(now), error.what()));
    }
    return learned;
}

void publishStandSnapshot()
{
    auto places = std::make_shared<StandSnapshot>();
    places->reserve(stands().size());
    for (const ParkingPosition& stand : stands())
        places->push_back({stand.name, {stand.latitude, stand.longitude}});
    std::lock_guard lock(snapshotMutex);
    snapshot = std::move(places);
    cacheValid = false;
}

std::string nearestStandName(LatLon position)
{
    if (!trafficPort().userState().onGround)
        return {};
    std::shared_ptr<const StandSnapshot> places;
    {
        std::lock_guard lock(snapshotMutex);
        if (!snapshot || snapshot->empty())
            return {};
        if (cacheValid && cachedPosition.lat == position.lat && cachedPosition.lon == position.lon)
            return cachedName;
        places = snapshot;
    }
    double best = startDistanceNm;
    const StandPlace* nearest = nullptr;
    // A stand is never nearer than its difference in latitude (60 nm a degree).
    const double latitudeLimit = nearStandNm / 60.0;
    for (const StandPlace& place : *places) {
        if (std::fabs(place.position.lat - position.lat) > latitudeLimit)
            continue;
        const double d = distanceNm(position, place.position);
        if (d <= nearStandNm && d < best) {
            best = d;
            nearest = &place;
        }
    }
    std::string name = nearest != nullptr ? nearest->name : std::string();
    std::lock_guard lock(snapshotMutex);
    if (snapshot == places) {
        cachedPosition = position;
        cachedName = name;
        cacheValid = true;
    }
    return name;
}

StandIterator findStandForAircraft(LatLon position, const FlightRecord& aircraft, double maxDistanceNm,
                                   bool allowNear)
{
    const StandIterator end = stands().end();
    StandIterator result = end;
    StandIterator nearCandidate = end;
    StandIterator tooSmall = end;
    double best = startDistanceNm;
    double nearBest = startDistanceNm;
    for (StandIterator it = stands().begin(); it != end; ++it) {
        const double d = distanceNm(position, {it->latitude, it->longitude});
        const bool fits = fitsStand(aircraft.halfSpan, it->radius);
        if (d <= maxDistanceNm && d < best) {
            if (fits || d <= closeStandNm) {
                result = it;
                best = d;
                allowNear = false;
                tooSmall = fits ? tooSmall : it;
            }
        } else if (allowNear && d <= nearRuleNm && d < nearBest && fits &&
                   matchesAirlineTypeView(it->options, aircraft.callsign, aircraft)) {
            nearCandidate = it;
            nearBest = d;
        }
    }
    if (result == end)
        result = nearCandidate;
    if (result == end || result->heli != (aircraft.category == Rotorcraft))
        return end;
    if (result == tooSmall) {
        result->radiusChange = true;
        result->radius = aircraft.halfSpan - oneMetreNm;
        countLearnedChange();
    }
    return result;
}

StandIterator chooseFreeStand(DaySlot now, const FlightRecord& aircraft, bool retry)
{
    std::vector<Choice> choices = gatherChoices(now, aircraft);
    if (choices.empty()) {
        if (retry && stands().size() < fewStands)
            return chooseFreeStand(nextHalfHour(now), aircraft, false);
        return stands().end();
    }
    if (choices.size() >= 2 && RANDOM.value())
        std::shuffle(choices.begin(), choices.end(), randomEngine());
    std::stable_sort(choices.begin(), choices.end(), [](const Choice& a, const Choice& b) {
        return a.match != b.match ? a.match > b.match : a.rank < b.rank;
    });
    return findStandByName(choices.front().name);
}

void lf_searchForCoupledCsAroundThisTime(DaySlot now, const FlightRecord& aircraft, std::string& callsign,
                                         std::string& coupledCallsign)
{
    try {
        const int hh = static_cast<int>(slotHalfHour(now));
        const int w = aircraft.category == Heavy ? 8 : 5;
        std::uint64_t mask = 0;
        for (int slot = std::max(hh - w, 0); slot <= std::min(hh + w, halfHoursPerDay - 1); ++slot)
            mask |= halfHourBit(slot);
        std::string wanted = aircraft.callsign;
        if (!wanted.empty() && wanted.back() == '_')
            wanted.pop_back();
        for (const ParkingPosition& stand : stands())
            for (const StandOption& option : stand.options)
                if (isOptionUsable(option) && option.day == slotWeekday(now) && (option.halfHours & mask) != 0 &&
                    option.airline == aircraft.airline && !option.coupledCallsign.empty() &&
                    namesCallsign(option, wanted)) {
                    callsign = option.callsign;
                    coupledCallsign = option.coupledCallsign;
                    return;
                }
    } catch (const std::exception& error) {
        logLine(fmt::format("lf_searchForCoupledCsAroundThisTime {}", error.what()));
    }
}

bool standFitsHour(DaySlot now, std::uint32_t standId, const FlightRecord& aircraft)
{
    const ParkingPosition* stand = standById(standId);
    if (stand == nullptr)
        return false;
    const int window = std::clamp(std::max(realFitOffset, softFitOffset), 0, halfHoursPerDay - 1);
    const auto fitsOn = [&](unsigned day, int start, int offset) {
        return std::any_of(stand->options.begin(), stand->options.end(), [&](const StandOption& option) {
            int remainder = -1;
            return isOptionUsable(option) && option.day == day &&
                   sameAircraft(option, aircraft.airline, aircraft.icaoType) &&
                   testRange(option, start, offset, remainder);
        });
    };
    const int hh = static_cast<int>(slotHalfHour(now));
    if (fitsOn(slotWeekday(now), hh, window))
        return true;
    // A window reaching below half hour 0 goes on with the previous weekday's last half hours.
    const int remainder = window - hh;
    return remainder > 0 && fitsOn(previousWeekday(slotWeekday(now)), halfHoursPerDay - 1, remainder - 1);
}

void lf_searchStands(DaySlot now, bool soft, int offset, std::vector<FitCandidate>& candidates,
                     const std::vector<FitCandidate>& earlier)
{
    int slot = static_cast<int>(slotHalfHour(now)) - offset;
    unsigned day = slotWeekday(now);
    try {
        if (slot < 0) {
            slot += halfHoursPerDay;
            day = previousWeekday(day);
        }
        const std::uint64_t bit = halfHourBit(slot);
        const std::vector<ParkedAircraftView> parked = trafficPort().parkedAircraft();
        ParkedByStand byStand;
        for (const ParkedAircraftView& aircraft : parked)
            byStand[aircraft.standId].push_back(&aircraft);
        const bool allDays = WEEK.value();
        const bool helipads = HELICOPTERS.value();
        std::vector<std::uint32_t> numbers;
        for (ParkingPosition& stand : stands()) {
            if (stand.occupied || stand.keptFree || (stand.heli && !helipads))
                continue;
            numbers.clear();
            for (const StandOption& option : stand.options)
                if (isOptionUsable(option) && option.soft == soft && (allDays || option.day == day) &&
                    (option.halfHours & bit) != 0 && !neighbourConflict(stand, option, byStand))
                    numbers.push_back(option.number);
            if (numbers.empty())
                continue;
            if (numbers.size() >= 2 && RANDOM.value()) {
                if (const std::uint32_t own = parkedAircraftOption(stand, numbers, byStand); own != 0)
                    numbers.front() = own;
                else
                    std::shuffle(numbers.begin(), numbers.end(), randomEngine());
            }
            StandOption* option = optionByNumber(stand, numbers.front());
            if (mustNotBeUsed(*option, earlier)) {
                option->suppressed = true;
                continue;
            }
            if (seenLive(option->callsign) || seenLive(option->coupledCallsign))
                continue;
            candidates.push_back({option->airline, option->type, stand.standId, offset, option->registration,
                                  option->callsign, option->coupledCallsign});
            markStandsOccupied(stand);
        }
    } catch (const std::exception& error) {
        logLine(fmt::format("exception in lf_searchStands, day: {}, offset {}: {}",
                            fmt::format("day={} hh={}", slotWeekday(now), slotHalfHour(now)), offset, error.what()));
    }
}

StandIterator findStandByRegistrationSlot(StandIterator first, StandIterator last, const FlightRecord& aircraft,
                                          DaySlot now)
{
    const int hh = static_cast<int>(slotHalfHour(now));
    const std::uint64_t around = halfHourBit(hh) | halfHourBit((hh + halfHoursPerDay - 1) % halfHoursPerDay) |
                                 halfHourBit((hh + 1) % halfHoursPerDay);
    return std::find_if(first, last, [&](const ParkingPosition& stand) {
        return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& option) {
            return isOptionUsable(option) && option.day == slotWeekday(now) && !option.soft &&
                   option.registration == aircraft.registration && (option.halfHours & around) != 0;
        });
    });
}

void keepUserStandsFree()
{
    const std::string reserved = reservedStandName;
    if (!reserved.empty())
        if (const StandIterator stand = findStandByName(reserved); stand != stands().end())
            stand->keptFree = true;
    const std::string user = nearestStandName(trafficPort().userState().position);
    if (!user.empty() && user != reserved)
        if (const StandIterator stand = findStandByName(user); stand != stands().end())
            stand->keptFree = true;
}

} // namespace rtd
