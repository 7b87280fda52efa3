#include "support/temp_folder.hpp"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace rtd::test {
namespace {

void setEnvironment(const std::string& name, const std::optional<std::string>& value)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
#endif
}

} // namespace

TempFolder::TempFolder()
{
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("ramptide-test-" + std::to_string(device()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            path_ = std::filesystem::canonical(candidate);
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name))
{
    if (const char* old = std::getenv(name_.c_str()))
        previous_ = old;
    setEnvironment(name_, value);
}

ScopedEnv::~ScopedEnv()
{
    setEnvironment(name_, previous_);
}

ScopedCurrentFolder::ScopedCurrentFolder(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path())
{
    std::filesystem::current_path(folder);
}

ScopedCurrentFolder::~ScopedCurrentFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::string readText(const std::filesystem::path& path)
{
    std::string text = readFile(path);
    std::string::size_type out = 0;
    for (std::string::size_type in = 0; in < text.size(); ++in)
        if (!(text[in] == '\r' && in + 1 < text.size() && text[in + 1] == '\n'))
            text[out++] = text[in];
    text.resize(out);
    return text;
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

} // namespace rtd::test
