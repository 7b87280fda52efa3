#include "core/log.hpp"
#include "core/settings_file.hpp"
#include "platform/platform.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <optional>
#include <thread>
#include <vector>

namespace rtd {
namespace {

using test::readText;
using test::writeFile;

struct RecordingDisplay : SettingsDisplay {
    void showCheck(const GuiBoolParameter& setting) override { checks.push_back(setting.name); }
    void showIntInEdit(const GuiIntParameter& setting) override { edits.push_back(setting.name); }
    void showTextInEdit(const GuiStringParameter& setting) override { edits.push_back(setting.name); }
    void setStatus(const std::string& text) override { status = text; }

    std::vector<std::string> checks;
    std::vector<std::string> edits;
    std::string status;
};

void resetToDefaults(const ParameterRegistry& lists)
{
    for (auto* s : lists.bools) s->set(s->defaultValue());
    for (auto* s : lists.checkBoxes) s->set(s->defaultValue());
    for (auto* s : lists.ints) s->set(s->defaultValue());
    for (auto* s : lists.intEdits) s->set(s->defaultValue());
    for (auto* s : lists.strings) s->set(s->defaultValue());
    for (auto* s : lists.stringEdits) s->set(s->defaultValue());
}

std::vector<std::string> registryKeys()
{
    std::vector<std::string> keys;
    const ParameterRegistry& lists = parameterRegistry();
    for (auto* s : lists.bools) keys.push_back(s->name);
    for (auto* s : lists.checkBoxes) keys.push_back(s->name);
    for (auto* s : lists.ints) keys.push_back(s->name);
    for (auto* s : lists.intEdits) keys.push_back(s->name);
    for (auto* s : lists.strings)
        if (!isFolderParameter(s->name))
            keys.push_back(s->name);
    for (auto* s : lists.stringEdits) keys.push_back(s->name);
    return keys;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetToDefaults(parameterRegistry());
        setLateralRange(LATERAL_RANGE.defaultValue());
        setParametersFile(file);
        setSettingsDisplay(&display);
        openLogFile(folder / "Log.txt");
    }

    void TearDown() override
    {
        closeLogFile();
        setSettingsDisplay(nullptr);
        setParametersFile({});
        resetToDefaults(parameterRegistry());
    }

    std::string log()
    {
        flushLog();
        return readText(folder / "Log.txt");
    }

    bool logHas(const std::string& line) { return log().find(line + "\n") != std::string::npos; }

    pugi::xml_document stored()
    {
        pugi::xml_document document;
        EXPECT_TRUE(document.load_file(file.c_str()));
        return document;
    }

    std::vector<std::string> storedKeys()
    {
        std::vector<std::string> keys;
        const pugi::xml_document document = stored();
        for (const pugi::xml_node element : document.child("parameters").children("parameter"))
            keys.emplace_back(element.attribute("name").as_string());
        return keys;
    }

    std::optional<std::string> storedValue(const std::string& key)
    {
        const pugi::xml_document document = stored();
        const pugi::xml_node element = document.select_node(parameterXPath(key).c_str()).node();
        if (!element)
            return std::nullopt;
        return element.attribute("value").as_string();
    }

    // A file with the given elements under the "parameters" root.
    void writeParameters(const std::vector<std::pair<std::string, std::string>>& values)
    {
        std::string text = "<?xml version=\"1.0\"?>\n<parameters>\n";
        for (const auto& [key, value] : values)
            text += "\t<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
        writeFile(file, text + "</parameters>\n");
    }

