#include "liveries/lookup_tables.hpp"

#include "core/display.hpp"
#include "core/log.hpp"
#include "core/parameters.hpp"
#include "core/settings_file.hpp"
#include "core/text.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/similar_models.hpp"
#include "liveries/title_table.hpp"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <stdexcept>

namespace rtd {

TextMap<ModelTitles> liveryTitleTable;
TextMap<ModelLiveries> airlinePaxLiveries;
TextMap<ModelLiveries> airlineCargoLiveries;
ModelLiveries modelPaxLiveries;
ModelLiveries modelCargoLiveries;
std::vector<std::string> lightLiveryModels;
std::vector<std::string> buzjetLiveryModels;
std::vector<std::string> rotorcraftLiveryModels;

namespace {

constexpr std::size_t pendingTitleRoom = 128;
constexpr std::size_t modelScratchRoom = 15000;
constexpr std::size_t categoryListRoom = 32;
constexpr std::size_t modelsPerLine = 20;

// One airline's models while the scan list is grouped; the titles still view the list.
class AirlineGrouping {
public:
    AirlineGrouping() { pending_.reserve(pendingTitleRoom); }

    void add(const LiveryData& record)
    {
        if (record.model != model_) {
            storeModel();
            model_ = record.model;
        }
        if (record.airline != airline_) {
            storeModel();
            storeAirline();
            airline_ = record.airline;
        }
        pending_.push_back({record.title, record.cargo});
    }

    void finish()
    {
        storeModel();
        storeAirline();
    }

private:
    void storeModel()
    {
        if (pending_.empty())
            return;
        pending_.shrink_to_fit();
        models_.try_emplace(model_, std::move(pending_));
        pending_.clear();
        pending_.reserve(pendingTitleRoom);
    }

    // A new airline's titles move into the title store; an airline the table already has
    // keeps its entry.
    void storeAirline()
    {
        if (models_.empty())
            return;
        const auto [entry, added] = liveryTitleTable.try_emplace(airline_);
        if (added) {
            for (auto& [model, entries] : models_)
                for (LiveryTitleEntry& livery : entries)
                    livery.title = titleIndex().intern(livery.title);
            entry->second = std::move(models_);
        }
        models_.clear();
    }

