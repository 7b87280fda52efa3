#include "liveries/scramble.hpp"

#include "core/log.hpp"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <stdexcept>

namespace rtd {
namespace {

constexpr std::string_view plainAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-";
constexpr std::string_view scrambledTable = "SCTIKRW86A4EFHZUO52PQBD13JYVM70-XN9GL";
constexpr int alphabetSize = static_cast<int>(plainAlphabet.size());
static_assert(scrambledTable.size() == plainAlphabet.size());

// Index of every byte in an alphabet, -1 for bytes outside it.
constexpr std::array<int, 256> indexOf(std::string_view alphabet)
{
    std::array<int, 256> index{};
    index.fill(-1);
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        index[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
    return index;
}

constexpr auto plainIndex = indexOf(plainAlphabet);
constexpr auto scrambledIndex = indexOf(scrambledTable);

int wrap(int value)
{
    return ((value % alphabetSize) + alphabetSize) % alphabetSize;
}

char scramble(char c, int key)
{
    const int a = plainIndex[static_cast<unsigned char>(c)];
    return a < 0 ? c : scrambledTable[wrap(a + key)];
}

char unscramble(char c, int key)
{
    const int t = scrambledIndex[static_cast<unsigned char>(c)];
    return t < 0 ? c : plainAlphabet[wrap(t - key)];
}

int registrationKey(std::size_t position) { return 3 + 7 * static_cast<int>(position); }
int threeCharKey(std::size_t position) { return 11 + 5 * static_cast<int>(position); }
int fourCharKey(std::size_t position) { return 17 + 3 * static_cast<int>(position); }
constexpr int generalModelKey = 13;
int airlineKey(std::size_t position) { return 19 + 4 * static_cast<int>(position); }

// Where the plain character of scrambled position i of a model code comes from.
std::size_t modelSource(std::size_t length, std::size_t position)
{
    if (length == 3)
        return 2 - position;
    if (length == 4)
        return (position + 2) % 4;
    return position;
}

int modelKey(std::size_t length, std::size_t position)
{
    if (length == 3)
        return threeCharKey(position);
    if (length == 4)
        return fourCharKey(position);
    return generalModelKey;
}

char airlineFiller(char plain, std::size_t position)
{
    const int a = std::max(plainIndex[static_cast<unsigned char>(plain)], 0);
    return scrambledTable[wrap(a * 5 + 2 * static_cast<int>(position) + 1)];
}

} // namespace

std::string decryptModelType(std::string_view code)
{
    std::string plain(code.size(), ' ');
    for (std::size_t i = 0; i < code.size(); ++i)
        plain[modelSource(code.size(), i)] = unscramble(code[i], modelKey(code.size(), i));
    return plain;
}

std::string encryptModelType(std::string_view code)
{
    std::string scrambled(code.size(), ' ');
    for (std::size_t i = 0; i < code.size(); ++i)
        scrambled[i] = scramble(code[modelSource(code.size(), i)], modelKey(code.size(), i));
    return scrambled;
}

std::string decryptAirline(std::string_view code)
{
    if (code.empty())
        return {};
    if (code.size() == 3) {
        logArrow(fmt::format("Unencrypted airline {} in decrypt airl?", code));
        return std::string(code);
    }
    if (code.size() != 6)
        throw std::runtime_error(fmt::format("decrypt airl \"{}\" error", code));
    std::string plain(3, ' ');
    for (std::size_t i = 0; i < 3; ++i)
        plain[i] = unscramble(code[2 * i], airlineKey(i));
    return plain;
}

std::string encryptAirline(std::string_view code)
{
    if (code.size() != 3 && !code.empty())
        throw std::invalid_argument(fmt::format("airline code \"{}\" is not three characters", code));
    std::string scrambled;
    for (std::size_t i = 0; i < code.size(); ++i) {
        scrambled += scramble(code[i], airlineKey(i));
        scrambled += airlineFiller(code[i], i);
    }
    return scrambled;
}

std::string decryptRegcode(std::string_view code)
{
    std::string plain(code);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = unscramble(plain[i], registrationKey(i));
    return plain;
}

std::string encryptRegcode(const std::string& code)
{
    if (code.size() == 1 || code.size() >= 25)
        logArrow(code);
    if (std::any_of(code.begin(), code.end(), [](char c) { return c >= 'a' && c <= 'z'; })) {
        logLine(fmt::format("lower case in regcode encryp {}", code));
        throw std::runtime_error("regcode encrypt error");
    }
    std::string scrambled(code);
    for (std::size_t i = 0; i < scrambled.size(); ++i)
        scrambled[i] = scramble(scrambled[i], registrationKey(i));
    return scrambled;
}

} // namespace rtd
