#include "liveries/matching.hpp"

#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/random.hpp"
#include "core/text.hpp"
#include "liveries/aircraft_cfg.hpp"
#include "liveries/fixes.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/similar_models.hpp"

#include <algorithm>
#include <fmt/format.h>
#include <iterator>
#include <mutex>
#include <optional>
#include <unordered_set>

namespace rtd {

std::array<std::uint32_t, matchStepCount> matchStepCounters{};

namespace {

constexpr int noMatch = 0;
constexpr int randomDraws = 5;

bool listed(const std::vector<LiveryRef>& titles, LiveryRef title)
{
    return std::find(titles.begin(), titles.end(), title) != titles.end();
}

bool refused(LiveryRef title)
{
    return listed(excludedTitles, title);
}

// specialTitles as a set, so a pick is tested in constant time. specialTitles only grows
// while the process runs, so the set takes in the list's new tail. When the entries it took
// in are no longer where they were (the list was emptied and filled again, as tests do),
// it starts afresh. One set serves every matching thread.
class SpecialTitleSet {
public:
    bool contains(LiveryRef title)
    {
        const std::lock_guard lock(mutex_);
        refresh();
        return titles_.contains(title);
    }

private:
    void refresh()
    {
        if (specialTitles.size() < indexed_ ||
            (indexed_ > 0 && (specialTitles.front() != first_ || specialTitles[indexed_ - 1] != last_))) {
            titles_.clear();
            indexed_ = 0;
        }
        for (; indexed_ < specialTitles.size(); ++indexed_)
            titles_.insert(specialTitles[indexed_]);
        if (indexed_ > 0) {
            first_ = specialTitles.front();
            last_ = specialTitles.back();
        }
    }

    std::mutex mutex_;
    std::unordered_set<LiveryRef> titles_;
    std::size_t indexed_ = 0;
    LiveryRef first_;
    LiveryRef last_;
};

bool special(LiveryRef title)
{
    // Never destroyed, so a thread still matching while the process ends finds it whole.
    static SpecialTitleSet& set = *new SpecialTitleSet;
    return set.contains(title);
}

// A random pick may take the title: it is neither special nor refused.
bool pickable(LiveryRef title)
{
    return !special(title) && !refused(title);
}

// A pick among the usable entries of the list after the draws found none: uniform with
// RANDOM on, the first one with RANDOM off (randomIndex gives 0); empty when none is usable.
LiveryRef pickUsable(const std::vector<LiveryRef>& list)
{
    if (!RANDOM.value()) {
        const auto first = std::find_if(list.begin(), list.end(), pickable);
        return first == list.end() ? LiveryRef() : *first;
    }
    std::vector<LiveryRef> usable;
    std::copy_if(list.begin(), list.end(), std::back_inserter(usable), pickable);
    if (usable.empty())
        return {};
    return usable[static_cast<std::size_t>(randomIndex(static_cast<std::int64_t>(usable.size())))];
}

const std::vector<LiveryRef>* modelList(const ModelLiveries& table, std::string_view model)
{
    const auto found = table.find(model);
    return found == table.end() ? nullptr : &found->second;
}

bool pickFromAirlineTable(MatchRecord& record, const TextMap<ModelLiveries>& table, std::string_view airline,
                          std::string_view model)
{
    const auto found = table.find(airline);
    if (found == table.end())
        return false;
    const std::vector<LiveryRef>* list = modelList(found->second, model);
    if (list == nullptr)
        return false;
    pickRandomLivery(record, *list);
    return !record.livery.empty();
}

bool detailLinesWanted()
{
    return LOG.value() && logIsOpen();
}

void logMatchLine(const MatchRecord& record, std::string_view mark)
{
    if (detailLinesWanted())
        logLine(fmt::format("          {} ={}= {}", record.aircraftLine ? record.aircraftLine() : std::string(), mark,
                            record.livery));
}

// The model database's airline of the registration, looked up once and only when asked.
class DbaseAirline {
public:
    explicit DbaseAirline(std::string_view registration) : registration_(registration) {}

