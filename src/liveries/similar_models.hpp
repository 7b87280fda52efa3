#pragma once
// Models to fall back to when no livery of an aircraft's own model is installed: per model,
// the models of its similar group that have a livery; per airline, the similar models of a
// model it has no livery for that it does have liveries of. Built after the livery tables
// (lookup_tables.hpp) on the start-up worker.
//
// The queries run on the traffic thread only: they shuffle the stored lists in place and
// hand out references to them, valid until the next query or build.

#include "liveries/lookup_tables.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace rtd {

extern TextMap<std::vector<std::string>> similarModels;
extern TextMap<TextMap<std::vector<std::string>>> airlineSimilarModels;

// Builds both tables (existing keys keep their entries) and logs "N similar model definitions".
void buildSimilarModels();
void buildAirlineSimilarModels(const std::string& airline);

// The similar models to try for a model; for an unlisted Light, Buzjets or Rotorcraft model
// one model of its category that has a livery (possibly the model itself); else none.
const std::vector<std::string>& similarGenericModels(std::string_view model);
// The similar models the airline has liveries of, for a model it has none of; else none.
const std::vector<std::string>& similarAirlineModels(std::string_view airline, std::string_view model);

// Empties both tables (tests).
void clearSimilarModels();

} // namespace rtd
