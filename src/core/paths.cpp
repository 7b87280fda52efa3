#include "core/paths.hpp"

#include "platform/platform.hpp"

namespace rtd {
namespace {
ProgramPaths programPaths;
} // namespace

void initProgramPaths()
{
    ProgramPaths fresh;
    fresh.programDataFolder = platform::appDataFolder() / "Ramptide";
    fresh.parametersPath = fresh.programDataFolder / fresh.parametersFileName;
    programPaths = std::move(fresh);
}

const ProgramPaths& paths()
{
    return programPaths;
}

} // namespace rtd
