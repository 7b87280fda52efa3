#pragma once
// The AI command hand-over between the traffic thread and the simulator client.
//
// Until the command queues are built here, a frame drains nothing and a created object is
// only released from the simulator's control.

#include <cstdint>

namespace rtd {

// Simulator client thread, for every Frame event.
void onSimFrame();

// Simulator client thread, when a created object is identified: releases it from the
// simulator's AI control (under simConnectMutex).
void releaseAndFreezeAI(std::uint32_t objectId);

} // namespace rtd
