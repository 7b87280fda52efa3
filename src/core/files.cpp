#include "core/files.hpp"

#include "core/display.hpp"
#include "core/exceptions.hpp"
#include "core/log.hpp"
#include "core/utf.hpp"
#include "platform/platform.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fmt/format.h>
#include <fstream>
#include <locale>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

namespace rtd {

namespace {

namespace fs = std::filesystem;

constexpr int csidlAppData = 26;
constexpr int csidlLocalAppData = 28;

// Decodes the bytes of a UTF-16 file into its code units, one wchar_t per unit, in a byte
// order fixed at construction. Surrogates pass through unchanged, so the line converter sees
// (and rejects) a lone one; a byte without its partner at the end of the file is a partial
// character, which the file stream reports as a failure.
class Utf16CodeUnits final : public std::codecvt<wchar_t, char, std::mbstate_t> {
public:
    explicit Utf16CodeUnits(bool bigEndian) : bigEndian_(bigEndian) {}

protected:
    result do_in(state_type&, const extern_type* from, const extern_type* fromEnd,
                 const extern_type*& fromNext, intern_type* to, intern_type* toEnd,
                 intern_type*& toNext) const override
    {
        const int high = bigEndian_ ? 0 : 1;
        while (fromEnd - from >= 2 && to != toEnd) {
            const auto first = static_cast<unsigned char>(from[high]);
            const auto second = static_cast<unsigned char>(from[1 - high]);
            *to++ = static_cast<intern_type>((first << 8) | second);
            from += 2;
        }
        fromNext = from;
        toNext = to;
        return from == fromEnd ? ok : partial;
    }

    result do_out(state_type&, const intern_type* from, const intern_type*, const intern_type*& fromNext,
                  extern_type* to, extern_type*, extern_type*& toNext) const override
    {
        fromNext = from;
        toNext = to;
        return error; // read-only: the program never writes UTF-16 files
    }

    result do_unshift(state_type&, extern_type* to, extern_type*, extern_type*& toNext) const override
    {
        toNext = to;
        return noconv;
    }

    int do_encoding() const noexcept override { return 2; }
    bool do_always_noconv() const noexcept override { return false; }
    int do_max_length() const noexcept override { return 2; }

