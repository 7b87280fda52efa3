#pragma once
// What the live-traffic code and the application use of the airport subsystem, in one
// include:
//
// AirportRecord, airportRecords, readAirports, findAirport, airportDisplayName, airportNames
//                                              airport_database.hpp
// the airport-file folders, xmlFileName, findAirportFile, learnedFolderFor
//                                              airport_folders.hpp
// AirportFileData, ParkingPosition, saveAirportFile
//                                              airport_file.hpp
// getXmlBool, getXmlNumber, getXmlString, readNumParkpos, readPublisher, describePublisher
//                                              airport_file_read.hpp
// QualityFactors, computeQualityFactors, qualityFactorText, logMaxFitHalfHours
//                                              quality.hpp
// StandOption and its helpers                  stand_option.hpp
// the park airports                            park_airports.hpp
// the park airport's state (parkAirport)       park_airport_state.hpp
// the stand services (standById, findStandForAircraft, addRealOption, ...), FitEntry and
// fitList                                      stands.hpp
// gf_readApf, the learned file, saving it      park_airport_file.hpp
// the port to live traffic                     traffic_port.hpp
// static parking: generation, adjustment, removal
//                                              static_parking.hpp

#include "airports/database/airport_database.hpp"
#include "airports/database/airport_folders.hpp"
#include "airports/database/quality.hpp"
#include "airports/files/airport_file.hpp"
#include "airports/files/airport_file_read.hpp"
#include "airports/files/park_airport_file.hpp"
#include "airports/files/stand_option.hpp"
#include "airports/parking/park_airport_state.hpp"
#include "airports/parking/park_airports.hpp"
#include "airports/parking/stands.hpp"
#include "airports/parking/static_parking.hpp"
#include "airports/traffic_port.hpp"
