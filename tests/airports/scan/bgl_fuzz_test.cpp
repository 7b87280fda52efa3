// Random, truncated and mutated bytes as scenery files: the airport-section test and the
// reader must end normally (the reader may only fail with std::out_of_range), whatever the
// bytes, and every stand they hand on must be finite.

#include "bgl_support.hpp"

#include "fixtures/bgl_fixture.hpp"
#include "support/temp_folder.hpp"

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

namespace rtd {
namespace {

constexpr std::uint32_t seed = 20261210;
constexpr int fileCount = 5000;
constexpr auto timeBudget = std::chrono::seconds(60);

// Words that steer the reader's branches: header size, section type, record ids, sizes.
constexpr std::array<std::uint32_t, 12> interestingWords = {0,    3,    56,         0x56,       0x26,      0xE7,
                                                            4,    0x10000, 0x80000000u, 0xFFFFFFFFu, 0x0CCCCCCDu, 0x7FFFFFFFu};

std::vector<std::string> samples()
{
    std::vector<std::string> files;
    for (std::uint64_t s = 1; s <= 4; ++s)
        files.push_back(fixtures::bglScenery({1 + s % 3, 5 * s, 2000 * s, s}));
    fixtures::BglBuilder builder(9);
    builder.addSection(5);
    builder.addSection();
    builder.addAirport("ZZAA", 1000);
    builder.addHelipad(52.0, 4.0, 20.0f);
    builder.addParkingList({fixtures::BglParking{}, fixtures::BglParking{10, 1, 5, 30.0f, 0.0f, 52.0, 4.1, 4}});
    builder.addParkingList({fixtures::BglParking{}});
    builder.addSection();
    builder.addAirport("ZZAB", 1000);
    builder.addFiller(0x1C, 12);
    files.push_back(builder.bytes());
    return files;
}

std::string fuzzedFile(std::mt19937& random, const std::vector<std::string>& sources)
{
    const std::string& sample = sources[random() % sources.size()];
    std::uniform_int_distribution<std::size_t> position(0, sample.size());
    switch (random() % 4) {
    case 0: {
        std::string bytes(random() % 2048, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random());
        return bytes;
    }
    case 1:
        return sample.substr(0, position(random));
    case 2: {
        std::string mutated = sample;
        for (int i = 0; i < 8; ++i)
            mutated[position(random) % mutated.size()] = static_cast<char>(random());
        return mutated;
    }
    default: {
        std::string mutated = sample;
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t word = interestingWords[random() % interestingWords.size()];
            const std::size_t at = (position(random) % (mutated.size() - 4)) & ~std::size_t{1};
            std::memcpy(mutated.data() + at, &word, random() % 2 ? 4 : 2);
        }
        return mutated;
    }
    }
}

TEST(BglFuzz, NoBytesCrashOrHangTheReader)
{
    test::TempFolder folder;
    const auto path = folder / "fuzz.bgl";
    const std::vector<std::string> sources = samples();
    std::mt19937 random(seed);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < fileCount && std::chrono::steady_clock::now() - start < timeBudget; ++i) {
        const std::string bytes = fuzzedFile(random, sources);
        test::writeFile(path, bytes);
        EXPECT_NO_THROW(hasAirportSection(path)) << "file " << i;
        test::RecordingSink sink;
        try {
            lf_toParkingPositions(path, sink);
        } catch (const std::out_of_range&) {
        } catch (const std::exception& e) {
            ADD_FAILURE() << "file " << i << ": " << e.what();
        }
        for (const AirportFileData& airport : sink.generated)
            for (const ParkingPosition& stand : airport.stands)
                ASSERT_TRUE(std::isfinite(stand.latitude) && std::isfinite(stand.longitude) &&
                            std::isfinite(stand.heading) && std::isfinite(stand.radius))
                    << "file " << i << " stand " << stand.name;
    }
    takeScanLog();
}

} // namespace
} // namespace rtd
