// The program's own stand-in: its scenario file, its record, and how the program gets it.

#include "core/files.hpp"
#include "core/log.hpp"
#include "simulator/stand_in.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace rtd::sim {

namespace {

using Arguments = std::map<std::string, std::string, std::less<>>;
using Action = std::function<void(StandInSim&)>;

// Splits "key=value key2="a b"" into its pairs; false on a word without '=' or an open quote.
bool splitArguments(std::string_view text, Arguments& arguments)
{
    std::size_t at = 0;
    while (true) {
        at = text.find_first_not_of(" \t", at);
        if (at == std::string_view::npos)
            return true;
        const std::size_t equals = text.find('=', at);
        const std::size_t blank = text.find_first_of(" \t", at);
        if (equals == std::string_view::npos || equals > blank)
            return false;
        const std::string key(text.substr(at, equals - at));
        std::size_t end = 0;
        if (equals + 1 < text.size() && text[equals + 1] == '"') {
            end = text.find('"', equals + 2);
            if (end == std::string_view::npos)
                return false;
            arguments[key] = std::string(text.substr(equals + 2, end - equals - 2));
            ++end;
        } else {
            end = std::min(text.find_first_of(" \t", equals), text.size());
            arguments[key] = std::string(text.substr(equals + 1, end - equals - 1));
        }
        at = end;
    }
}

double number(const Arguments& arguments, std::string_view key, double fallback)
{
    const auto found = arguments.find(key);
    if (found == arguments.end())
        return fallback;
    double value = 0.0;
    const char* first = found->second.data();
    const char* last = first + found->second.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        throw std::invalid_argument(fmt::format("{}={} is not a number", key, found->second));
    return value;
}

std::string text(const Arguments& arguments, std::string_view key)
{
    const auto found = arguments.find(key);
    if (found == arguments.end())
        throw std::invalid_argument(fmt::format("{} is missing", key));
    return found->second;
}

// The action of one call; throws std::invalid_argument on an unknown call or a bad value.
Action actionOf(const std::string& call, const Arguments& a, const UserSetup& user)
{
    const auto n = [&a](std::string_view key, double fallback) { return number(a, key, fallback); };
    if (call == "setUser") {
        const UserSetup setup{n("lat", user.lat), n("lon", user.lon), n("altFt", user.altFt), n("pitch", user.pitch),
                              n("bank", user.bank), n("heading", user.heading), n("gsKt", user.gsKt),
                              n("onGround", user.onGround ? 1 : 0) != 0};
        return [setup](StandInSim& sim) { sim.setUser(setup); };
    }
    if (call == "setUserTitle")
        return [title = text(a, "title")](StandInSim& sim) { sim.setUserTitle(title); };
    if (call == "setUserAtcModel")
        return [model = text(a, "model")](StandInSim& sim) { sim.setUserAtcModel(model); };
    if (call == "setRunning")
        return [running = n("running", 1) != 0](StandInSim& sim) { sim.setRunning(running); };
    if (call == "frames")
        return [count = static_cast<int>(n("n", 1))](StandInSim& sim) { sim.frames(count); };
    if (call == "seconds")
        return [count = static_cast<int>(n("n", 1))](StandInSim& sim) { sim.seconds(count); };
    if (call == "setFrameRate")
        return [fps = static_cast<float>(n("fps", 30))](StandInSim& sim) { sim.setFrameRate(fps); };
    if (call == "setGround")
        return [ft = n("ft", 0)](StandInSim& sim) { sim.setGround(ft); };
    if (call == "setZulu") {
        const auto year = static_cast<std::int64_t>(n("year", 2024));
        const auto day = static_cast<std::int64_t>(n("day", 1));
        const auto seconds = static_cast<std::int64_t>(n("seconds", 0));
        return [=](StandInSim& sim) { sim.setZulu(year, day, seconds); };
    }
    if (call == "setApplication") {
        std::array<std::uint32_t, 4> version{};
        std::istringstream parts(a.contains("version") ? text(a, "version") : "1.2.3.4");
        std::string part;
        for (std::uint32_t& field : version)
            if (std::getline(parts, part, '.'))
                field = static_cast<std::uint32_t>(number({{"version", part}}, "version", 0));
        return [name = text(a, "name"), version](StandInSim& sim) { sim.setApplication(name, version); };
    }
    if (call == "setStaticCg")
        return [title = text(a, "title"), ft = n("ft", 8), deg = n("deg", 0.7)](StandInSim& sim) {
            sim.setStaticCg(title, ft, deg);
        };
    if (call == "refuseTitle")
        return [title = text(a, "title")](StandInSim& sim) { sim.refuseTitle(title); };
    if (call == "helicopterTitle")
        return [title = text(a, "title")](StandInSim& sim) { sim.helicopterTitle(title); };
    if (call == "swallowCreations")
        return [count = static_cast<int>(n("n", 1))](StandInSim& sim) { sim.swallowCreations(count); };
    if (call == "hideFromRangeScan")
        return [id = static_cast<std::uint32_t>(n("id", 0))](StandInSim& sim) { sim.hideFromRangeScan(id); };
    if (call == "failNext")
        return [name = text(a, "call"), count = static_cast<int>(n("n", 1))](StandInSim& sim) { sim.failNext(name, count); };
    if (call == "failOpen")
        return [count = static_cast<int>(n("n", 1))](StandInSim& sim) { sim.failOpen(count); };
    if (call == "addForeignAircraft") {
        const std::string title = text(a, "title");
        const std::string tail = a.contains("tail") ? text(a, "tail") : "";
        const double lat = n("lat", user.lat), lon = n("lon", user.lon), alt = n("altFt", 0);
        const bool onGround = n("onGround", 1) != 0;
        return [=](StandInSim& sim) { sim.addForeignAircraft(title, tail, lat, lon, alt, onGround); };
    }
    if (call == "loadFlight")
        return [](StandInSim& sim) { sim.loadFlight(); };
    if (call == "newFlightFile")
        return [path = a.contains("path") ? text(a, "path") : std::string("flight.FLT")](StandInSim& sim) {
            sim.newFlightFile(path);
        };
    if (call == "quit")
        return [](StandInSim& sim) { sim.quit(); };
    throw std::invalid_argument(fmt::format("unknown call \"{}\"", call));
}

nlohmann::json objectJson(const AiState& o)
{
    return {{"id", o.id},
            {"type", o.type},
            {"title", o.title},
            {"tail", o.tail},
            {"lat", o.lat},
            {"lon", o.lon},
            {"alt", o.alt},
            {"heading", o.heading},
            {"onGround", o.onGround},
            {"released", o.released},
            {"frozen", o.freezeLatLon && o.freezeAltitude && o.freezeAttitude},
            {"gear", o.gear},
            {"flaps", o.flaps},
            {"throttle", o.throttle},
            {"engines", o.engines},
            {"lights", o.lights},
            {"flightPlan", o.flightPlan},
            {"positionWrites", o.positionWrites}};
}

} // namespace

