#pragma once
// A steady traffic world for the poll and datagram benchmarks: `count` live aircraft in a
// deterministic stand-in simulator around a park airport without stands, 60 % cruising on
// circles, 10 % taking off, 10 % landing and 20 % taxiing round squares (a curve at every
// corner). Every aircraft keeps 10 to 20 queued updates: between polls the world tops its
// queue up from its path, two cruising aircraft a poll by a report in trafficReportQueue
// (merged by the poll), the rest directly; an aircraft whose take-off or landing is over
// starts it again from its first point (re-armed). Aircraft hexids are 5000000 and up.
//
// One poll, as the program runs it: a simulator frame and its dispatch (the simulator client
// thread's part), the world's feeding (the traffic reader's part), then trafficCycle().
// Everything runs on one thread at a time: the one that builds the world, then the one polling it.

#include "airports/parking/park_airport_state.hpp"
#include "airports/services.hpp"
#include "core/parameters.hpp"
#include "simulator/stand_in.hpp"
#include "traffic/engine/ai_state.hpp"
#include "traffic/engine/flight_plans.hpp"
#include "traffic/engine/live_merge.hpp"
#include "traffic/engine/motion/motion_math.hpp"
#include "traffic/engine/traffic_thread.hpp"
#include "traffic/link/service_link.hpp"
#include "traffic/simulator_link/ai_commands.hpp"
#include "traffic/simulator_link/sim_client.hpp"
#include "traffic/simulator_link/sim_events.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace rtd::bench {

class PollWorld {
public:
    enum class Motion { cruise, takeOff, landing, taxi };
    static constexpr std::uint32_t firstHexid = 5000000;

    explicit PollWorld(int count)
    {
        // The flight plans of the created objects go to a folder of the world's own.
        std::filesystem::create_directories(planFolder_);
        flightPlanFolder = planFolder_;
        sim_->recordCalls(false);
        sim::installStandIn(sim_);
        resetSimLink();
        clearAIContainers();
        resetTrafficState();
        reserveAIQueues(static_cast<std::size_t>(count) * 4);
        lateralRangeNm = 40;
        parkAirport.icao = "EHAM";
        parkAirport.position = airport;
        parkAirport.elevationFt = 0.0;
        pollCounter = 1;
        cycleTick = 0;
        setFlightRunning(true);
        if (openSimConnect() != OpenOutcome::connected || !dispatchSimConnect())
            throw std::runtime_error("the stand-in did not connect");
        sim_->setFrameRate(100);
        // The user waits on the ground north of the field, clear of every live aircraft.
        sim_->setUser({.lat = airport.lat + 0.03, .lon = airport.lon, .onGround = true});
        {
            std::lock_guard lock(simConnectMutex);
            sim::SimConnect_RequestDataOnSimObject(simConnectHandle, userOnGroundRequest, defineUserOnGround,
                                              sim::userObject, sim::periodSecond);
        }
        userStateCache = requestUserAircraftPosition();
        for (int i = 0; i < count; ++i)
            crafts_.push_back(makeCraft(i));
        create();
        for (Craft& c : crafts_)
            arm(c);
        for (int i = 0; i < warmUpPolls; ++i)
            step();
        if (inSimCount() != crafts_.size())
            throw std::runtime_error("aircraft left the simulator while warming up");
    }

    ~PollWorld()
    {
        setFlightRunning(false);
        resetSimLink();
        clearAIQueues();
        resetTrafficState();
        parkAirport.icao.clear();
        lateralRangeNm = LATERAL_RANGE.defaultValue();
        sim::installStandIn(nullptr);
        flightPlanFolder.clear();
        std::error_code ignored;
        std::filesystem::remove_all(planFolder_, ignored);
    }

    PollWorld(const PollWorld&) = delete;
    PollWorld& operator=(const PollWorld&) = delete;

    // The simulator client thread's part of a poll: one frame and its dispatch.
    void frame()
    {
        sim_->frames(1);
        dispatchSimConnect();
    }

