// Random, truncated and mutated bytes as aircraft.cfg files: both readers must end normally,
// and give back their worker slot, whatever the bytes.

#include "cfg_support.hpp"
#include "core/workers.hpp"
#include "fixtures/livery_fixture.hpp"

#include <chrono>
#include <gtest/gtest.h>
#include <random>

namespace rtd {
namespace {

constexpr std::uint32_t seed = 20240611;
constexpr int fileCount = 300;
constexpr auto timeBudget = std::chrono::seconds(60);

// Bytes that make the readers' branches likely: headers, keys, quotes, separators, line ends.
const std::vector<std::string> pieces = {"[fltsim.",   "]",  "[General]", "title=", "icao_airline=", "atc_id=",
                                         "atc_parking_types=", "texture=", "icao_type_designator=", "base_container=",
                                         "\"", ",", ";", "*", "\r\n", "\n", "\r", "//", " ", "0", "1", "99999999999",
                                         "..\\Asobo_A320_NEO", "B738", "KLM", "\xFF\xFE", "\xEF\xBB\xBF", "\xC3"};

std::string randomBytes(std::mt19937& random, std::size_t size)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(byte(random));
    return bytes;
}

std::string randomPieces(std::mt19937& random, std::size_t count)
{
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += pieces[pick(random)];
    return text;
}

// One file's bytes: pure noise, a generated file cut short, a generated file with a few
// bytes overwritten, or a mix of the format's pieces.
std::string fuzzedFile(std::mt19937& random, const std::vector<std::string>& samples)
{
    std::uniform_int_distribution<std::size_t> sampleIndex(0, samples.size() - 1);
    const std::string& sample = samples[sampleIndex(random)];
    std::uniform_int_distribution<std::size_t> position(0, sample.size());
    switch (random() % 4) {
    case 0:
        return randomBytes(random, random() % 2048);
    case 1:
        return sample.substr(0, position(random));
    case 2: {
        std::string mutated = sample;
        for (int i = 0; i < 8 && !mutated.empty(); ++i)
            mutated[position(random) % mutated.size()] = static_cast<char>(random());
        return mutated;
    }
    default:
        return randomPieces(random, random() % 400);
    }
}

TEST(CfgFuzz, NoBytesCrashOrHangTheReaders)
{
    test::CfgWorld world;
    std::vector<std::string> samples;
    for (const fixtures::CfgFile& file : fixtures::liveryPackageFiles())
        samples.push_back(fixtures::encodeCfgFile(file));
    std::mt19937 random(seed);
    const auto general = world.path("Fuzz/SimObjects/Airplanes/Any/aircraft.cfg");
    const auto ivao = world.path("Fuzz/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg");
    std::filesystem::create_directories(general.parent_path());
    std::filesystem::create_directories(ivao.parent_path() / "texture.KLM");

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < fileCount && std::chrono::steady_clock::now() - start < timeBudget; ++i) {
        const std::string bytes = fuzzedFile(random, samples);
        test::writeFile(general, bytes);
        test::writeFile(ivao, bytes);
        EXPECT_NO_THROW(test::CfgWorld::scanGeneral(general)) << "file " << i;
        EXPECT_NO_THROW(test::CfgWorld::scanIvao(ivao)) << "file " << i;
        ASSERT_EQ(activeWorkers(), 0);
    }
}

TEST(CfgFuzz, HugeLinesAndBinaryTails)
{
    test::CfgWorld world;
    std::mt19937 random(seed);
    const std::string longLine(4 << 20, ' ');
    const std::string text = "icao_type_designator=B738\n[fltsim.0]\ntitle=" + longLine + "x\nicao_airline=KLM" + longLine +
                             "\n[fltsim.1]" + longLine + "\ntitle=B738 KLM\n" + randomBytes(random, 1 << 20);
    const auto file = world.write("Huge/aircraft.cfg", text);
    EXPECT_NO_THROW(test::CfgWorld::scanGeneral(file));
    EXPECT_EQ(activeWorkers(), 0);
}

} // namespace
} // namespace rtd