    int do_length(state_type&, const extern_type* from, const extern_type* fromEnd,
                  std::size_t max) const override
    {
        const auto units = std::min(static_cast<std::size_t>(fromEnd - from) / 2, max);
        return static_cast<int>(units * 2);
    }

private:
    bool bigEndian_;
};

bool readUtf16File(bool bigEndian, const fs::path& path, std::vector<std::string>& lines)
{
    // A larger buffer than the stream's own makes the reading of big files about a third faster.
    std::vector<wchar_t> buffer(64 * 1024);
    std::wifstream stream;
    stream.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    stream.imbue(std::locale(std::locale::classic(), new Utf16CodeUnits(bigEndian)));
    stream.open(path, std::ios::in | std::ios::binary);
    if (!stream.is_open())
        return false;
    const std::size_t first = lines.size();
    try {
        constexpr std::wifstream::int_type byteOrderMark = 0xFEFF;
        if (stream.peek() == byteOrderMark)
            stream.get();
        readUtf16Lines(stream, lines);
    } catch (const win32::Utf8ConversionException& e) {
        setStatus(fmt::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()), true);
        logLine(fmt::format("{} is read only up to its line {}", platform::pathToUtf8(path), lines.size() - first + 1));
        return false;
    } catch (const std::exception& e) {
        setStatus(fmt::format("conversion from error from utf16 to utf8: {}", e.what()), true);
        logLine(fmt::format("{} is read only up to its line {}", platform::pathToUtf8(path), lines.size() - first + 1));
        return false;
    }
    return true;
}

bool readNarrowFile(const fs::path& path, std::vector<std::string>& lines)
{
    std::ifstream stream(path);
    if (!stream.is_open())
        return false;
    readStreamLinesToVector(stream, lines);
    return true;
}

void dropUtf8ByteOrderMark(std::string& line)
{
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    if (std::string_view(line).substr(0, mark.size()) == mark)
        line.erase(0, mark.size());
}

template <typename Container>
void readStreamLines(std::istream& stream, Container& lines)
{
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    stream.clear();
}

// A name for a temporary file beside `target`, unique within this process.
fs::path temporaryPathFor(const fs::path& target)
{
    static std::atomic<unsigned> counter{0};
    fs::path name = target.filename();
    name += fmt::format(".{}.tmp", counter++);
    return target.parent_path() / name;
}

// The names of the temporary files this process is writing now. A name is unique within the
// process, so it marks its file whatever spelling of the folder reaches it. A name is added
// before its file is created and taken out after the file is renamed or removed, and
// removeLeftoverTemporaries removes under the same lock: it never takes a file being written.
std::mutex liveTemporariesMutex;
std::set<std::string> liveTemporaries;

class LiveTemporary {
public:
    explicit LiveTemporary(const fs::path& path) : name_(platform::pathToUtf8(path.filename()))
    {
        const std::lock_guard lock(liveTemporariesMutex);
        liveTemporaries.insert(name_);
    }
    ~LiveTemporary()
    {
        const std::lock_guard lock(liveTemporariesMutex);
        liveTemporaries.erase(name_);
    }
    LiveTemporary(const LiveTemporary&) = delete;
    LiveTemporary& operator=(const LiveTemporary&) = delete;

private:
    std::string name_;
};

bool writeBytes(std::FILE* file, std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

} // namespace

fs::path specialFolderPath(int csidl)
{
    switch (csidl) {
    case csidlAppData:
        return platform::appDataFolder();
    case csidlLocalAppData:
        return platform::localAppDataFolder();
    default:
        return {};
    }
}

FileEncoding detectFileEncoding(const fs::path& path)
{
    std::FILE* file = platform::openFile(path, "rb");
    if (file == nullptr) {
        logLine(fmt::format("cannot open file {} for character encoding, err: {}",
                            platform::pathToUtf8(path), platform::lastFileError()));
        return none_found;
    }
    unsigned char bytes[2] = {};
    const std::size_t count = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    if (count < 2)
        return ANSI;
    if (bytes[0] == 0xFF && bytes[1] == 0xFE)
        return UTF16_little_endian;
    if (bytes[0] == 0xFE && bytes[1] == 0xFF)
        return UTF16_big_endian;
    if (bytes[0] == 0xEF && bytes[1] == 0xBB)
        return UTF8_with_BOM;
    return ANSI;
}

bool readTextFileLines(FileEncoding encoding, const fs::path& path, std::vector<std::string>& lines)
{
    switch (encoding) {
    case UTF16_little_endian:
        return readUtf16File(false, path, lines);
    case UTF16_big_endian:
        return readUtf16File(true, path, lines);
    case UTF8_with_BOM: {
        const std::size_t first = lines.size();
        if (!readNarrowFile(path, lines))
            return false;
        if (lines.size() > first)
            dropUtf8ByteOrderMark(lines[first]);
        return true;
    }
    default:
        return readNarrowFile(path, lines);
    }
}

std::vector<std::string>* readLines(LineFile& lineFile, int expectedCount)
{
    std::ifstream stream(lineFile.path);
    if (!stream.is_open())
        return nullptr;
    if (expectedCount > 0)
        lineFile.lines.reserve(static_cast<std::size_t>(expectedCount));
    readStreamLinesToVector(stream, lineFile.lines);
    return lineFile.lines.empty() ? nullptr : &lineFile.lines;
}

void readStreamLinesToVector(std::istream& stream, std::vector<std::string>& lines)
{
    readStreamLines(stream, lines);
}

void readStreamLinesToList(std::istream& stream, std::list<std::string>& lines)
{
    readStreamLines(stream, lines);
}

void readUtf16Lines(std::wistream& stream, std::vector<std::string>& lines)
{
    std::wstring line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        lines.push_back(utf16ToUtf8(line));
    }
    if (stream.bad())
        throw std::ios_base::failure("the UTF-16 text ends inside a character");
}