    // The reader's part: queues topped up, finished take-offs and landings re-armed, and
    // (with `queueReports`) the next reports of two cruising aircraft in trafficReportQueue.
    void feed(bool queueReports = true)
    {
        for (Craft& c : crafts_)
            c.queued = false;
        if (queueReports)
            for (int n = 0; n < 2; ++n)
                queueNextReport();
        for (Craft& c : crafts_) {
            LiveAI* ai = find(c);
            if (ai == nullptr || ai->simStatus != SimStatus::inSim)
                continue;
            if (c.rearmAt != 0 && c.next - static_cast<int>(ai->updates.size()) >= c.rearmAt) {
                arm(c);
                continue;
            }
            while (!c.queued && ai->updates.size() < c.depth)
                appendPositionUpdate(*ai, nextUpdate(c, *ai));
        }
    }

    // A whole poll: frame, feeding and the traffic cycle.
    void step()
    {
        frame();
        feed();
        trafficCycle();
    }

    std::size_t inSimCount() const
    {
        return static_cast<std::size_t>(std::count_if(crafts_.begin(), crafts_.end(), [this](const Craft& c) {
            const LiveAI* ai = find(c);
            return ai != nullptr && ai->simStatus == SimStatus::inSim;
        }));
    }

    // What the aircraft are doing now, as shares of all: in the air, on the ground, taking off
    // or landing (from the take-off run or the approach set-up to the end of the landing roll),
    // of those in the roll, the flare, the de-rotation or the landing roll, on a ground curve;
    // and the mean queue depth.
    struct Mix {
        double airborne = 0, onGround = 0, takeOffOrLanding = 0, runway = 0, curving = 0, depth = 0;

        Mix& operator+=(const Mix& m)
        {
            airborne += m.airborne;
            onGround += m.onGround;
            takeOffOrLanding += m.takeOffOrLanding;
            runway += m.runway;
            curving += m.curving;
            depth += m.depth;
            return *this;
        }
    };
    Mix mix() const
    {
        Mix m;
        for (const Craft& c : crafts_) {
            const LiveAI* ai = find(c);
            if (ai == nullptr)
                continue;
            ++(ai->onGround ? m.onGround : m.airborne);
            if (ai->takeOffRun || ai->phase == Phase::takeOffRoll || ai->landing || ai->landingRoll)
                ++m.takeOffOrLanding;
            if (ai->phase == Phase::takeOffRoll || ai->flareStage > 0 || ai->derotating || ai->landingRoll)
                ++m.runway;
            m.curving += ai->curveActive() ? 1 : 0;
            m.depth += static_cast<double>(ai->updates.size());
        }
        const auto all = static_cast<double>(crafts_.size());
        return {m.airborne / all, m.onGround / all, m.takeOffOrLanding / all, m.runway / all, m.curving / all,
                m.depth / all};
    }

private:
    static constexpr LatLon airport{52.3086, 4.7639};
    static constexpr int warmUpPolls = 9000; // about a take-off or landing and back
    static constexpr std::size_t creationBatch = 100;
    static constexpr double taxiKt = 15.0;
    static constexpr double taxiPointMetres = 25.0; // four to a side of a 100 m square

    struct Craft {
        std::uint32_t hexid = 0;
        Motion motion = Motion::cruise;
        std::size_t index = 0;  // in liveAIList while no other aircraft was erased before it
        std::size_t depth = 10; // queued updates kept
        int variant = 0;
        int next = 0;           // the path point fed next
        int rearmAt = 0;        // path points played before a re-arm; 0: never
        double firstSeconds = 0.0;
        bool queued = false;    // its next report waits in trafficReportQueue
    };

    struct PathPoint {
        LatLon at;
        double altitudeFt = 0.0, verticalSpeed = 0.0, speedKt = 0.0, trackDeg = 0.0;
        double seconds = 0.0; // after the first point
    };

