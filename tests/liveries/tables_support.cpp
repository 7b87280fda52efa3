#include "tables_support.hpp"

#include "core/parameters.hpp"
#include "core/settings_file.hpp"
#include "liveries/dbase.hpp"
#include "liveries/lookup_tables.hpp"
#include "liveries/scramble.hpp"

#include <fmt/format.h>

namespace rtd::test {

LiveryTablesTest::LiveryTablesTest()
{
    installation.writeInput("dbase.xml", requiredSections() + similarSection({{"P001", "Q001", "R001"}, {"S001", "T001"}}));
    readDbase();
    clearLookupTables();
    setParametersFile(std::filesystem::current_path() / "parameters.xml");
    setWindowDisplay(&display);
    RANDOM.set(false);
    for (GuiBoolParameter* option : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
        option->set(true);
}

LiveryTablesTest::~LiveryTablesTest()
{
    setWindowDisplay(nullptr);
    setParametersFile({});
    RANDOM.set(RANDOM.defaultValue());
    for (GuiBoolParameter* option : {&LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
        option->set(option->defaultValue());
}

void LiveryTablesTest::process(LiveryList records)
{
    records.sort(liveryLess);
    processScannedLiveries(records);
}

bool LiveryTablesTest::logHas(std::string_view line) const
{
    return ("\n" + log()).find(fmt::format("\n{}\n", line)) != std::string::npos;
}

std::filesystem::path LiveryTablesTest::installed(std::string_view relative) const
{
    return std::filesystem::current_path() / relative;
}

LiveryData livery(std::string airline, std::string model, std::string title, std::string regcode, bool cargo)
{
    return {std::move(airline), std::move(model), std::move(title), std::move(regcode), 0, cargo};
}

std::string similarSection(std::initializer_list<std::initializer_list<std::string_view>> groups)
{
    std::string section = "<similar_types>";
    for (const auto& group : groups) {
        std::string codes;
        for (const std::string_view model : group)
            codes += (codes.empty() ? "" : ",") + encryptModelType(model);
        section += fmt::format("<similar types=\"{}\"/>", codes);
    }
    return section + "</similar_types>\n";
}

} // namespace rtd::test
