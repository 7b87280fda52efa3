#include "rt_peer/scenario.hpp"

#include "core/geo.hpp"

#include <fmt/format.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <regex>
#include <sstream>

namespace rtd::peer {

namespace {

constexpr std::size_t baseFieldCount = 29; // fields 0..28, then `extra`, then the checksum
constexpr double secondsPerHour = 3600;
constexpr double degreesPerRadian = 57.29577951308232;

const std::map<std::string, std::size_t, std::less<>> fieldOfKey{
    {"hexid", 1}, {"lat", 2},  {"lon", 3},  {"alt", 4},   {"vs", 5},    {"trk", 7},   {"gs", 8},
    {"cs", 9},    {"type", 10}, {"reg", 11}, {"org", 12}, {"dst", 13}, {"ts", 14},  {"mark", 15},
    {"hsrc", 17}, {"tas", 20}, {"roll", 23}, {"hdg", 25}, {"cls", 28},
};

using Keys = std::map<std::string, std::string>;

double number(const Keys& keys, const std::string& key)
{
    const auto found = keys.find(key);
    if (found == keys.end())
        throw ScenarioError(fmt::format("{}= is required", key));
    double value = 0;
    const std::string& text = found->second;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        throw ScenarioError(fmt::format("{}=\"{}\" is not a number", key, text));
    return value;
}

LatLon latLon(const Keys& keys, const std::string& key)
{
    const auto found = keys.find(key);
    if (found == keys.end())
        throw ScenarioError(fmt::format("{}=LAT,LON is required", key));
    const auto comma = found->second.find(',');
    if (comma == std::string::npos)
        throw ScenarioError(fmt::format("{}=\"{}\" is not LAT,LON", key, found->second));
    return {number({{"lat", found->second.substr(0, comma)}}, "lat"),
            number({{"lon", found->second.substr(comma + 1)}}, "lon")};
}

// Reads a value that may be "quoted": \\ \" and \xHH inside quotes.
std::string readValue(const std::string& line, std::size_t& at)
{
    std::string value;
    if (at < line.size() && line[at] == '"') {
        for (++at; at < line.size(); ++at) {
            const char c = line[at];
            if (c == '"') {
                ++at;
                return value;
            }
            if (c != '\\') {
                value += c;
                continue;
            }
            if (++at >= line.size())
                break;
            if (line[at] == '\\' || line[at] == '"') {
                value += line[at];
            } else if (line[at] == 'x' && at + 2 < line.size()) {
                unsigned byte = 0;
                const auto [end, error] = std::from_chars(line.data() + at + 1, line.data() + at + 3, byte, 16);
                if (error != std::errc() || end != line.data() + at + 3)
                    throw ScenarioError("bad \\x escape");
                value += static_cast<char>(byte);
                at += 2;
            } else {
                throw ScenarioError(fmt::format("unknown escape \\{}", line[at]));
            }
        }
        throw ScenarioError("missing closing quote");
    }
    while (at < line.size() && line[at] != ' ' && line[at] != '\t')
        value += line[at++];
    return value;
}

std::vector<std::string> words(const std::string& line, Keys& keys)
{
    std::vector<std::string> plain;
    std::size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ' || line[at] == '\t' || line[at] == '\r') {
            ++at;
            continue;
        }
        const std::size_t start = at;
        while (at < line.size() && line[at] != '=' && line[at] != ' ' && line[at] != '\t')
            ++at;
        if (at < line.size() && line[at] == '=') {
            const std::string key = line.substr(start, at - start);
            ++at;
            if (keys.count(key))
                throw ScenarioError(fmt::format("{}= given twice", key));
            keys[key] = readValue(line, at);
        } else {
            if (!keys.empty())
                throw ScenarioError(fmt::format("\"{}\" after the keys", line.substr(start, at - start)));
            plain.push_back(line.substr(start, at - start));
        }
    }
    return plain;
}

void onlyKeys(const Keys& keys, std::initializer_list<std::string_view> allowed)
{
    for (const auto& [key, value] : keys)
        if (std::find(allowed.begin(), allowed.end(), key) == allowed.end())
            throw ScenarioError(fmt::format("unknown key {}=", key));
}

