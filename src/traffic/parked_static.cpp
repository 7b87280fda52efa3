#include "traffic/parked_static.hpp"

namespace rtd {

bool isInUserPath(const LiveAI&)
{
    return false;
}

void enforceMaxParked(int) {}

void placeStaticParked() {}

bool staticFitPending()
{
    return false;
}

void avoidCollisionUserGround() {}

bool avoidCollisionUserAir(LiveAI&)
{
    return false;
}

} // namespace rtd
