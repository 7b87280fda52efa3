#include "traffic/link/weather_reader.hpp"

#include "core/display.hpp"
#include "core/log.hpp"
#include "traffic/link/service_link.hpp"

#include <fmt/format.h>
#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace rtd {

std::atomic<std::int32_t> altitudeQnh{standardQnh};

namespace {

constexpr double lowestQnh = 930;
constexpr double highestQnh = 1080;
constexpr double hpaPerHundredthInch = 0.33865307;

} // namespace

WeatherReader::WeatherReader() : UdpReader("QNH Reader", mainWindowGlobals.weatherReaderState) {}

void WeatherReader::onStopped()
{
    logLine("QNH Reader has stopped");
}

void WeatherReader::onData()
{
    const std::string text(datagram_);
    try {
        const nlohmann::json parsed = nlohmann::json::parse(text);
        // A datagram that is not an object is a wrong JSON type, like a parse error.
        const nlohmann::json qnh = parsed.value("QNH", nlohmann::json());
        // The value is kept as a double: a number beyond 32 bits is reported, never cut.
        double value = standardQnh;
        if (qnh.is_null()) {
            logLine(fmt::format("no QNH {}", text));
            return;
        }
        if (qnh.is_number_unsigned())
            value = static_cast<double>(qnh.get<std::uint64_t>());
        else if (qnh.is_number_integer())
            value = static_cast<double>(qnh.get<std::int64_t>());
        else if (qnh.is_number_float())
            value = std::round(static_cast<double>(static_cast<float>(qnh.get<double>())));
        else if (qnh.is_string())
            value = std::stoi(qnh.get<std::string>());
        else
            logLine(fmt::format("no QNH {}", text));
        acceptQnh(value);
    } catch (const std::invalid_argument& e) {
        logArrow(fmt::format("QNH string invalid arg: {}", e.what()));
    } catch (const std::out_of_range& e) {
        logArrow(fmt::format("QNH string out of range: {}", e.what()));
    } catch (const std::exception& e) {
        logLine(fmt::format("Exception {}, in {}", e.what(), text));
    }
}

void WeatherReader::acceptQnh(double value)
{
    if (value > highestQnh)
        value = std::round(value * hpaPerHundredthInch);
    if (!(value >= lowestQnh && value <= highestQnh)) {
        logLine(fmt::format("? Strange QNH {:.0f} found in {}", value, datagram_));
        return;
    }
    const auto qnh = static_cast<std::int32_t>(value);
    if (qnh == lastAcceptedQnh && qnh != standardQnh)
        return;
    lastAcceptedQnh = qnh;
    trafficReader.currentQnh = qnh;
    altitudeQnh.exchange(qnh);
    mainWindowGlobals.qnhFigure = qnh;
    if (mainWindowGlobals.weatherReaderState == 2)
        mainWindowGlobals.weatherReaderState = 1;
    windowDisplay().invalidate(headerBand);
}

} // namespace rtd
