#include "dbase_support.hpp"

#include "liveries/scramble.hpp"

#include <fmt/format.h>

namespace rtd::test {

InstallationFolder::InstallationFolder()
{
    std::filesystem::create_directory(folder_ / "input");
    openLogFile(folder_ / "Log.txt");
}

InstallationFolder::~InstallationFolder()
{
    closeLogFile();
}

std::filesystem::path InstallationFolder::input(std::string_view name) const
{
    return folder_ / "input" / name;
}

void InstallationFolder::writeInput(std::string_view name, const std::string& text) const
{
    writeFile(input(name), text);
}

std::string InstallationFolder::logText() const
{
    flushLog();
    return readText(folder_ / "Log.txt");
}

std::string modelSection(std::string_view section, std::string_view element, std::initializer_list<std::string_view> models)
{
    std::string codes;
    for (const std::string_view model : models)
        codes += (codes.empty() ? "" : ",") + encryptModelType(model);
    return fmt::format("<{0}><{1} types=\"{2}\"/></{0}>\n", section, element, codes);
}

std::string airlineSection(std::string_view section, std::initializer_list<std::string_view> airlines)
{
    std::string codes;
    for (const std::string_view airline : airlines)
        codes += (codes.empty() ? "" : ",") + encryptAirline(airline);
    return fmt::format("<{0}><ICAO codes=\"{1}\"/></{0}>\n", section, codes);
}

std::string requiredSections()
{
    return modelSection("aircrafts", "aircraft", {"A320", "B738", "B77W", "B748", "GLF6", "EC35", "F16", "C172"}) +
           modelSection("high_performance", "hpf", {"F16"}) + modelSection("heavy", "hvy", {"B77W", "B748"}) +
           modelSection("large", "lar", {"A320", "B738"}) + modelSection("buzjet", "bzj", {"GLF6"}) +
           modelSection("rotorcraft", "rot", {"EC35"}) + modelSection("cargo_types", "cargo_type", {"B748"}) +
           airlineSection("ICAO_airlines", {"DLH", "KLM", "FDX"}) + airlineSection("cargo_operators", {"FDX"});
}

std::string dbRow(std::string_view registration, std::string_view airline, std::string_view model,
                  std::string_view operatorCode, bool cargo)
{
    return fmt::format("<db reg=\"{}\" airl=\"{}\" type=\"{}\" opr=\"{}\" cargo=\"{}\"/>\n",
                       encryptRegcode(std::string(registration)), encryptAirline(airline),
                       encryptModelType(model), encryptAirline(operatorCode), cargo ? "true" : "false");
}

} // namespace rtd::test