std::vector<std::string> StandInSim::loadScenario(const std::string& scenario)
{
    std::vector<std::string> errors;
    std::istringstream lines(scenario);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string call;
        if (!(words >> call))
            continue;
        try {
            std::int64_t at = -1;
            if (call == "at") {
                std::string seconds;
                words >> seconds >> call;
                at = static_cast<std::int64_t>(rtd::sim::number({{"at", seconds}}, "at", 0));
                if (at < 0 || call.empty())
                    throw std::invalid_argument("\"at\" needs a time and a call");
            }
            std::string rest;
            std::getline(words, rest);
            Arguments arguments;
            if (!splitArguments(rest, arguments))
                throw std::invalid_argument("arguments are key=value");
            Action action = actionOf(call, arguments, user());
            std::lock_guard lock(mutex_);
            if (at <= seconds_) {
                action(*this);
            } else {
                const auto place = std::upper_bound(scheduled_.begin(), scheduled_.end(), at,
                                                    [](std::int64_t t, const auto& entry) { return t < entry.first; });
                scheduled_.insert(place, {at, std::move(action)});
            }
        } catch (const std::invalid_argument& e) {
            errors.push_back(fmt::format("line {}: {}", number, e.what()));
        }
    }
    return errors;
}

void StandInSim::recordTo(std::filesystem::path folder)
{
    std::lock_guard lock(mutex_);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    recordFolder_ = std::move(folder);
}

void StandInSim::writeRecord() const
{
    std::lock_guard lock(mutex_);
    writeRecordLocked();
}

void StandInSim::writeRecordLocked() const
{
    if (!recordFolder_)
        return;
    std::vector<std::string> log;
    log.reserve(calls_.size() + 1);
    for (const CallRecord& call : calls_)
        log.push_back(fmt::format("{} {}({}) -> {}", call.frame, call.name, call.args, call.result));
    std::uint64_t positionWrites = 0;
    nlohmann::json objects = nlohmann::json::array();
    for (const auto& [id, object] : objects_) {
        positionWrites += object.positionWrites;
        objects.push_back(objectJson(object));
    }
    log.push_back(fmt::format("position writes to present objects: {}", positionWrites));
    const nlohmann::json state{
        {"seconds", seconds_},
        {"connections", std::count_if(connections_.begin(), connections_.end(), [](const auto& c) { return c.open; })},
        {"user",
         {{"title", user_.title}, {"atcModel", user_.atcModel}, {"lat", user_.lat}, {"lon", user_.lon},
          {"alt", user_.altFt}, {"heading", user_.heading}, {"onGround", user_.onGround}}},
        {"objects", objects},
        {"violations", violations_}};
    writeStringVectorToFile(log, *recordFolder_ / "calls.log");
    writeStringToFile(state.dump(2), *recordFolder_ / "state.json");
}

void StandInSim::appendTrackLocked() const
{
    if (!recordFolder_ || objects_.empty())
        return;
    const double unixSeconds =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::string lines;
    for (const auto& [id, o] : objects_)
        lines += fmt::format("{},{:.3f},{},{},{:.7f},{:.7f},{:.1f},{}\n", seconds_, unixSeconds, id, o.tail, o.lat, o.lon,
                             o.alt, o.onGround ? 1 : 0);
    std::ofstream(*recordFolder_ / "track.csv", std::ios::app | std::ios::binary) << lines;
}

std::shared_ptr<StandInSim> makeProgramStandIn()
{
    auto sim = std::make_shared<StandInSim>(StandInSim::Mode::freeRunning);
    if (const char* path = std::getenv("RAMPTIDE_SIM_SCENARIO"); path != nullptr && *path != '\0') {
        std::ifstream file{std::filesystem::path(path)};
        if (!file) {
            logLine(fmt::format("Simulator scenario \"{}\" cannot be read", path));
        } else {
            std::ostringstream content;
            content << file.rdbuf();
            for (const std::string& error : sim->loadScenario(content.str()))
                logLine(fmt::format("Simulator scenario \"{}\", {}", path, error));
        }
    }
    if (const char* folder = std::getenv("RAMPTIDE_SIM_RECORD"); folder != nullptr && *folder != '\0')
        sim->recordTo(folder);
    return sim;
}

} // namespace rtd::sim
