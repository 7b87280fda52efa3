#include "airports/parking/static_parking.hpp"

#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/park_airports.hpp"
#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/random.hpp"
#include "core/requests.hpp"
#include "core/text.hpp"
#include "liveries/dbase.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace rtd {

std::vector<ParkedRemoval> parkedRemovals;
std::vector<ParkedStayer> parkedStayers;

namespace {

constexpr std::size_t candidateRoom = 512;
constexpr std::size_t liveStayerRoom = 64;
constexpr std::size_t parkedStayerRoom = 256;
constexpr double neighbourRoomFactor = 1.1;

std::vector<ParkingPosition>& stands()
{
    return parkAirport.stands;
}

void clearStandMarks(ParkingPosition& stand)
{
    stand.occupied = false;
    stand.keptFree = false;
    stand.neighbourOccupied = false;
}

std::string halfHoursText(int halfHours)
{
    return formatNumber(static_cast<float>(halfHours) * 0.5f + 0.5f);
}

unsigned previousWeekday(unsigned day)
{
    return day <= 1 ? 7 : day - 1;
}

// The slot `offset` half hours before now.
DaySlot slotBefore(DaySlot now, int offset)
{
    int hh = static_cast<int>(slotHalfHour(now)) - offset;
    unsigned day = slotWeekday(now);
    if (hh < 0) {
        hh += halfHoursPerDay;
        day = previousWeekday(day);
    }
    return makeDaySlot(day, static_cast<unsigned>(hh));
}

// Whether slot a is later than slot b; a Monday counts as later than a Sunday.
bool laterSlot(DaySlot a, DaySlot b)
{
    return isLaterSlot(a, b) && (slotWeekday(a) != slotWeekday(b) || slotHalfHour(a) != slotHalfHour(b));
}

void sortByOffset(bool ascending)
{
    std::stable_sort(fitList.begin(), fitList.end(), [ascending](const FitEntry& a, const FitEntry& b) {
        return ascending ? a.offset < b.offset : a.offset > b.offset;
    });
}

void keepLocked(TrafficPort& port)
{
    if (!port.parkingBusy())
        port.lockParkingControls();
}

// Keeps the last batch's share of the wanted number (at random with RANDOM) and moves it
// into the accumulated candidates, which keep at most wanted - present.
void trimToWanted(std::vector<FitCandidate>& batch, std::vector<FitCandidate>& accumulated, int wanted, int present)
{
    const auto over = [&](std::size_t kept) { return static_cast<long>(kept) + present - wanted; };
    if (const long excess = over(accumulated.size() + batch.size()); excess >= 1 && !batch.empty()) {
        if (RANDOM.value())
            std::shuffle(batch.begin(), batch.end(), randomEngine());
        batch.resize(batch.size() - static_cast<std::size_t>(std::min<long>(excess, static_cast<long>(batch.size()))));
    }
    std::move(batch.begin(), batch.end(), std::back_inserter(accumulated));
    batch.clear();
    while (!accumulated.empty() && over(accumulated.size()) >= 1)
        accumulated.pop_back();
}

// The fit entries by stand while selectFitPositions walks the parked aircraft; entries are
// only marked dropped during the walk and leave fitList after it.
class FitIndex {
public:
    FitIndex() : dropped_(fitList.size(), false)
    {
        for (std::size_t i = 0; i < fitList.size(); ++i)
            at_.emplace(fitList[i].standId, i);
    }
    FitEntry* at(std::uint32_t standId)
    {
        const auto found = at_.find(standId);
        return found == at_.end() || dropped_[found->second] ? nullptr : &fitList[found->second];
    }
    void drop(const FitEntry& entry) { dropped_[static_cast<std::size_t>(&entry - fitList.data())] = true; }
    void eraseDropped()
    {
        std::size_t i = 0;
        std::erase_if(fitList, [&](const FitEntry&) { return dropped_[i++]; });
    }

private:
    std::unordered_map<std::uint32_t, std::size_t> at_;
    std::vector<bool> dropped_;
};

bool seenLive(const std::string& callsign)
{
    return !callsign.empty() && liveCallsignsSnapshot.contains(callsign);
}

// A fit entry at a stand overlapping the parked aircraft's whose aircraft would touch it.
bool neighbourEntryConflicts(const ParkedAircraftView& parked, FitIndex& index)
{
    const ParkingPosition* own = standById(parked.standId);
    if (own == nullptr)
        return false;
    for (const std::uint32_t id : own->neighbours) {
        const FitEntry* entry = index.at(id);
        const ParkingPosition* stand = entry != nullptr ? standById(id) : nullptr;
        if (stand != nullptr && wingspanOf(entry->type) + parked.radiusNm >
                                    neighbourRoomFactor * distanceNm(parked.position, {stand->latitude, stand->longitude}))
            return true;
    }
    return false;
}

// Whether the parked aircraft stays; a fit entry it keeps or loses its stand to is dropped.
bool parkedAircraftStays(DaySlot now, const ParkedAircraftView& parked, FitIndex& index)
{
    if (seenLive(parked.coupledCallsign1) || seenLive(parked.coupledCallsign2))
        return false; // its flight is live now
    if (FitEntry* entry = index.at(parked.standId)) {
        const bool same = entry->airline == parked.airline && entry->type == parked.type &&
                          ((!entry->callsign.empty() && isStarredName(entry->callsign, parked.callsign)) ||
                           (!entry->coupledCallsign.empty() && isStarredName(entry->coupledCallsign, parked.callsign)));
        if (!same && laterSlot(slotBefore(now, entry->offset), parked.parkedSince))
            return false;
        index.drop(*entry);
        return true;
    }
    if (neighbourEntryConflicts(parked, index))
        return false;
    FlightRecord aircraft;
    aircraft.airline = parked.airline;
    aircraft.icaoType = parked.type;
    return standFitsHour(now, parked.standId, aircraft);
}

} // namespace