    Craft makeCraft(int i) const
    {
        Craft c;
        c.hexid = firstHexid + static_cast<std::uint32_t>(i);
        c.index = static_cast<std::size_t>(i);
        c.depth = 10 + static_cast<std::size_t>(i % 11);
        c.variant = i / 10;
        const int slot = i % 10;
        c.motion = slot < 6 ? Motion::cruise : slot == 6 ? Motion::takeOff : slot == 7 ? Motion::landing : Motion::taxi;
        if (c.motion == Motion::taxi)
            c.variant = i / 10 * 2 + (slot - 8);
        // Over once the take-off passed 1,500 ft / the landing roll turned off the runway.
        if (c.motion == Motion::takeOff)
            c.rearmAt = takeOffTaxiPoints(c) + static_cast<int>(std::size(rollSpeedsKt)) + 11;
        if (c.motion == Motion::landing)
            c.rearmAt = approachPoints(c) + static_cast<int>(std::size(landingSpeedsKt)) + 3;
        return c;
    }

    static constexpr double rollSpeedsKt[] = {20, 40, 60, 80, 100, 120, 140};
    static constexpr double landingSpeedsKt[] = {130, 110, 90, 70, 50, 35};

    static int takeOffTaxiPoints(const Craft& c) { return c.variant % 8; }
    static int approachPoints(const Craft& c) { return 12 + c.variant % 8; } // 46.7 ft each

    static LatLon along(LatLon from, double trackDeg, double nm)
    {
        return destinationPoint(from, trackDeg * radiansPerDegree, nm * feetPerNm);
    }
    static double nmIn(double kt, double seconds) { return kt * seconds / 3600.0; }

    // Point k of the aircraft's path.
    static PathPoint point(const Craft& c, int k)
    {
        switch (c.motion) {
        case Motion::cruise: {
            // A circle round the field, 420 kt, a point every 3 s, clockwise.
            const double radiusNm = 5.0 + c.variant % 10;
            const double step = nmIn(420, 3) / radiusNm;
            const double bearing = 0.7 * c.variant + step * k;
            PathPoint p{.at = destinationPoint(airport, bearing, radiusNm * feetPerNm),
                        .altitudeFt = 20000.0 + 1000.0 * (c.variant % 15),
                        .speedKt = 420,
                        .trackDeg = std::fmod(bearing / radiansPerDegree + 90.0, 360.0),
                        .seconds = 3.0 * k};
            return p;
        }
        case Motion::taxi: {
            // A 100 m square south-east of the field, one per aircraft, at 15 kt.
            const LatLon corner = along(along(airport, 180, 1.5 + 0.15 * (c.variant / 20)), 90,
                                        0.5 + 0.15 * (c.variant % 20));
            const int at4 = k + c.variant % 16; // round the square from different points
            const int side = (at4 / 4) % 4;
            const double trackDeg = 90.0 * side;
            static constexpr double sideStart[4][2] = {{0, 0}, {100, 0}, {100, 100}, {0, 100}}; // north, east m
            const double north = sideStart[side][0], east = sideStart[side][1];
            LatLon at = along(along(corner, 0, north / 1852.0), 90, east / 1852.0);
            at = along(at, trackDeg, taxiPointMetres * (at4 % 4) / 1852.0);
            return {.at = at, .speedKt = taxiKt, .trackDeg = trackDeg,
                    .seconds = k * taxiPointMetres / (taxiKt * 1852.0 / 3600.0)};
        }
        case Motion::takeOff: {
            // Taxi onto a runway heading north 2 nm south of the field, roll, climb at 2,000 fpm.
            const LatLon start = along(along(airport, 180, 2.0), 270, 0.3 * (c.variant % 4));
            const int taxi = takeOffTaxiPoints(c);
            PathPoint p{.at = start, .speedKt = taxiKt, .trackDeg = 0.0};
            double seconds = 0.0;
            for (int j = 1; j <= k; ++j) {
                const int roll = j - taxi;
                const double before = p.speedKt;
                const double speed = roll < 0 ? taxiKt
                                     : roll < static_cast<int>(std::size(rollSpeedsKt)) ? rollSpeedsKt[roll]
                                                                                        : 160.0;
                const double stepS = roll < 0 ? 3.0 : 4.0;
                p.at = along(p.at, 0.0, nmIn((before + speed) / 2.0, stepS));
                p.speedKt = speed;
                seconds += stepS;
                const int climb = roll - static_cast<int>(std::size(rollSpeedsKt)) + 1;
                p.altitudeFt = climb > 0 ? 2000.0 * 4.0 / 60.0 * climb : 0.0;
                p.verticalSpeed = climb > 0 ? 2000.0 : 0.0;
            }
            p.seconds = seconds;
            return p;
        }
        case Motion::landing: {
            // 140 kt at 700 fpm onto a runway heading north at the field, then the roll and a
            // turn off at 15 kt.
            const int approach = approachPoints(c);
            const LatLon touchDown = along(airport, 270, 0.3 * (c.variant % 4));
            PathPoint p;
            if (k <= approach) {
                const double left = approach - k; // points to touch-down
                p = {.at = along(touchDown, 180, nmIn(140, 4 * left)), .altitudeFt = 700.0 * 4.0 / 60.0 * left,
                     .verticalSpeed = -700, .speedKt = 140, .trackDeg = 0};
            } else {
                p = {.at = touchDown, .speedKt = 140};
                for (int j = approach + 1; j <= k; ++j) {
                    const int roll = j - approach - 1;
                    const double before = p.speedKt;
                    const double speed = roll < static_cast<int>(std::size(landingSpeedsKt)) ? landingSpeedsKt[roll]
                                                                                              : taxiKt;
                    p.trackDeg = roll < static_cast<int>(std::size(landingSpeedsKt)) ? 0.0 : 40.0;
                    p.at = along(p.at, p.trackDeg, nmIn((before + speed) / 2.0, 4));
                    p.speedKt = speed;
                }
            }
            p.seconds = 4.0 * k;
            return p;
        }
        }
        return {};
    }