    std::string airline_;
    std::string model_;
    std::vector<LiveryTitleEntry> pending_;
    ModelTitles models_;
};

void storeTrimmed(ModelLiveries& table, const std::string& model, std::vector<LiveryRef>& views)
{
    if (views.empty())
        return;
    table.try_emplace(model, views.begin(), views.end());
    views.clear();
}

struct FlatLivery {
    std::string_view model;
    LiveryRef title;
    bool cargo;
};

std::vector<FlatLivery> flattenTitleTable()
{
    std::vector<FlatLivery> records;
    for (const auto& [airline, models] : liveryTitleTable)
        for (const auto& [model, entries] : models)
            for (const LiveryTitleEntry& livery : entries)
                records.push_back({model, livery.title, livery.cargo});
    return records;
}

// "  " and up to 20 comma-separated models per line.
void logModelLines(const std::vector<std::string>& models)
{
    for (std::size_t first = 0; first < models.size(); first += modelsPerLine) {
        const auto begin = models.begin() + static_cast<std::ptrdiff_t>(first);
        const auto end = models.begin() + static_cast<std::ptrdiff_t>(std::min(models.size(), first + modelsPerLine));
        logLine(fmt::format("  {}", fmt::join(begin, end, ",")));
    }
}

void sortUnique(std::vector<std::string>& models)
{
    std::sort(models.begin(), models.end());
    removeAdjacentDuplicates(models);
}

struct CategoryOption {
    GuiBoolParameter* option;
    const char* message;
};

CategoryOption categoryOption(AircraftCategory category)
{
    switch (category) {
    case Rotorcraft:
        return {&HELICOPTERS, "{} temporary switched off because you do not have Helicopters installed"};
    case HighPerf:
        return {&HIGH_PERF_AIRCRAFT, "{} temporary switched off because you do not have High Perf aircraft installed"};
    case Light:
        return {&LIGHT_AIRCRAFT, "{} temporary switched off because you do not have light aircraft installed"};
    default:
        return {nullptr, nullptr};
    }
}

// The option goes off and is saved when it was on; its check box is disabled either way.
// Both window calls post to the window's thread and return at once.
void switchOffCategory(AircraftCategory category)
{
    const CategoryOption entry = categoryOption(category);
    if (entry.option == nullptr)
        return;
    if (entry.option->value()) {
        windowDisplay().setCheckState(*entry.option, false);
        saveBoolParameter(*entry.option);
        logLine(fmt::format(fmt::runtime(entry.message), entry.option->name));
    }
    windowDisplay().enableControl(entry.option->controlId(), false);
}

// Adds the number of liveries of the category's models to `count` and the models to `models`.
void collectCategory(const ModelLiveries& table, AircraftCategory category, std::size_t& count,
                     std::vector<std::string>& models)
{
    for (const auto& [model, views] : table) {
        if (sizeCategory(model) != category)
            continue;
        count += views.size();
        models.push_back(model);
    }
}

} // namespace

void processScannedLiveries(LiveryList& scanList)
{
    logLine("\nProcessing scanned liveries");
    mainWindowGlobals.liveryCount = static_cast<std::int64_t>(scanList.size());
    windowDisplay().invalidate(headerBand);
    groupScannedLiveries(scanList);
    buildAirlineTables();
    checkInlineRegcodes(scanList);
    processOfflineRegcodes();
    logLine(fmt::format("{} registration codes", regcodeMap.size()));
    buildModelTables();
    logLine(fmt::format("{} airlines, {} pax aircraft models and {} cargo aircraft models", liveryTitleTable.size(),
                        modelPaxLiveries.size(), modelCargoLiveries.size()));
    buildSimilarModels();
    logGenericLiveries();
    for (std::vector<std::string>* list : {&lightLiveryModels, &buzjetLiveryModels, &rotorcraftLiveryModels}) {
        list->clear();
        list->reserve(categoryListRoom);
    }
    for (const AircraftCategory category : {Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft})
        logCategories(category);
}

void groupScannedLiveries(const LiveryList& scanList)
{
    AirlineGrouping grouping;
    for (const LiveryData& record : scanList)
        grouping.add(record);
    grouping.finish();
}

void buildAirlineTables()
{
    for (const auto& [airline, models] : liveryTitleTable) {
        ModelLiveries pax;
        ModelLiveries cargo;
        for (const auto& [model, entries] : models) {
            std::vector<LiveryRef> paxViews;
            std::vector<LiveryRef> cargoViews;
            for (const LiveryTitleEntry& livery : entries)
                (livery.cargo ? cargoViews : paxViews).push_back(livery.title);
            storeTrimmed(pax, model, paxViews);
            storeTrimmed(cargo, model, cargoViews);
        }
        if (!cargo.empty())
            airlineCargoLiveries.try_emplace(airline, std::move(cargo));
        if (!pax.empty())
            airlinePaxLiveries.try_emplace(airline, std::move(pax));
    }
}

void buildModelTables()
{
    std::vector<FlatLivery> records = flattenTitleTable();
    std::stable_sort(records.begin(), records.end(),
                     [](const FlatLivery& a, const FlatLivery& b) { return a.model < b.model; });
    std::vector<LiveryRef> pax;
    std::vector<LiveryRef> cargo;
    pax.reserve(modelScratchRoom);
    cargo.reserve(modelScratchRoom);
    std::string model;
    for (const FlatLivery& record : records) {
        if (record.model != model) {
            storeTrimmed(modelCargoLiveries, model, cargo);
            storeTrimmed(modelPaxLiveries, model, pax);
            model = record.model;
        }
        (record.cargo ? cargo : pax).push_back(record.title);
    }
    storeTrimmed(modelCargoLiveries, model, cargo);
    storeTrimmed(modelPaxLiveries, model, pax);
}

void logGenericLiveries()
{
    const auto generic = liveryTitleTable.find(defaultAirlineCode);
    if (generic == liveryTitleTable.end()) {
        logLine("No generic liveries");
        return;
    }
    std::vector<std::string> models;
    for (const auto& [model, entries] : generic->second)
        models.push_back(model);
    sortUnique(models);
    logLine(fmt::format("{} model{} have a generic livery", models.size(), plural(models.size())));
    logModelLines(models);
}

void logCategories(AircraftCategory category)
{
    std::size_t paxCount = 0;
    std::size_t cargoCount = 0;
    std::vector<std::string> models;
    collectCategory(modelPaxLiveries, category, paxCount, models);
    collectCategory(modelCargoLiveries, category, cargoCount, models);
    if (paxCount == 0 && cargoCount == 0) {
        logLine(fmt::format("Category {}: No livery found", categoryName(category)));
        switchOffCategory(category);
        return;
    }
    std::string line = fmt::format("Category {}: {} pax liverie{}", categoryName(category), paxCount, plural(paxCount));
    if (cargoCount > 0)
        line += fmt::format(" and {} cargo liverie{}", cargoCount, plural(cargoCount));
    logLine(line);
    sortUnique(models);
    logModelLines(models);
    if (std::vector<std::string>* list = categoryLiveryModels(category))
        list->insert(list->end(), models.begin(), models.end());
}

bool hasAirlineModel(std::string_view airline, std::string_view model)
{
    const auto found = liveryTitleTable.find(airline);
    return found != liveryTitleTable.end() && found->second.find(model) != found->second.end();
}

bool hasModelLivery(std::string_view model)
{
    return modelPaxLiveries.find(model) != modelPaxLiveries.end() ||
           modelCargoLiveries.find(model) != modelCargoLiveries.end();
}

std::vector<std::string> listAirlineCodes()
{
    std::vector<std::string> codes;
    codes.reserve(liveryTitleTable.size());
    for (const auto& [airline, models] : liveryTitleTable)
        codes.push_back(airline.substr(0, 3));
    return codes;
}

std::vector<std::string>* categoryLiveryModels(AircraftCategory category)
{
    switch (category) {
    case Light:
        return &lightLiveryModels;
    case Buzjets:
        return &buzjetLiveryModels;
    case Rotorcraft:
        return &rotorcraftLiveryModels;
    default:
        return nullptr;
    }
}

std::string_view categoryName(AircraftCategory category)
{
    static constexpr std::array<std::string_view, aircraftCategoryCount> names{"Light", "Buzjets",  "Large",
                                                                                "Heavy", "HighPerf", "Rotorcraft"};
    return names.at(static_cast<std::size_t>(category));
}

void clearLookupTables()
{
    liveryTitleTable.clear();
    airlinePaxLiveries.clear();
    airlineCargoLiveries.clear();
    modelPaxLiveries.clear();
    modelCargoLiveries.clear();
    lightLiveryModels.clear();
    buzjetLiveryModels.clear();
    rotorcraftLiveryModels.clear();
    titleIndex().clear();
    clearRegcodes();
    clearSimilarModels();
}

} // namespace rtd