int computeMaxParked()
{
    const std::size_t n = stands().size();
    const int percentage = parking_percentage.value();
    int wanted = 1;
    if (n != 1 && (n > 3 || percentage >= 50))
        wanted = static_cast<int>(std::lround(static_cast<double>(percentage) * static_cast<double>(n) / 100.0));
    if (mainWindowGlobals.maxParkFigure.exchange(wanted) != wanted)
        windowDisplay().invalidate(countersBand);
    return wanted;
}

DaySlot logDayAndHour()
{
    const DaySlot now = trafficPort().dayHalfHour();
    const unsigned day = slotWeekday(now);
    logLine(fmt::format("\n{} (utc) It is day {} ({}), {} hours", currentTimeText(), day,
                        dayName(static_cast<int>(day)), halfHoursText(static_cast<int>(slotHalfHour(now)))));
    return now;
}

bool countFittingPositions(DaySlot now, bool soft, int wanted, std::vector<FitCandidate>& batch,
                           std::vector<FitCandidate>& accumulated)
{
    const long before = std::count_if(stands().begin(), stands().end(), [](const ParkingPosition& s) { return s.occupied; });
    // Every candidate occupies one stand that was free.
    long occupied = before;
    const int maxFit = MAX_FIT.value();
    bool reached = false;
    int offset = 0;
    for (;; ++offset) {
        const std::size_t had = batch.size();
        lf_searchStands(now, soft, offset, batch, accumulated);
        occupied += static_cast<long>(batch.size() - had);
        if (wanted <= occupied) {
            reached = true;
            break;
        }
        std::move(batch.begin(), batch.end(), std::back_inserter(accumulated));
        batch.clear();
        if (offset >= maxFit)
            break;
    }
    if (soft) {
        softFitOffset = offset;
    } else {
        realFitOffset = offset;
        softFitOffset = -1;
    }
    const long added = occupied - before;
    if (added >= 1)
        logLine(fmt::format("{} {} position{} found, Max fit={} hours{}{}", added, soft ? "soft" : "real",
                            added > 1 ? "s" : "", halfHoursText(maxFit),
                            WEEK.value() ? std::string(", week") : fmt::format(", day {}", slotWeekday(now)),
                            fmt::format(" fit: {} hour", halfHoursText(offset))));
    mainWindowGlobals.fitMarker = soft && added >= 1;
    windowDisplay().invalidate(countersBand);
    return reached;
}

