// Reading a large UTF-16 text file line by line, as the livery scan reads aircraft.cfg files
// saved in UTF-16. The file (about 50 MB, little-endian, CR LF line ends, some non-ASCII text)
// is made in a temporary folder when the benchmark starts and removed when it ends.

#include "core/files.hpp"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t fileBytes = 50u * 1024 * 1024;

std::string utf16LittleEndian(const std::u16string& text)
{
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

class Utf16File {
public:
    Utf16File() : folder_(fs::temp_directory_path() / "ramptide_files_bench")
    {
        fs::create_directories(folder_);
        const std::string block = utf16LittleEndian(
            u"[fltsim.0]\r\ntitle=Airbus A320neo Lufthansa D-AINA \u00C4\u00D6\u00DC\r\n"
            u"model=\r\ntexture=LH \u20AC \U0001F600\r\natc_airline=LUFTHANSA\r\n"
            u"ui_variation=\"Lufthansa\"\r\n\r\n");
        std::ofstream stream(path(), std::ios::binary | std::ios::trunc);
        stream << utf16LittleEndian(u"\uFEFF");
        for (std::size_t written = 2; written < fileBytes; written += block.size())
            stream << block;
    }
    ~Utf16File()
    {
        std::error_code error;
        fs::remove_all(folder_, error);
    }
    Utf16File(const Utf16File&) = delete;
    Utf16File& operator=(const Utf16File&) = delete;

    fs::path path() const { return folder_ / "aircraft_utf16.cfg"; }
    std::size_t size() const { return static_cast<std::size_t>(fs::file_size(path())); }

private:
    fs::path folder_;
};

void BM_ReadUtf16Lines(benchmark::State& state)
{
    static const Utf16File file;
    const std::size_t bytes = file.size();
    for (auto _ : state) {
        std::vector<std::string> lines;
        const bool read = rtd::readTextFileLines(rtd::UTF16_little_endian, file.path(), lines);
        benchmark::DoNotOptimize(read);
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ReadUtf16Lines)->Unit(benchmark::kMillisecond);

} // namespace
