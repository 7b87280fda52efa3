#include "liveries/similar_models.hpp"

#include "core/log.hpp"
#include "core/random.hpp"
#include "core/text.hpp"
#include "liveries/dbase.hpp"

#include <algorithm>
#include <fmt/format.h>

namespace rtd {

TextMap<std::vector<std::string>> similarModels;
TextMap<TextMap<std::vector<std::string>>> airlineSimilarModels;

namespace {

const std::vector<std::string> emptyModelList;
std::vector<std::string> pickedModelList;

// "G[i],x,y" with the other members of the group that have a livery, in group order; empty
// when no other member has one.
std::string similarLine(const std::vector<std::string>& group, std::size_t index)
{
    std::string line = group[index];
    for (std::size_t other = 0; other < group.size(); ++other)
        if (other != index && hasModelLivery(group[other]))
            line += "," + group[other];
    return line.size() == group[index].size() ? std::string() : line;
}

std::vector<std::string> similarLines()
{
    std::vector<std::string> lines;
    for (const std::vector<std::string>& group : modelDatabase().similarTypeGroups)
        for (std::size_t index = 0; index < group.size(); ++index)
            if (std::string line = similarLine(group, index); !line.empty())
                lines.push_back(std::move(line));
    std::sort(lines.begin(), lines.end());
    removeAdjacentDuplicates(lines);
    return lines;
}

} // namespace

void buildSimilarModels()
{
    for (const std::string& line : similarLines()) {
        std::vector<std::string> pieces = splitWords(line);
        std::string key = std::move(pieces.front());
        pieces.erase(pieces.begin());
        similarModels.try_emplace(std::move(key), std::move(pieces));
    }
    for (const std::string& airline : listAirlineCodes())
        buildAirlineSimilarModels(airline);
    logLine(fmt::format("{} similar model definitions", similarModels.size()));
}

void buildAirlineSimilarModels(const std::string& airline)
{
    TextMap<std::vector<std::string>> models;
    for (const auto& [model, similar] : similarModels) {
        if (hasAirlineModel(airline, model))
            continue;
        std::vector<std::string> flown;
        std::copy_if(similar.begin(), similar.end(), std::back_inserter(flown),
                     [&](const std::string& candidate) { return hasAirlineModel(airline, candidate); });
        if (!flown.empty())
            models.try_emplace(model, std::move(flown));
    }
    if (!models.empty())
        airlineSimilarModels.try_emplace(airline, std::move(models));
}

const std::vector<std::string>& similarGenericModels(std::string_view model)
{
    if (const auto found = similarModels.find(model); found != similarModels.end()) {
        shuffleStrings(found->second);
        return found->second;
    }
    const std::vector<std::string>* candidates = categoryLiveryModels(sizeCategory(model));
    if (candidates == nullptr || candidates->empty())
        return emptyModelList;
    const auto index = randomIndex(static_cast<std::int64_t>(candidates->size()));
    pickedModelList.assign(1, (*candidates)[static_cast<std::size_t>(index)]);
    return pickedModelList;
}

const std::vector<std::string>& similarAirlineModels(std::string_view airline, std::string_view model)
{
    const auto found = airlineSimilarModels.find(airline);
    if (found == airlineSimilarModels.end())
        return emptyModelList;
    const auto list = found->second.find(model);
    if (list == found->second.end())
        return emptyModelList;
    shuffleStrings(list->second);
    return list->second;
}

void clearSimilarModels()
{
    similarModels.clear();
    airlineSimilarModels.clear();
}

} // namespace rtd