// The datagrams of a path, each at its own time.
void expandPath(Keys keys, double at, double epoch, std::vector<Event>& events)
{
    const LatLon from = latLon(keys, "from");
    const LatLon to = latLon(keys, "to");
    const double gs = number(keys, "gs");
    const double alt0 = number(keys, "alt0");
    const double alt1 = number(keys, "alt1");
    const double every = number(keys, "every");
    if (gs <= 0 || every <= 0)
        throw ScenarioError("gs= and every= must be above 0");
    for (const char* key : {"from", "to", "gs", "alt0", "alt1", "every"})
        keys.erase(key);
    const double duration = distanceNm(from, to) / gs * secondsPerHour;
    if (duration <= 0)
        throw ScenarioError("from= and to= are the same place");
    const double track = std::fmod(initialBearing(from, to) * degreesPerRadian + 360, 360);
    std::vector<double> times;
    for (double t = 0; t < duration; t += every)
        times.push_back(t);
    times.push_back(duration);
    for (const double t : times) {
        const double f = t / duration;
        Keys fields = keys;
        fields["lat"] = fmt::format("{:.6f}", from.lat + (to.lat - from.lat) * f);
        fields["lon"] = fmt::format("{:.6f}", from.lon + (to.lon - from.lon) * f);
        fields["alt"] = fmt::format("{:.0f}", alt0 + (alt1 - alt0) * f);
        fields["trk"] = fmt::format("{:.1f}", track);
        fields["vs"] = fmt::format("{:.0f}", (alt1 - alt0) * 60 / duration);
        fields["gs"] = fmt::format("{}", gs);
        events.push_back({at + t, Action::trafficDatagram, trafficDatagram(fields, epoch + at + t), "", 0, 0});
    }
}

Event parseLine(const std::string& verb, const std::vector<std::string>& rest, Keys& keys, double at, double epoch,
                std::vector<Event>& events)
{
    Event event{at, Action::end, "", "", 0, 0};
    const auto noWords = [&] {
        if (!rest.empty())
            throw ScenarioError(fmt::format("unexpected \"{}\"", rest.front()));
    };
    if (verb == "traffic") {
        noWords();
        event.action = Action::trafficDatagram;
        event.data = trafficDatagram(keys, epoch + at);
    } else if (verb == "path") {
        noWords();
        expandPath(keys, at, epoch, events);
        event.action = Action::again; // marker: nothing more to add
        event.kind = "path";
    } else if (verb == "weather") {
        noWords();
        onlyKeys(keys, {"qnh"});
        event.action = Action::weatherDatagram;
        event.data = keys.count("qnh") ? fmt::format("{{\"QNH\":{}}}", keys["qnh"]) : "{}";
    } else if (verb == "raw") {
        noWords();
        onlyKeys(keys, {"port", "data", "size", "fill"});
        const std::string port = keys.count("port") ? keys["port"] : "";
        if (port != "traffic" && port != "weather")
            throw ScenarioError("port=traffic or port=weather is required");
        event.action = port == "traffic" ? Action::trafficDatagram : Action::weatherDatagram;
        if (keys.count("data")) {
            event.data = keys["data"];
        } else {
            const double size = number(keys, "size");
            if (size < 0 || size > 65507 || size != std::floor(size))
                throw ScenarioError("size= must be a whole number up to 65507");
            const std::string fill = keys.count("fill") ? keys["fill"] : "x";
            if (fill.size() != 1)
                throw ScenarioError("fill= is one character");
            event.data.assign(static_cast<std::size_t>(size), fill[0]);
        }
    } else if (verb == "again") {
        noWords();
        onlyKeys(keys, {});
        event.action = Action::again;
    } else if (verb == "tcp") {
        onlyKeys(keys, {});
        if (rest.size() != 1 || (rest[0] != "close" && rest[0] != "connect"))
            throw ScenarioError("tcp close or tcp connect");
        event.action = rest[0] == "close" ? Action::tcpClose : Action::tcpConnect;
    } else if (verb == "expect" || verb == "expect-none") {
        const bool none = verb == "expect-none";
        if (rest.size() > 1 || (rest.empty() && !keys.count("line")))
            throw ScenarioError(fmt::format("{} KIND {}=S", verb, none ? "for" : "within"));
        event.kind = rest.empty() ? "line" : rest[0];
        if (event.kind != "qs121" && event.kind != "qs123" && event.kind != "exit" && event.kind != "qs999" &&
            event.kind != "line")
            throw ScenarioError(fmt::format("unknown kind \"{}\"", event.kind));
        onlyKeys(keys, {none ? "for" : "within", "line"});
        event.action = none ? Action::expectNone : Action::expect;
        event.seconds = number(keys, none ? "for" : "within");
        if (keys.count("line")) {
            event.kind = "line";
            event.data = keys["line"];
        }
    } else if (verb == "end") {
        noWords();
        onlyKeys(keys, {});
    } else {
        throw ScenarioError(fmt::format("unknown verb \"{}\"", verb));
    }
    return event;
}

} // namespace