    test::TempFolder folder;
    test::ScopedCurrentFolder inFolder{folder.path()};
    std::filesystem::path file = folder / "parameters.xml";
    RecordingDisplay display;
};

TEST_F(SettingsFileTest, FirstStartWritesEveryStoredKeyWithItsDefault)
{
    MAX_LIVE.set(10); // a value left from an earlier run gives way to the default
    buildParameterRegistry();

    EXPECT_TRUE(logHas(platform::pathToUtf8(file) + " not found, default values taken:"));
    for (const char* line : {"RANDOM=true", "AEROWINX=false", "MAX_LIVE=300", "CUSTOM_PARKING_PERCENTAGE=-1",
                             "PORT_NUMBER=10747", "PROGRAM_VERSION=", "MSFS_INSTALL_PATH="})
        EXPECT_TRUE(logHas(line)) << line;
    EXPECT_EQ(log().find("lfolder"), std::string::npos);

    const std::vector<std::string> keys = storedKeys();
    EXPECT_EQ(keys.size(), 43u);
    EXPECT_EQ(keys, registryKeys());
    EXPECT_EQ(storedValue("PROGRAM_VERSION"), "8.7.0");
    EXPECT_EQ(storedValue("AEROWINX"), "false");
    EXPECT_EQ(storedValue("AIRPORT_HEIGHT"), "22000");
    EXPECT_EQ(MAX_LIVE.value(), 300);

    EXPECT_EQ(display.checks.size(), 23u);
    EXPECT_EQ(display.edits, (std::vector<std::string>{"MATCHING_DEPTH", "LATERAL_RANGE", "MAX_FIT", "MAX_LIVE",
                                                       "AIRPORT_RANGE", "AIRPORT_HEIGHT", "BLOCK_CALLSIGN",
                                                       "MSFS_INSTALL_PATH"}));
    EXPECT_TRUE(display.status.empty());
}

TEST_F(SettingsFileTest, NumbersAreClampedIntoTheirRange)
{
    writeParameters({{"PROGRAM_VERSION", "8.7.0"},
                     {"MAX_LIVE", "1000"},
                     {"LATERAL_RANGE", "1"},
                     {"MATCHING_DEPTH", "abc"},
                     {"AIRPORT_RANGE", " 0x10"},
                     {"LAST_EPOCH_TIME", "99999999999"},
                     {"MAIN_WINDOW_X", "-99999"}});
    buildParameterRegistry();
    EXPECT_EQ(MAX_LIVE.value(), 300);
    EXPECT_EQ(LATERAL_RANGE.value(), 2);
    EXPECT_EQ(lateralRangeNm.load(), 2.0);
    EXPECT_EQ(lateralRangeMetres.load(), 3704);
    EXPECT_EQ(MATCHING_DEPTH.value(), 1);
    EXPECT_EQ(AIRPORT_RANGE.value(), 16);
    EXPECT_EQ(LAST_EPOCH_TIME.value(), 2147483647);
    EXPECT_EQ(MAIN_WINDOW_X.value(), -30000);
    EXPECT_TRUE(logHas("MAX_LIVE=300"));
}

TEST_F(SettingsFileTest, AcceptedSpellingsOfTrue)
{
    const std::pair<const char*, bool> cases[] = {
        {R"(value="Yes")", true},  {R"(value="yes")", true}, {R"(value="1")", true},
        {R"(value="True")", true}, {R"(value="t")", true},   {R"(value="no")", false},
        {R"(value="0")", false},   {R"(value="")", false},   {R"(value=" true")", false},
        {"", false},
    };
    for (const auto& [attribute, expected] : cases) {
        pugi::xml_document document;
        const std::string text = std::string(R"(<parameters><parameter name="LOG" )") + attribute + "/></parameters>";
        ASSERT_TRUE(document.load_string(text.c_str()));
        LOG.set(!expected);
        EXPECT_TRUE(readBoolParameter(LOG, document));
        EXPECT_EQ(LOG.value(), expected) << attribute;
    }
}

TEST_F(SettingsFileTest, MissingKeyIsAppendedAtTheEnd)
{
    buildParameterRegistry();
    {
        pugi::xml_document document = stored();
        pugi::xml_node root = document.child("parameters");
        root.remove_child(root.find_child_by_attribute("parameter", "name", "AUTO_RANGE"));
        root.find_child_by_attribute("parameter", "name", "MAX_FIT").remove_attribute("value");
        ASSERT_TRUE(document.save_file(file.c_str()));
    }
    AUTO_RANGE.set(false);
    MAX_FIT.set(10);
    buildParameterRegistry();
    EXPECT_TRUE(AUTO_RANGE.value());
    EXPECT_EQ(storedKeys().back(), "AUTO_RANGE");
    EXPECT_EQ(storedValue("AUTO_RANGE"), "true");
    EXPECT_EQ(storedKeys().size(), 43u);
    // An element without value reads as 0 and stays as it is.
    EXPECT_EQ(MAX_FIT.value(), 0);
    EXPECT_EQ(storedValue("MAX_FIT"), "");
}

TEST_F(SettingsFileTest, EmptyFolderKeyIsRemoved)
{
    writeParameters({{"PROGRAM_VERSION", "8.7.0"}, {"lfolder2", ""}, {"lfolder3", "D:/Liveries"}});
    buildParameterRegistry();
    EXPECT_TRUE(logHas("Parameter lfolder2 removed"));
    EXPECT_EQ(storedValue("lfolder2"), std::nullopt);
    EXPECT_EQ(storedValue("lfolder3"), "D:/Liveries");
    EXPECT_EQ(lfolder3.value(), "D:/Liveries");
    EXPECT_TRUE(logHas("lfolder3=D:/Liveries"));
    EXPECT_EQ(log().find("lfolder4"), std::string::npos);
}

TEST_F(SettingsFileTest, OtherRootIsLeftAsItIs)
{
    writeFile(file, R"(<settings><parameter name="MAX_LIVE" value="20"/></settings>)");
    readParameters(parameterRegistry());
    EXPECT_EQ(MAX_LIVE.value(), 300);
    const pugi::xml_document document = stored();
    EXPECT_FALSE(document.child("parameters"));
    EXPECT_EQ(std::distance(document.child("settings").begin(), document.child("settings").end()), 1);
}

TEST_F(SettingsFileTest, UpgradeFromAnOlderVersion)
{
    writeParameters({{"PROGRAM_VERSION", "8.6.2"},
                     {"SECONDS_DELAY", "5"},
                     {"MAX_FIT_WEEK", "3"},
                     {"LAST_EPOCH_TIME", "1700000000"},
                     {"DATA_CHECKED_AT_DATE", "NOV142023"}});
    writeFile(folder / "install_new_version.exe", "old installer");
    buildParameterRegistry();

    EXPECT_TRUE(logHas("This is a version update from 8.6.2 -> 8.7.0"));
    EXPECT_TRUE(logHas("Parameter SECONDS_DELAY removed"));
    EXPECT_EQ(storedValue("SECONDS_DELAY"), std::nullopt);
    EXPECT_EQ(storedValue("MAX_FIT_WEEK"), std::nullopt);
    EXPECT_EQ(storedValue("PROGRAM_VERSION"), "8.7.0");
    EXPECT_EQ(storedValue("LAST_EPOCH_TIME"), "0");
    EXPECT_EQ(LAST_EPOCH_TIME.value(), 0);
    EXPECT_EQ(DATA_CHECKED_AT_DATE.value(), "");
    EXPECT_EQ(storedValue("DATA_CHECKED_AT_DATE"), "NOV142023");
    EXPECT_FALSE(std::filesystem::exists(folder / "install_new_version.exe"));
}

TEST_F(SettingsFileTest, FileOfANewerVersionIsRestampedWithoutUpgrade)
{
    writeParameters({{"PROGRAM_VERSION", "9.0.0"}, {"LAST_EPOCH_TIME", "1700000000"}});
    buildParameterRegistry();
    EXPECT_EQ(storedValue("PROGRAM_VERSION"), "8.7.0");
    EXPECT_EQ(PROGRAM_VERSION.value(), "8.7.0");
    EXPECT_EQ(storedValue("LAST_EPOCH_TIME"), "1700000000");
    EXPECT_EQ(log().find("version update"), std::string::npos);
}

TEST_F(SettingsFileTest, LateralRangeIsClampedWithItsCopies)
{
    setLateralRange(150);
    EXPECT_EQ(LATERAL_RANGE.value(), 100);
    EXPECT_EQ(lateralRangeNm.load(), 100.0);
    EXPECT_EQ(lateralRangeMetres.load(), 185200);
}

TEST_F(SettingsFileTest, SaversChangeOnlyTheirKey)
{
    // Without a file a saver starts one that holds its own key.
    MAX_LIVE.set(120);
    saveIntParameter(MAX_LIVE);
    EXPECT_EQ(storedKeys(), std::vector<std::string>{"MAX_LIVE"});
    EXPECT_TRUE(logHas("MAX_LIVE=120"));

    // The next start adds every other key.
    buildParameterRegistry();
    WEEK.set(true);
    saveBoolParameter(WEEK);
    BLOCK_CALLSIGN.set("A&B<C>");
    saveStringParameter(BLOCK_CALLSIGN);
    EXPECT_EQ(storedValue("WEEK"), "true");
    EXPECT_EQ(storedValue("BLOCK_CALLSIGN"), "A&B<C>");
    EXPECT_EQ(storedValue("MAX_LIVE"), "120");
    EXPECT_EQ(storedKeys().size(), 43u);
    EXPECT_EQ(storedKeys().front(), "MAX_LIVE");
}

TEST_F(SettingsFileTest, ConcurrentSaversLoseNoChange)
{
    buildParameterRegistry();
    IntParameter* const settings[] = {&MAX_LIVE, &AIRPORT_HEIGHT, &MAIN_WINDOW_X, &LAST_EPOCH_TIME};
    {
        std::vector<std::jthread> threads;
        for (IntParameter* setting : settings)
            threads.emplace_back([setting] {
                for (int i = 1; i <= 20; ++i) {
                    setting->set(setting->minimum() + i);
                    saveIntParameter(*setting);
                }
            });
    }
    for (IntParameter* setting : settings)
        EXPECT_EQ(storedValue(setting->name), std::to_string(setting->minimum() + 20)) << setting->name;
    EXPECT_EQ(storedKeys().size(), 43u);
}

TEST_F(SettingsFileTest, UnreadableFileIsKeptAsideBeforeDefaultsReplaceIt)
{
    const std::string broken = "<parameters><parameter name=\"MAX_LIVE\" value=\"20\"";
    writeFile(file, broken);
    readParameters(parameterRegistry());

    EXPECT_EQ(test::readFile(folder / "parameters.xml.bad"), broken);
    EXPECT_EQ(storedKeys(), registryKeys());
    EXPECT_EQ(MAX_LIVE.value(), 300);
    EXPECT_NE(log().find(arrowPrefix.data() + platform::pathToUtf8(file) + " cannot be read ("), std::string::npos);
    EXPECT_EQ(display.status, "parameters.xml cannot be read, kept as parameters.xml.bad");
}

TEST_F(SettingsFileTest, SaverKeepsAnUnreadableFileAside)
{
    writeFile(file, "not xml at all");
    LOG.set(false);
    saveBoolParameter(LOG);
    EXPECT_EQ(test::readFile(folder / "parameters.xml.bad"), "not xml at all");
    EXPECT_EQ(storedValue("LOG"), "false");
}

// A save that cannot write still logs the value it meant to store, and says that it failed.
TEST_F(SettingsFileTest, SaverThatCannotWriteLogsTheValueAndTheFailure)
{
    struct Case {
        const char* name;
        std::filesystem::path file;
        bool value;
        std::vector<std::string> lines;
    };
    const std::filesystem::path unreadable = folder / "folder-named" / "parameters.xml";
    std::filesystem::create_directories(unreadable); // neither read nor kept aside
    const Case cases[] = {
        {"missing folder", folder / "missing" / "parameters.xml", false, {"LOG=false", "saving xml did not work?"}},
        {"a folder where the file belongs", unreadable, true, {"LOG=true"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        setParametersFile(test.file);
        LOG.set(test.value);
        saveBoolParameter(LOG);
        for (const std::string& line : test.lines)
            EXPECT_TRUE(logHas(line)) << log();
    }
    EXPECT_TRUE(std::filesystem::is_directory(unreadable));
}

TEST(ParameterElements, AppendAndRead)
{
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("airport");
    EXPECT_TRUE(appendBoolParameter(root, "WEEK", true));
    EXPECT_TRUE(appendIntParameter(root, "parking_percentage", -5));
    EXPECT_TRUE(writeParameterNode(root, "name", "Ünïcode \"quoted\""));
    EXPECT_EQ(root.first_child().attribute("value").as_string(), std::string("true"));
    EXPECT_EQ(intAttribute(root.child("parameter").next_sibling(), "value"), -5);
    EXPECT_EQ(root.last_child().attribute("value").as_string(), std::string("Ünïcode \"quoted\""));

    // A node that cannot take children.
    const pugi::xml_node text = root.append_child(pugi::node_pcdata);
    EXPECT_FALSE(appendBoolParameter(text, "WEEK", true));
    EXPECT_FALSE(appendIntParameter(pugi::xml_node(), "X", 1));
    EXPECT_EQ(intAttribute(pugi::xml_node(), "value"), 0);
    EXPECT_EQ(intAttribute(root.first_child(), "missing"), 0);

    EXPECT_EQ(parameterXPath("MAX_LIVE"), "/parameters/parameter[@name='MAX_LIVE']");
    EXPECT_TRUE(isFolderParameter("afolder7"));
    EXPECT_FALSE(isFolderParameter("PROGRAM_INSTALL_PATH"));
}

} // namespace
} // namespace rtd