    static PositionUpdate updateAt(const PathPoint& p)
    {
        PositionUpdate u;
        u.lat = p.at.lat;
        u.lon = p.at.lon;
        u.altitudeFt = p.altitudeFt;
        u.airborne = p.altitudeFt != 0.0;
        u.groundSpeedKt = p.speedKt;
        u.trueAirspeedKt = u.airborne ? p.speedKt : 0.0;
        u.trackDeg = p.trackDeg;
        u.trueHeading = p.trackDeg * radiansPerDegree;
        u.bank = 0.0;
        u.verticalSpeed = p.verticalSpeed;
        return u;
    }

    // The next point of the path as an update due its spacing after the last queued one;
    // the feed time moves on with it.
    PositionUpdate nextUpdate(Craft& c, LiveAI& ai)
    {
        const double previousSeconds = c.next == 0 ? 0.0 : point(c, c.next - 1).seconds;
        const PathPoint p = point(c, c.next++);
        PositionUpdate u = updateAt(p);
        const auto spacing = static_cast<std::int64_t>(std::lround((p.seconds - previousSeconds) * 100.0));
        u.duePoll = (ai.updates.empty() ? pollCounter.load() : ai.updates.back().duePoll) + spacing;
        ai.lastFeedTimestamp = c.firstSeconds + p.seconds;
        return u;
    }

    void queueNextReport()
    {
        for (std::size_t tries = 0; tries < crafts_.size(); ++tries) {
            Craft& c = crafts_[cursor_];
            cursor_ = (cursor_ + 1) % crafts_.size();
            LiveAI* ai = find(c);
            if (c.motion != Motion::cruise || c.queued || ai == nullptr || ai->simStatus != SimStatus::inSim ||
                ai->updates.size() >= c.depth)
                continue;
            TrafficReport r;
            r.hexid = c.hexid;
            r.record = static_cast<const TrafficRecord&>(ai->flight);
            const double lastFeed = ai->lastFeedTimestamp;
            r.update = nextUpdate(c, *ai);
            r.timestamp = ai->lastFeedTimestamp;
            ai->lastFeedTimestamp = lastFeed; // the merge moves it on
            c.queued = true;
            std::lock_guard lock(trafficMutex);
            trafficReportQueue.push_back(std::move(r));
            return;
        }
    }

    LiveAI* find(const Craft& c) const
    {
        if (c.index < liveAIList.size() && liveAIList[c.index].id() == c.hexid)
            return &liveAIList[c.index];
        const auto found = std::find_if(liveAIList.begin(), liveAIList.end(),
                                        [&c](const LiveAI& ai) { return ai.id() == c.hexid; });
        return found == liveAIList.end() ? nullptr : &*found;
    }

