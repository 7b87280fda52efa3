#pragma once
// The scenario of the traffic-service test peer: what it sends when, and what it expects to
// read from the program. The grammar is in tools/rt_peer/README.md.

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace rtd::peer {

// A scenario line that cannot be read; the text names the file's line.
class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Action {
    trafficDatagram, // `data` to the traffic port
    weatherDatagram, // `data` to the weather port
    again,           // the previous datagram once more, to the same port
    tcpClose,
    tcpConnect,
    expect,     // a line of kind `kind` (or equal to `data` for "line") within `seconds`
    expectNone, // no line of kind `kind` for `seconds`
    end,
};

struct Event {
    double at = 0; // scenario seconds from the start
    Action action = Action::end;
    std::string data;
    std::string kind; // qs121, qs123, exit or line
    double seconds = 0;
    std::size_t lineNumber = 0;
};

// Reads the scenario text; `epoch` is the Unix time of scenario second 0 (the record
// timestamps). Events come sorted by time (stable: a path's datagrams interleave with later
// lines). Throws ScenarioError.
std::vector<Event> parseScenario(const std::string& text, double epoch, const std::string& fileName);

// The fields of one traffic datagram from its keys (hexid, lat, lon, ..., fN, sum, extra),
// joined by ",". Throws ScenarioError (without a line) for a missing or unknown key.
std::string trafficDatagram(const std::map<std::string, std::string>& keys, double timestamp);

// The kind of a line the program sent ("qs121", "qs123", "qs999", "exit"), or empty when it
// breaks the link's grammar. `line` is without its CR LF.
std::string lineKind(const std::string& line);

} // namespace rtd::peer
