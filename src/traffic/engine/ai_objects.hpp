#pragma once
// The AI aircraft the traffic thread keeps: a static parked aircraft at a stand of the park
// airport, and a live aircraft of the traffic service from its first report to its removal.
// A LiveAI starts with the fields of a ParkedAI, so the command and removal helpers take
// either as a ParkedAI&.
//
// The lists hold the objects by value and move them when they grow or compact: other code
// keeps hexids, aircraft ids and object ids, never pointers. Only the traffic thread changes
// them.

#include "core/block_pool.hpp"
#include "core/geo.hpp"
#include "traffic/records.hpp"

#include <cstdint>
#include <deque>
#include <limits>
#include <type_traits>
#include <vector>

namespace rtd {

enum class SimStatus : std::uint32_t {
    waiting = 0,      // gathering updates, not in the simulator
    requested = 1,    // placed, creation requested or queued
    inSim = 2,        // in the simulator
    liveryChange = 3, // frozen, its removal sent, to be created again
    removed = 4,
};

enum class Phase : std::uint32_t {
    pushBack = 0,
    enginesStarted = 1,
    groundMoving = 2,
    takeOffRoll = 3,
    airborne = 4,
    taxiToStand = 5,
    atStand = 6,
    fresh = 7, // new, not placed
};

// A live aircraft's queued updates, oldest first. Its blocks are recycled, so that the
// traffic thread's polls, which append as many updates as they play, allocate nothing.
using UpdateQueue = std::deque<PositionUpdate, RecyclingAllocator<PositionUpdate>>;

inline constexpr std::uint32_t throttleNoneSent = 5;
inline constexpr std::uint32_t flapsNoneSent = 4;

struct ParkedAI {
    FlightRecord flight;
    std::uint32_t objectId = 0;   // 0 until the simulator reports the object
    double standLat = 0.0;        // degrees
    double standLon = 0.0;
    double standHeading = 0.0;    // radians
    std::int64_t arrivalDayHalfHour = 0; // as dayHalfHour; the stay at a stand counts from it
    std::uint32_t optionHexid = 0;
    std::uint32_t standId = 0;
    SimStatus simStatus = SimStatus::waiting;
    std::uint32_t throttleState = throttleNoneSent;
    std::uint32_t flapsState = flapsNoneSent;
    bool cabinLightsOff = false;
    bool optionHexidKnown = false;
    bool removeWhenCreated = false;
    // Static parking's own: the placed fit entry's value and whether it was a soft fit.
    std::uint32_t fitValue = 0;
    bool softFit = false;

    std::uint32_t id() const { return flight.hexid; }
};

struct LiveAI : ParkedAI {
    // Moves are nothrow so that the list moves its objects when it grows (the queue's move
    // allocates only an empty map).
    LiveAI() = default;
    LiveAI(const LiveAI&) = default;
    LiveAI(LiveAI&&) noexcept = default;
    LiveAI& operator=(const LiveAI&) = default;
    LiveAI& operator=(LiveAI&&) noexcept = default;

