#include "traffic/ai_commands.hpp"

#include "simulator/simconnect.hpp"
#include "traffic/sim_client.hpp"

namespace rtd {

void onSimFrame() {}

void releaseAndFreezeAI(std::uint32_t objectId)
{
    std::lock_guard lock(simConnectMutex);
    if (simConnectHandle != nullptr)
        SimConnect_AIReleaseControl(simConnectHandle, objectId, releaseControlRequest);
}

} // namespace rtd
