// Off Windows there is no client library: the in-process stand-in serves every call.

#include "simulator/client_library.hpp"

namespace rtd::sim {

ClientLibrary* platformClientLibrary()
{
    return nullptr;
}

std::string platformChoiceText()
{
    return "Simulator: the in-process stand-in";
}

void releaseClientLibrary() {}

} // namespace rtd::sim
