#pragma once
// The simulator flight plans of live aircraft: one small file per object in the folder
// "orig_dest" of the program data folder, created for a run and removed at exit.

#include "traffic/records.hpp"

#include <cstdint>
#include <filesystem>
#include <string>

namespace rtd {

// Set by createFlightPlanFolder before the traffic and simulator threads start; read by the
// traffic thread and the final exit once they have stopped.
extern std::filesystem::path flightPlanFolder;

// Creates the program data folder and "orig_dest" in it when missing. A failure is logged
// and gives false: the run goes on without flight plans.
bool createFlightPlanFolder();

// "{}.pln" of the object id, relative to the flight-plan folder.
std::filesystem::path flightPlanFileName(std::uint32_t objectId);

// The text of an aircraft's plan; origin and destination are XML-escaped.
std::string flightPlanText(const FlightRecord& flight);

// Writes the plan whole (a temporary file renamed over `path`): 1 on success, 0 when it
// cannot be written (nothing is left behind then).
int writeFlightPlan(const std::filesystem::path& path, const FlightRecord& flight);

// Removes the flight-plan folder with its files; a failure is logged. True when the folder
// no longer exists afterwards.
bool gf_removeFlightPlanFolder();

} // namespace rtd