void fillFitList(DaySlot now, int wanted, int present)
{
    std::vector<FitCandidate> batch;
    std::vector<FitCandidate> accumulated;
    batch.reserve(candidateRoom);
    accumulated.reserve(candidateRoom);
    if (countFittingPositions(now, false, wanted, batch, accumulated))
        trimToWanted(batch, accumulated, wanted, present);
    if (wanted > static_cast<long>(accumulated.size()) + present && (PARK_SOFT.value() || PARK_FAKE.value()) &&
        countFittingPositions(now, true, wanted, batch, accumulated))
        trimToWanted(batch, accumulated, wanted, present);
    fitList.reserve(fitList.size() + accumulated.size());
    for (FitCandidate& c : accumulated)
        fitList.push_back({0, c.offset, std::move(c.airline), std::move(c.type), c.standId, std::move(c.callsign),
                           std::move(c.coupledCallsign), std::move(c.registration), 0});
}

void generateStaticParking()
{
    TrafficPort& port = trafficPort();
    const DaySlot now = logDayAndHour();
    setStatus("Making changes to airport parking parameters is disabled while static parking takes place ...", false);
    fitList.clear();
    liveStayers.clear();
    liveStayers.reserve(liveStayerRoom);
    parkedStayers.clear();
    parkedStayers.reserve(parkedStayerRoom);
    mainWindowGlobals.staticAverageFit = -1.0f;
    mainWindowGlobals.liveAverageFit = -1.0f;
    mainWindowGlobals.fitMarker = false;
    windowDisplay().invalidate(countersBand);

    clearParkedSets();
    for (ParkingPosition& stand : stands())
        clearStandMarks(stand);
    keepUserStandsFree();
    const int wanted = computeMaxParked();
    if (wanted > static_cast<int>(fitList.size()))
        fillFitList(now, wanted, static_cast<int>(fitList.size()));
    sortByOffset(true);
    if (fitList.size() > static_cast<std::size_t>(std::max(wanted, 0)))
        fitList.resize(static_cast<std::size_t>(std::max(wanted, 0)));

    const std::size_t k = fitList.size();
    const std::size_t n = stands().size();
    const long share = n == 0 ? 0 : std::lround(static_cast<double>(k) * 100.0 / static_cast<double>(n));
    if (k > 0) {
        logLine(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", k, share,
                            parking_percentage.value(), halfHoursText(MAX_FIT.value())));
        sortByOffset(false); // the placement takes the best fits from the back first
        keepLocked(port);
    } else {
        logLine("no parking positions found");
        port.unlockParkingControls();
    }
}

void selectFitPositions(DaySlot now, const std::vector<ParkedAircraftView>& parked)
{
    FitIndex index;
    for (const ParkedAircraftView& aircraft : parked) {
        if (aircraft.held || aircraft.simStatus != 2)
            continue;
        if (parkedAircraftStays(now, aircraft, index))
            parkedStayers.push_back({aircraft.callsign, aircraft.parkedSince, aircraft.standId, 0});
        else
            parkedRemovals.push_back({aircraft.callsign, aircraft.standId});
    }
    index.eraseDropped();
}

