#pragma once
// What the live-traffic and airport code uses of the livery subsystem, in one include:
// model categories and wingspans, registration records, scenery publishers, livery
// matching for live and parked aircraft, and the bookkeeping of liveries the simulator
// refused.
//
// sizeCategory, wingspanOf, maxHalfWingspanNm, isKnownModel, lookupRegcode, regcodeKnown,
// dbaseModelOf                                 dbase.hpp
// publishers (modelDatabase().publishers), findPublisherByPatterns, matchesPattern
//                                              publishers.hpp
// LiveryRef                                    livery_ref.hpp
// matchLivery, matchStaticLivery, MatchRecord, logMatchingSummary, logDailyMatchingSummary
//                                              matching.hpp
// excludedTitles, reportLiveryNotCreated       fixes.hpp

#include "liveries/dbase.hpp"
#include "liveries/fixes.hpp"
#include "liveries/livery_ref.hpp"
#include "liveries/matching.hpp"
#include "liveries/publishers.hpp"
