#pragma once
// Text files in the user's encodings, whole line files, XML documents and folders.
// Every writer here replaces its file whole or not at all: it writes a temporary file beside
// the target and renames it over the target, so a crash never leaves a half-written file.
// Path texts are UTF-8 (platform::pathFromUtf8 / pathToUtf8).

#include <cstdio>
#include <filesystem>
#include <functional>
#include <istream>
#include <list>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace rtd {

// What the first bytes of a text file say about its encoding.
enum FileEncoding : int {
    ANSI = 0,                // no byte-order mark: plain 8-bit text
    UTF16_little_endian = 1, // FF FE
    UTF16_big_endian = 2,    // FE FF
    UTF8_with_BOM = 3,       // EF BB
    UTF8_without_BOM = 4,    // never detected
    none_found = 5,          // the file could not be opened
};

// A file's path and, once readLines() has run, its lines.
struct LineFile {
    std::filesystem::path path;
    std::vector<std::string> lines;
};

// The user's special folder for a CSIDL value: 26 (roaming application data) or
// 28 (local application data). Empty when the folder is unknown.
std::filesystem::path specialFolderPath(int csidl);

// The encoding named by the file's first two bytes. A file that cannot be opened is logged
// ("cannot open file {} for character encoding, err: {}") and gives none_found.
FileEncoding detectFileEncoding(const std::filesystem::path& path);

// Appends the file's lines, as UTF-8, to `lines`. False when the file cannot be opened or a
// UTF-16 file holds text that cannot be converted; the failure is shown on the status line
// and the lines read before it are kept. Safe to call from many threads at once.
bool readTextFileLines(FileEncoding encoding, const std::filesystem::path& path,
                       std::vector<std::string>& lines);

// Fills lineFile.lines with the lines of lineFile.path (room for expectedCount reserved).
// The address of the lines, or null when the file cannot be opened or has no lines.
std::vector<std::string>* readLines(LineFile& lineFile, int expectedCount);

// Append every line of the stream to the container, without its line end (LF or CR LF), and
// clear the stream's state at the end. A last line without a line end is still read.
void readStreamLinesToVector(std::istream& stream, std::vector<std::string>& lines);
void readStreamLinesToList(std::istream& stream, std::list<std::string>& lines);

// Appends every line of a stream of UTF-16 code units as UTF-8, without its line end.
// Throws win32::Utf8ConversionException on a line that is not valid UTF-16, and
// std::ios_base::failure when the stream breaks off inside a character.
void readUtf16Lines(std::wistream& stream, std::vector<std::string>& lines);

// Writes a new version of `target` whole or not at all: `write` fills a temporary file beside
// it, opened in binary or text mode (text mode writes each line feed as the platform's line
// end), which is then flushed to the disk and renamed over the target. `write` returns false
// to give up. False, with the target untouched and the temporary file removed, when the file
// cannot be opened, written, flushed or renamed. Every file the program writes goes
// through here.
//
// FileSync::batched leaves out the wait for the disk, for a writer that replaces many files
// and then calls platform::syncFileSystems() once before it records them as written.
enum class FileSync { perFile, batched };
bool replaceFileWhole(const std::filesystem::path& target, bool binary,
                      const std::function<bool(std::FILE*)>& write, FileSync sync = FileSync::perFile);

// Removes the temporary files that a replaceFileWhole of `target` stopped before its rename
// (a kill, a power cut) left beside it, "<file name>.<number>.tmp", and no other file. The
// temporaries this process is writing at the time are not leftovers and stay, so it may run
// beside other writers of the same target. The number of files removed.
int removeLeftoverTemporaries(const std::filesystem::path& target);

// Replaces `target` whole with the bytes of `source`. False when either cannot be read or
// written; `target` is then unchanged.
bool copyFileWhole(const std::filesystem::path& source, const std::filesystem::path& target);

// Replace the file with the text, or with each string of the vector, each followed by a line
// end. False when the file could not be written whole; the previous file is then unchanged.
bool writeStringToFile(const std::string& text, const std::filesystem::path& path, FileSync sync = FileSync::perFile);
bool writeStringVectorToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);

// Replaces the file with the document (tab indentation, UTF-8). False when it could not be
// written whole, or when `stop` (asked before each mebibyte is written) says to give up; the
// previous file is then unchanged and no temporary file stays. Logs nothing.
bool writeXmlDocument(const pugi::xml_document& document, const std::filesystem::path& path,
                      const std::function<bool()>& stop = {});

// Saves the document and logs "\"{}\" saved" or
// "could not save to \"{}\"" with the path. The caller learns nothing more.
void saveXmlDocument(const pugi::xml_document& document, const std::filesystem::path& path);

// The entries directly in the folder, in ascending order of their names' UTF-8 bytes, so
// that what is read from them does not depend on the file system's order. Throws
// std::filesystem::filesystem_error when the folder cannot be listed.
std::vector<std::filesystem::directory_entry> sortedDirectoryEntries(const std::filesystem::path& folder);

// The number of regular files (links followed) directly in the folder; 0 when the path does
// not exist. Throws std::filesystem::filesystem_error when the folder cannot be read.
int countFiles(const std::filesystem::path& path);

} // namespace rtd