void adjustParking()
{
    TrafficPort& port = trafficPort();
    const DaySlot now = logDayAndHour();
    clearParkedSets();
    keepLocked(port);
    mainWindowGlobals.fitMarker = false;
    windowDisplay().invalidate(countersBand);
    parkedRemovals.clear();
    parkedStayers.clear();
    liveStayers.clear();
    fitList.clear();

    // A fresh start for every stand: options suppressed by the last search take part again.
    for (ParkingPosition& stand : stands()) {
        clearStandMarks(stand);
        std::uint32_t number = 0;
        for (StandOption& option : stand.options) {
            option.number = ++number;
            option.suppressed = false;
        }
    }
    keepUserStandsFree();
    const int wanted = computeMaxParked();
    liveStayers = port.purgeOldLiveRecords();
    if (wanted >= 1 && liveStayers.size() > static_cast<std::size_t>(wanted)) {
        const int more = static_cast<int>(liveStayers.size()) - wanted;
        setStatus(fmt::format("Parking adjustments: {} more live ac than wanted", more), true);
        port.removeLiveParked(more);
        liveStayers = port.purgeOldLiveRecords();
    }
    for (const LiveStayer& stayer : liveStayers)
        if (ParkingPosition* stand = standById(stayer.standId))
            markStandsOccupied(*stand);
    for (const ParkedStayer& stayer : parkedStayers)
        if (ParkingPosition* stand = standById(stayer.standId))
            markStandsOccupied(*stand);

    const auto present = [] { return static_cast<long>(liveStayers.size() + fitList.size() + parkedStayers.size()); };
    if (wanted > present())
        fillFitList(now, wanted, static_cast<int>(present()));
    selectFitPositions(now, port.parkedAircraft());
    // Newest first: the oldest stayer is the last, the first to go.
    std::stable_sort(parkedStayers.begin(), parkedStayers.end(), [](const ParkedStayer& a, const ParkedStayer& b) {
        return laterSlot(a.parkedSince, b.parkedSince);
    });
    sortByOffset(true);

    const bool liveMayGo = !INITIAL_LOAD_ONLY.value();
    for (long excess = present() - wanted; excess >= 1; --excess) {
        if (!fitList.empty()) {
            fitList.pop_back();
        } else if (!parkedStayers.empty()) {
            parkedRemovals.push_back({parkedStayers.back().callsign, parkedStayers.back().standId});
            parkedStayers.pop_back();
        } else if (liveMayGo && !liveStayers.empty()) {
            port.removeLiveStayer(liveStayers.back());
            liveStayers.pop_back();
        } else {
            break;
        }
    }
    sortByOffset(false);

    setStatus(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", parkedRemovals.size(),
                          fitList.size()),
              true);
    for (const ParkedRemoval& removal : parkedRemovals)
        port.removeParked(removal.callsign, removal.standId);
    parkedRemovals.clear();
}

void clearParkedSets()
{
    liveCallsignsSnapshot = trafficPort().takeLiveCallsigns();
}

void resetParkingState()
{
    closeParkAirport();
    parkAirport.icao.clear();
    parkAirport.iata.clear();
    parkAirport.position = {};
    parkAirport.elevationFt = 0.0;
    reservedStandName.clear();
    mainWindowGlobals.updatesFigure = 0;
    parkedRemovals.clear();
    fitList.clear();
    stands().clear();
    publishStandSnapshot();
    forgetParkAirportCode();
    mainWindowGlobals.editTexts([](DisplayTexts& texts) {
        texts.parkInfoText.clear();
        texts.apfInfoText.clear();
        texts.qfText.clear();
    });
    mainWindowGlobals.parkFiguresValid = false;
    mainWindowGlobals.handmadeFlag = false;
    windowDisplay().invalidate(headerBand);
    windowDisplay().invalidate(countersBand);
}

void removeAllParked()
{
    TrafficPort& port = trafficPort();
    fitList.clear();
    port.removeOrRetryParked();
    port.removeLiveAtStands();
    resetParkingState();
    // An airport file may have set its own MAX_LIVE: the user's comes back.
    if (const std::int32_t user = liveLimit; MAX_LIVE.value() != user) {
        MAX_LIVE.set(user);
        WindowDisplay& display = windowDisplay();
        if (MAX_LIVE.value() == MAX_LIVE.defaultValue())
            display.showEditText(MAX_LIVE.controlId());
        else
            display.showIntInEdit(MAX_LIVE);
        port.applyMaxLive();
    }
}

} // namespace rtd
