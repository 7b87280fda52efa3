// ramptide-timeline: what became of each reported flight, from the scenario the test peer
// played and the track the stand-in simulator recorded.
//
//   ramptide-timeline --scenario FILE --start UNIX_SECONDS --track FILE
//
// --start is the Unix time of the peer's scenario second 0; track.csv is the stand-in's
// per-second record of its AI objects (simulated second, Unix time, id, tail, lat, lon, alt,
// on ground). For every callsign the scenario reports, in the order of its first datagram,
// and for every stay of that callsign in the simulator, it prints in scenario seconds: the
// first datagram since the previous stay, the creation and its delay, the largest distance between the flown track
// and the reports' track (extended past the last report, where the invented steps fly), the
// farthest it got from where it was created, and the last second seen. Static parked aircraft (tails ending in "*") are counted only.

#include "rt_peer/scenario.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fmt/format.h>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr double metresPerDegree = 1852.0 * 60.0;
constexpr double radiansPerDegree = 3.14159265358979323846 / 180.0;
constexpr double extensionMetres = 20000.0; // how far the reports' track runs on past the last one
constexpr double directionMetres = 100.0;   // the extension's direction is taken over this much
constexpr double stayGapSeconds = 5.0;      // a longer absence ends a stay

struct Point {
    double at; // scenario seconds
    double lat, lon;
};

struct Stay {
    double created, lastSeen;
    std::vector<Point> flown;
};

// Metres east and north of `origin`, on a plane tangent there.
std::pair<double, double> planar(const Point& p, const Point& origin)
{
    return {(p.lon - origin.lon) * metresPerDegree * std::cos(origin.lat * radiansPerDegree),
            (p.lat - origin.lat) * metresPerDegree};
}

double distanceToSegment(const Point& p, Point a, Point b)
{
    const auto [px, py] = planar(p, a);
    const auto [bx, by] = planar(b, a);
    const double length2 = bx * bx + by * by;
    const double t = length2 == 0.0 ? 0.0 : std::clamp((px * bx + py * by) / length2, 0.0, 1.0);
    return std::hypot(px - t * bx, py - t * by);
}

// The distance from `p` to the polyline of the reports, its last leg extended.
double distanceToReports(const Point& p, const std::vector<Point>& reports)
{
    if (reports.size() == 1)
        return distanceToSegment(p, reports[0], reports[0]);
    double best = 1e300;
    for (std::size_t i = 1; i < reports.size(); ++i)
        best = std::min(best, distanceToSegment(p, reports[i - 1], reports[i]));
    // The extension goes on in the direction from the last report at least 100 m before the
    // last one (two sources of one flight report a few metres apart).
    const Point& last = reports.back();
    for (std::size_t i = reports.size() - 1; i-- > 0;) {
        const auto [dx, dy] = planar(last, reports[i]);
        const double length = std::hypot(dx, dy);
        if (length < directionMetres)
            continue;
        const double scale = extensionMetres / length;
        const Point far{last.at, last.lat + dy * scale / metresPerDegree,
                        last.lon + dx * scale / (metresPerDegree * std::cos(last.lat * radiansPerDegree))};
        best = std::min(best, distanceToSegment(p, last, far));
        break;
    }
    return best;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    std::istringstream in(text);
    for (std::string field; std::getline(in, field, separator);)
        fields.push_back(field);
    return fields;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(fmt::format("cannot read {}", path));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int run(const std::map<std::string, std::string>& options)
{
    const auto option = [&options](const std::string& key) {
        const auto found = options.find(key);
        if (found == options.end())
            throw std::invalid_argument(fmt::format("--{} is required", key));
        return found->second;
    };
    const double start = std::stod(option("start"));
    const std::string scenarioFile = option("scenario");

    // The reports of each callsign (field 9), in the order they were sent.
    std::vector<std::string> callsigns;
    std::map<std::string, std::vector<Point>> reports;
    for (const rtd::peer::Event& e : rtd::peer::parseScenario(readText(scenarioFile), start, scenarioFile)) {
        if (e.action != rtd::peer::Action::trafficDatagram)
            continue;
        const std::vector<std::string> fields = split(e.data, ',');
        if (fields.size() < 10)
            continue;
        auto& points = reports[fields[9]];
        if (points.empty())
            callsigns.push_back(fields[9]);
        points.push_back({e.at, std::stod(fields[2]), std::stod(fields[3])});
    }

    std::map<std::string, std::vector<Stay>> stays;
    std::set<std::string> parked;
    std::istringstream track(readText(option("track")));
    for (std::string line; std::getline(track, line);) {
        const std::vector<std::string> f = split(line, ',');
        if (f.size() < 8)
            continue;
        const std::string& tail = f[3];
        if (tail.ends_with('*')) {
            parked.insert(tail);
            continue;
        }
        const Point p{std::stod(f[1]) - start, std::stod(f[4]), std::stod(f[5])};
        std::vector<Stay>& list = stays[tail];
        if (list.empty() || p.at - list.back().lastSeen > stayGapSeconds)
            list.push_back({p.at, p.at, {}});
        list.back().lastSeen = p.at;
        list.back().flown.push_back(p);
    }

    fmt::print("{:<9} {:>14} {:>16} {:>18} {:>12} {:>10}\n", "callsign", "first datagram", "created (delay)",
               "largest distance", "farthest", "last seen");
    for (const std::string& callsign : callsigns) {
        const std::vector<Point>& sent = reports[callsign];
        const auto found = stays.find(callsign);
        if (found == stays.end()) {
            fmt::print("{:<9} {:>14.1f} {:>16}\n", callsign, sent.front().at, "never created");
            continue;
        }
        double previousEnd = -1e300;
        for (const Stay& stay : found->second) {
            // A stay is judged against the reports sent since the previous one ended.
            std::vector<Point> known;
            for (const Point& r : sent)
                if (r.at > previousEnd && r.at <= stay.lastSeen)
                    known.push_back(r);
            previousEnd = stay.lastSeen;
            if (known.empty())
                continue;
            const double first = known.front().at;
            double largest = 0.0;
            double farthest = 0.0;
            for (const Point& p : stay.flown) {
                largest = std::max(largest, distanceToReports(p, known));
                farthest = std::max(farthest, distanceToSegment(p, stay.flown.front(), stay.flown.front()));
            }
            fmt::print("{:<9} {:>14.1f} {:>9.1f} ({:+5.1f}) {:>16.1f} m {:>10.0f} m {:>10.1f}\n", callsign, first,
                       stay.created, stay.created - first, largest, farthest, stay.lastSeen);
        }
    }
    fmt::print("static parked aircraft seen: {}\n", parked.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (!key.starts_with("--")) {
            std::fprintf(stderr, "expected --option value, got \"%s\"\n", argv[i]);
            return 2;
        }
        options[key.substr(2)] = argv[i + 1];
    }
    try {
        return run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ramptide-timeline: %s\n", e.what());
        std::fprintf(stderr, "usage: ramptide-timeline --scenario FILE --start UNIX_SECONDS --track FILE\n");
        return 2;
    }
}
