#include "traffic/live_motion.hpp"

#include "traffic/ai_commands.hpp"

namespace rtd {

void advanceLiveAI(LiveAI& ai)
{
    if (!ai.updates.empty()) {
        const PositionUpdate& front = ai.updates.front();
        ai.lat = front.lat;
        ai.lon = front.lon;
        ai.altitude = front.altitudeFt;
        ai.onGround = !front.airborne;
        ai.updates.pop_front();
    }
    if (ai.updates.size() < 2)
        markAIRemoved(ai);
}

void stepLiveAI(LiveAI&) {}

void endExtrapolation(LiveAI& ai)
{
    ai.extrapolationCountdown = 0;
}

void startTakeOffRoll(LiveAI&) {}

} // namespace rtd
