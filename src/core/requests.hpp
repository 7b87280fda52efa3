#pragma once
// Requests from the window's controls to the traffic thread and the run phase, and the few
// values the controls hand to them. The window sets a flag with exchange(true); its consumer
// clears it when it takes the request, so clicks while a request is pending merge with it.

#include <atomic>
#include <cstdint>

namespace rtd {

inline std::atomic<bool> flushStaticRequest{false};     // remove the static parked aircraft
inline std::atomic<bool> reReadRequested{false};        // re-read the park-airport list
inline std::atomic<bool> blockCallsignRequest{false};   // remove live aircraft with BLOCK_CALLSIGN
inline std::atomic<bool> followCallsignRequest{false};  // look up CALLSIGN_2_OBJECTID's object id
inline std::atomic<bool> matchingChangedRequest{false}; // MATCHING_DEPTH was raised
inline std::atomic<bool> staticRecalcRequest{false};    // recalculate the static parking

// The park airport's own settings changed: its file is to be written again.
inline std::atomic<bool> parkParamsChanged{false};
// The user's MAX_LIVE outside a park airport.
inline std::atomic<std::int32_t> liveLimit{300};

} // namespace rtd