    double lat = 0.0; // degrees
    double lon = 0.0;
    double pitch = 0.0; // radians
    double bank = 0.0;
    double heading = 0.0;
    double altitude = 0.0; // feet
    double simVerticalSpeed = 0.0; // feet per second
    double simAirspeed = 0.0;      // knots
    UpdateQueue updates;            // oldest first; the front is the next target
    double lastFeedTimestamp = 0.0;     // seconds
    double checkedLat = 0.0;
    double checkedLon = 0.0;
    std::int64_t parkedSince = 0; // 100 ns ticks of the traffic clock
    std::int32_t extrapolationCountdown = 0;
    Phase phase = Phase::fresh;
    Phase previousPhase = Phase::fresh;
    bool erase = false;
    bool recalcMark = false;
    bool onGround = false;
    bool heldForUser = false;
    bool recreate = false;
    bool flightPlanSet = false; // a flight-plan file exists for its object
    bool coupledSearched = false; // its second callsign was searched at the stands
    // Movement steps per poll.
    double latStep = 0.0; // degrees
    double lonStep = 0.0;
    double pitchStep = 0.0; // radians
    double bankStep = 0.0;
    double headingStep = 0.0;
    double groundHeading = 0.0;
    double verticalStep = 0.0; // feet
    double targetVerticalSpeed = 0.0; // ft/min
    double targetAirspeed = 0.0;      // knots
    // The rotation countdown of a take-off roll, also the touch-down watch: 1 when idle.
    std::int32_t takeOffCountdown = 1;
    // Polls by which a re-timed due poll may move earlier or later than reported.
    std::int32_t earlyLimit = 1000;
    std::int32_t lateLimit = 1000;
    std::int32_t flareStage = 0;
    std::int32_t creepCount = 0;
    std::int32_t pushBackCountdown = 0;
    double bearingToNext = 0.0;
    double heightAboveGround = 2500.0; // feet, as the simulator last reported it
    double farthestSeen = 0.0;
    double creepStart = 0.0;
    double creepLast = 0.0;
    double headingOverride = 0.0;
    double landingHeading = 0.0;
    double flareReference = 0.0;       // feet, the ground the flare measures from
    double heightAboveReference = 0.0; // feet
    double turnToNext = 0.0;           // degrees
    // A ground curve: origin, end point and control point in metres from the origin over the
    // parameter 0..1; NaN control coordinates mean no curve.
    CurveSegment curve{.originLat = 0, .originLon = 0, .t0 = 0, .endNorth = 0, .endEast = 0, .t1 = 1,
                       .controlEast = std::numeric_limits<double>::quiet_NaN(),
                       .controlNorth = std::numeric_limits<double>::quiet_NaN()};
    double curveParameter = 0.0;
    double curveParameterStep = 0.0;
    double curveTurnAngle = 0.0; // degrees
    PositionUpdate savedUpdate;  // the other end of a push back's swing
    bool headingOverrideSet = false;
    bool turnRight = false;
    bool turnKnown = false;
    bool landing = false;
    bool approach = false;
    bool derotating = false;
    bool landingRoll = false;
    bool landed = false;
    bool towed = false;
    bool takeOffRun = false;
    bool pushBackPending = false;
    bool turning = false;
    bool climbOut = false;
    bool flareReferenceValid = false;
    bool lightsAbove10000 = false; // which lights record was last sent in the air
    bool lightsBelow10000 = false;

    bool curveActive() const { return curve.controlEast == curve.controlEast && curve.controlNorth == curve.controlNorth; }

    // The one way the phase changes: the old one is kept unless it stays the same.
    void setPhase(Phase next)
    {
        if (next != phase) {
            previousPhase = phase;
            phase = next;
        }
    }
};

inline LatLon positionOf(const PositionUpdate& u)
{
    return {u.lat, u.lon};
}

ParkedAI constructParkedAI(const FlightRecord& flight, std::uint32_t standId, double standLat, double standLon,
                           double standHeading, bool cabinLightsOff);
LiveAI constructLiveAI(const PositionUpdate& first, const FlightRecord& flight, double timestamp);
LiveAI copyLiveAI(const LiveAI& ai);
FlightRecord copyFlightRecordBase(const ParkedAI& ai);

static_assert(std::is_nothrow_move_constructible_v<LiveAI> && std::is_nothrow_move_assignable_v<LiveAI>);
static_assert(std::is_nothrow_move_constructible_v<ParkedAI> && std::is_nothrow_move_assignable_v<ParkedAI>);

// Erases element `index` by moving the last element into its place.
template <typename T>
void eraseBySwap(std::vector<T>& list, std::size_t index)
{
    if (index + 1 != list.size())
        list[index] = std::move(list.back());
    list.pop_back();
}

} // namespace rtd