    // The aircraft placed and their creations queued a hundred at a time (the client knows the
    // 256 most recently added objects), with polls until the simulator made each hundred.
    void create()
    {
        for (std::size_t first = 0; first < crafts_.size(); first += creationBatch) {
            const std::size_t end = std::min(crafts_.size(), first + creationBatch);
            for (std::size_t i = first; i < end; ++i)
                placeForCreation(crafts_[i]);
            for (int i = 0; i < 2000 && inSimCount() < end; ++i) {
                frame();
                trafficCycle();
            }
            if (inSimCount() < end)
                throw std::runtime_error("the stand-in did not make every aircraft");
        }
    }

    void placeForCreation(const Craft& c)
    {
        TrafficRecord record;
        record.callsign = fmt::format("BEN{}", c.hexid % 100000);
        record.icaoType = "B738";
        record.airline = "BEN";
        record.origin = "EHAM";
        record.destination = "LEMD";
        record.registration = fmt::format("PH-{}", c.hexid % 100000);
        FlightRecord flight;
        constructFlightRecord(flight, record);
        flight.hexid = c.hexid;
        flight.category = Large;
        flight.halfSpan = 17.0 / 1852.0;
        flight.turnStep = turnStepDegTable.at(static_cast<std::size_t>(Large)) * radiansPerDegree;
        flight.currentTurnStep = flight.turnStep;
        flight.verticalStepCap = verticalStepCapFtTable.at(static_cast<std::size_t>(Large));
        flight.pushBackSpeedKt = pushBackSpeedKtTable.at(static_cast<std::size_t>(Large));
        flight.liveryTitle = title;
        const PositionUpdate first = updateAt(point(c, 0));
        LiveAI& ai = liveAIList.emplace_back(constructLiveAI(first, flight, 0.0));
        ai.updates.push_back(updateAt(point(c, 1)));
        place(ai);
        ai.simStatus = SimStatus::requested;
        queueAICreation({.position = {ai.lat, ai.lon, ai.altitude, 0, 0, ai.heading / radiansPerDegree, 0, 0},
                         .callsign = ai.flight.callsign, .title = title, .aircraftId = c.hexid});
    }

    // Position, attitude and phase from the first two queued updates, as placing does.
    static void place(LiveAI& ai)
    {
        const PositionUpdate& front = ai.updates.front();
        ai.lat = front.lat;
        ai.lon = front.lon;
        ai.altitude = front.altitudeFt;
        ai.onGround = !front.airborne;
        ai.heading = initialBearing(positionOf(front), positionOf(ai.updates[1]));
        ai.groundHeading = ai.onGround ? ai.heading : 0.0;
        ai.targetAirspeed = front.trueAirspeedKt;
        ai.targetVerticalSpeed = front.verticalSpeed;
        ai.setPhase(front.airborne ? Phase::airborne : Phase::groundMoving);
    }

    // The aircraft starts its path again: a fresh motion state at its first point, the queue
    // filled, the first update due now.
    void arm(Craft& c)
    {
        LiveAI* ai = find(c);
        if (ai == nullptr)
            return;
        LiveAI fresh;
        static_cast<ParkedAI&>(fresh) = static_cast<const ParkedAI&>(*ai);
        fresh.flight.currentTurnStep = fresh.flight.turnStep;
        c.next = 0;
        c.firstSeconds = ai->lastFeedTimestamp + 10.0;
        fresh.updates.push_back(nextUpdate(c, fresh));
        fresh.updates.front().duePoll = pollCounter;
        while (fresh.updates.size() < c.depth)
            fresh.updates.push_back(nextUpdate(c, fresh));
        place(fresh);
        fresh.heightAboveGround = fresh.altitude;
        *ai = std::move(fresh);
    }

    static constexpr LiveryRef title = "Bench B738";
    const std::filesystem::path planFolder_ =
        std::filesystem::temp_directory_path() / fmt::format("ramptide-bench-plans-{}", static_cast<const void*>(this));
    std::shared_ptr<sim::StandInSim> sim_ = std::make_shared<sim::StandInSim>();
    std::vector<Craft> crafts_;
    std::size_t cursor_ = 0;
};

} // namespace rtd::bench