bool replaceFileWhole(const fs::path& target, bool binary, const std::function<bool(std::FILE*)>& write, FileSync sync)
{
    const fs::path temporary = temporaryPathFor(target);
    const LiveTemporary live(temporary);
    std::FILE* file = platform::openFile(temporary, binary ? "wb" : "w");
    if (file == nullptr)
        return false;
    bool written = write(file);
    written = (sync == FileSync::perFile ? platform::flushToDisk(file) : std::fflush(file) == 0) && written;
    written = std::fclose(file) == 0 && written;
    std::error_code error;
    if (written) {
        // Windows refuses a rename onto a file that another rename is replacing at that
        // moment, so two threads saving one file would see one of them fail: the renames of
        // this process go one at a time. A rename is short, unlike the write before it.
        static std::mutex renameMutex;
        const std::lock_guard lock(renameMutex);
        fs::rename(temporary, target, error);
    }
    if (!written || error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

int removeLeftoverTemporaries(const fs::path& target)
{
    const std::string prefix = platform::pathToUtf8(target.filename()) + ".";
    constexpr std::string_view suffix = ".tmp";
    const auto isLeftover = [&](const std::string& name) {
        if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
            return false;
        return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                           name.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                           [](char c) { return c >= '0' && c <= '9'; });
    };
    std::vector<fs::path> leftovers;
    std::error_code error;
    std::error_code fileError; // a file that cannot be asked about or removed is left
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (isLeftover(platform::pathToUtf8(it->path().filename())) && it->is_regular_file(fileError))
            leftovers.push_back(it->path());
    int removed = 0;
    const std::lock_guard lock(liveTemporariesMutex);
    for (const fs::path& leftover : leftovers)
        if (!liveTemporaries.contains(platform::pathToUtf8(leftover.filename())) && fs::remove(leftover, fileError))
            ++removed;
    return removed;
}

bool copyFileWhole(const fs::path& source, const fs::path& target)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(platform::openFile(source, "rb"), &std::fclose);
    if (!in)
        return false;
    return replaceFileWhole(target, true, [&in](std::FILE* out) {
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), in.get());
            if (count > 0 && std::fwrite(buffer.data(), 1, count, out) != count)
                return false;
            if (count < buffer.size())
                return std::ferror(in.get()) == 0;
        }
    });
}

bool writeStringToFile(const std::string& text, const fs::path& path, FileSync sync)
{
    return replaceFileWhole(
        path, false, [&](std::FILE* file) { return writeBytes(file, text) && writeBytes(file, "\n"); }, sync);
}

bool writeStringVectorToFile(const std::vector<std::string>& lines, const fs::path& path)
{
    return replaceFileWhole(path, false, [&](std::FILE* file) {
        for (const std::string& line : lines)
            if (!writeBytes(file, line) || !writeBytes(file, "\n"))
                return false;
        return true;
    });
}

bool writeXmlDocument(const pugi::xml_document& document, const fs::path& path, const std::function<bool()>& stop)
{
    constexpr std::size_t pieceBytes = 1 << 20;
    std::ostringstream text;
    document.save(text, "\t", pugi::format_default, pugi::encoding_utf8);
    return replaceFileWhole(path, true, [&](std::FILE* file) {
        for (std::string_view rest = text.view(); !rest.empty(); rest.remove_prefix(std::min(rest.size(), pieceBytes)))
            if ((stop && stop()) || !writeBytes(file, rest.substr(0, pieceBytes)))
                return false;
        return true;
    });
}

void saveXmlDocument(const pugi::xml_document& document, const fs::path& path)
{
    const bool saved = writeXmlDocument(document, path);
    const std::string text = platform::pathToUtf8(path);
    logLine(saved ? fmt::format("\"{}\" saved", text) : fmt::format("could not save to \"{}\"", text));
}

std::vector<fs::directory_entry> sortedDirectoryEntries(const fs::path& folder)
{
    std::vector<std::pair<std::string, fs::directory_entry>> named;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        named.emplace_back(platform::pathToUtf8(entry.path().filename()), entry);
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<fs::directory_entry> entries;
    entries.reserve(named.size());
    for (auto& item : named)
        entries.push_back(std::move(item.second));
    return entries;
}

int countFiles(const fs::path& path)
{
    if (!fs::exists(path))
        return 0;
    std::error_code error;
    fs::directory_iterator entry(path, error);
    if (error)
        throw fs::filesystem_error("directory_iterator::directory_iterator", path, error);
    int count = 0;
    for (; entry != fs::directory_iterator(); entry.increment(error)) {
        const fs::file_status status = entry->status(error);
        if (status.type() == fs::file_type::none)
            throw fs::filesystem_error("directory_entry::status", entry->path(), error);
        if (fs::is_regular_file(status))
            ++count;
    }
    if (error)
        throw fs::filesystem_error("directory_iterator::operator++", path, error);
    return count;
}

} // namespace rtd