    // Empty unless the database knows the registration's operator.
    const std::string& airline()
    {
        if (!airline_) {
            const std::optional<DbaseRecord> record = lookupRegcode(registration_);
            airline_ = record && !record->opr.empty() ? record->airl : std::string();
        }
        return *airline_;
    }

private:
    std::string_view registration_;
    std::optional<std::string> airline_;
};

// The first similar model of the airline's own list that the airline has a livery of.
bool lookupSimilarModelOf(MatchRecord& record, std::string_view airline)
{
    for (const std::string& model : similarAirlineModels(airline, record.model))
        if (lookupAirlineModel(record, airline, model))
            return true;
    return false;
}

// Chain step 3: a similar model of the airline, then one of the database's airline, each
// from that airline's own list of similar models it has liveries of.
bool lookupSimilarAirlineModel(MatchRecord& record, std::string_view airline, DbaseAirline& dbase)
{
    if (lookupSimilarModelOf(record, airline))
        return true;
    const std::string& dbaseAirline = dbase.airline();
    return !dbaseAirline.empty() && lookupSimilarModelOf(record, dbaseAirline);
}

// Whether the steps by model alone apply to the category.
bool genericCategory(AircraftCategory category)
{
    return category == Light || category == Buzjets || category == Rotorcraft;
}

// Chain steps 2 to 6; the step that set the livery, or noMatch. `parked` runs the airline
// steps also without an airline.
int matchBeyondRegistration(MatchRecord& record, bool parked)
{
    const int depth = MATCHING_DEPTH.value();
    if (depth < 2)
        return noMatch;
    const std::string_view airline = record.airline;
    const std::string_view model = record.model;
    const bool privateAircraft = airline == privateAirlineCode;
    const bool airlineSteps = parked || !airline.empty();
    DbaseAirline dbase(record.registration);

    if (privateAircraft && lookupAirlineModel(record, defaultAirlineCode, model))
        return 4;
    if (airlineSteps) {
        if (lookupAirlineModel(record, airline, model))
            return 2;
        const std::string& dbaseAirline = dbase.airline();
        if (!dbaseAirline.empty() && lookupAirlineModel(record, dbaseAirline, model))
            return 2;
    }
    if (depth < 3)
        return noMatch;
    if (airlineSteps && lookupSimilarAirlineModel(record, airline, dbase))
        return 3;
    if (depth == 4 && lookupAirlineModel(record, defaultAirlineCode, model))
        return 4;
    if (!genericCategory(record.category))
        return noMatch;
    if (!privateAircraft && lookupAirlineModel(record, defaultAirlineCode, model))
        return 4;
    if (lookupGenericModel(record, model))
        return 5;
    for (const std::string& similar : similarGenericModels(model))
        if (lookupGenericModel(record, similar))
            return 6;
    return noMatch;
}

} // namespace

bool matchByRegistration(MatchRecord& record)
{
    if (!record.registration.empty()) {
        const auto found = regcodeMap.find(record.registration);
        if (found != regcodeMap.end() && !refused(found->second))
            record.livery = found->second;
    }
    return !record.livery.empty();
}

void pickRandomLivery(MatchRecord& record, const std::vector<LiveryRef>& list)
{
    const auto size = static_cast<std::int64_t>(list.size());
    for (int draw = 0; draw < randomDraws; ++draw) {
        record.livery = list[static_cast<std::size_t>(randomIndex(size))];
        if (pickable(record.livery))
            return;
    }
    record.livery = pickUsable(list);
}

bool lookupAirlineModel(MatchRecord& record, std::string_view airline, std::string_view model)
{
    if (pickFromAirlineTable(record, record.cargo ? airlineCargoLiveries : airlinePaxLiveries, airline, model))
        return true;
    return record.cargo && pickFromAirlineTable(record, airlinePaxLiveries, airline, model);
}

bool lookupGenericModel(MatchRecord& record, std::string_view model)
{
    const std::vector<LiveryRef>* list = modelList(record.cargo ? modelCargoLiveries : modelPaxLiveries, model);
    if (list != nullptr)
        pickRandomLivery(record, *list);
    return !record.livery.empty();
}

void matchLivery(MatchRecord& record)
{
    const int step = matchByRegistration(record) ? 1 : matchBeyondRegistration(record, false);
    if (record.livery.empty())
        return;
    if (refused(record.livery)) {
        record.livery = {};
        return;
    }
    ++matchStepCounters[static_cast<std::size_t>(step - 1)];
    logMatchLine(record, std::to_string(step));
    record.fsltl = record.livery.find("FSLTL_") != LiveryRef::npos ? 1 : 0;
}

bool matchStaticLivery(MatchRecord& record, std::string_view standName, bool cargoStand)
{
    if (!record.livery.empty() && refused(record.livery))
        record.livery = {};
    if (!record.livery.empty()) {
        logMatchLine(record, "s");
        return true;
    }
    int step = 1;
    if (!matchByRegistration(record)) {
        record.cargo = cargoStand ? 1 : 0;
        step = matchBeyondRegistration(record, true);
    }
    if (record.livery.empty()) {
        if (detailLinesWanted())
            logLine(fmt::format("{:8}: {} no livery match ...", standName,
                                record.pairText ? record.pairText() : std::string()));
        return false;
    }
    if (refused(record.livery)) {
        record.livery = {};
        return false;
    }
    logMatchLine(record, std::to_string(step));
    return true;
}

std::vector<std::string> matchingSummaryLines()
{
    const std::string title = "live traffic livery matching summary";
    std::vector<std::string> lines{makeBanner(100 - static_cast<long>(title.size()), 0, true, false, title),
                                   "Matches at step: "};
    for (int step = 1; step <= matchStepCount; ++step)
        lines.push_back(fmt::format("  {}: {}", step, matchStepCounters[static_cast<std::size_t>(step - 1)]));
    const std::vector<std::string> failed = failedLiveryLines();
    if (!failed.empty()) {
        lines.push_back(fmt::format("\nCould not be created by {}:", "MSFS"));
        lines.insert(lines.end(), failed.begin(), failed.end());
    }
    lines.push_back(makeBanner(100 - static_cast<long>(title.size()), static_cast<long>(title.size()), false, true, ""));
    return lines;
}

void logMatchingSummary()
{
    for (const std::string& line : matchingSummaryLines())
        logLine(line);
}

void logDailyMatchingSummary(std::int64_t tick)
{
    if (tick > 0 && tick % secondsPerDay == 0)
        logMatchingSummary();
}

} // namespace rtd