std::string trafficDatagram(const std::map<std::string, std::string>& keys, double timestamp)
{
    std::size_t extra = 0;
    if (const auto found = keys.find("extra"); found != keys.end())
        extra = static_cast<std::size_t>(std::max(0.0, number(keys, "extra")));
    std::vector<std::string> fields(baseFieldCount + extra, "0");
    for (std::size_t field = 9; field <= 13; ++field)
        fields[field] = "null";
    fields[20] = "-1";
    fields[28] = "";
    fields[14] = fmt::format("{:.2f}", timestamp);
    std::string checksum = "0";
    for (const char* required : {"hexid", "lat", "lon"})
        if (!keys.count(required))
            throw ScenarioError(fmt::format("{}= is required", required));
    for (const auto& [key, value] : keys) {
        if (key == "extra")
            continue;
        if (key == "sum") {
            checksum = value;
        } else if (const auto known = fieldOfKey.find(key); known != fieldOfKey.end()) {
            fields[known->second] = value;
        } else if (key.size() > 1 && key[0] == 'f') {
            std::size_t index = 0;
            const auto [end, error] = std::from_chars(key.data() + 1, key.data() + key.size(), index);
            if (error != std::errc() || end != key.data() + key.size() || index >= fields.size())
                throw ScenarioError(fmt::format("no field {}", key));
            fields[index] = value;
        } else {
            throw ScenarioError(fmt::format("unknown key {}=", key));
        }
    }
    std::string datagram;
    for (const std::string& field : fields)
        datagram += field + ",";
    return datagram + checksum;
}

std::vector<Event> parseScenario(const std::string& text, double epoch, const std::string& fileName)
{
    std::vector<Event> events;
    std::istringstream lines(text);
    std::string line;
    double previous = 0;
    for (std::size_t number = 1; std::getline(lines, line); ++number) {
        try {
            if (const auto hash = line.find_first_not_of(" \t\r"); hash == std::string::npos || line[hash] == '#')
                continue;
            Keys keys;
            std::vector<std::string> plain = words(line, keys);
            if (plain.size() < 2)
                throw ScenarioError("expected T VERB ...");
            double at = 0;
            const auto [end, error] = std::from_chars(plain[0].data(), plain[0].data() + plain[0].size(), at);
            if (error != std::errc() || end != plain[0].data() + plain[0].size() || at < 0 || !std::isfinite(at))
                throw ScenarioError(fmt::format("\"{}\" is not a time in seconds", plain[0]));
            if (at < previous)
                throw ScenarioError(fmt::format("time {} is before the previous line's {}", at, previous));
            previous = at;
            const std::string verb = plain[1];
            plain.erase(plain.begin(), plain.begin() + 2);
            Event event = parseLine(verb, plain, keys, at, epoch, events);
            if (event.kind == "path")
                continue;
            event.lineNumber = number;
            events.push_back(std::move(event));
        } catch (const ScenarioError& e) {
            throw ScenarioError(fmt::format("{}:{}: {}", fileName, number, e.what()));
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.at < b.at; });
    return events;
}

std::string lineKind(const std::string& line)
{
    static const std::regex number("-?[0-9]+");
    static const std::regex qs121("Qs121=-?[0-9]+;-?[0-9]+;-?[0-9]+\\.[0-9]{6};-?[0-9]+;"
                                  "-?[0-9]+(\\.[0-9]+)?(e[-+][0-9]+)?;-?[0-9]+\\.[0-9]{6};-?[0-9]+\\.[0-9]{6}");
    static const std::regex qs123("Qs123=[1-9][0-9]*");
    if (std::regex_match(line, qs121))
        return "qs121";
    if (std::regex_match(line, qs123))
        return "qs123";
    if (line == "Qs999=version")
        return "qs999";
    if (line == "exit")
        return "exit";
    return {};
}

} // namespace rtd::peer
