#include "core/log.hpp"
#include "platform/platform.hpp"
#include "simulator/win32/simconnect_library.hpp"
#include "support/temp_folder.hpp"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <utility>
#include <vector>

namespace rtd::sim {
namespace {

std::filesystem::path besideTestProgram(const wchar_t* name)
{
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return std::filesystem::path(buffer).parent_path() / name;
}

void ignoreMessage(const RecvHeader*, std::uint32_t, void*) {}

TEST(ClientLibraryTest, AnUnusableLibraryFailsEveryCallAndIsReportedOnce)
{
    struct Case {
        const char* name;
        void (*prepare)(const std::filesystem::path& install);
        const char* report;
    };
    const Case cases[] = {
        {"no file", [](const std::filesystem::path&) {}, "SimConnect.dll not found in the installation folder "},
        {"not a library",
         [](const std::filesystem::path& install) { std::ofstream(install / "SimConnect.dll") << "not a DLL"; },
         "cannot be loaded"},
        {"a function missing",
         [](const std::filesystem::path& install) {
             std::filesystem::copy_file(besideTestProgram(L"partial_simconnect.dll"), install / "SimConnect.dll");
         },
         "has no function SimConnect_SubscribeToSystemEvent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder folder;
        const std::filesystem::path install = folder / "install";
        std::filesystem::create_directories(install);
        c.prepare(install);
        openLogFile(folder / "Log.txt");
        {
            DllClientLibrary library(install);
            for (int attempt = 0; attempt < 3; ++attempt) { // the thread retries every second
                Handle handle = nullptr;
                EXPECT_EQ(library.open(&handle, "Ramptide", nullptr, 0, nullptr, 0), failed);
                EXPECT_EQ(handle, nullptr);
                EXPECT_EQ(library.callDispatch(handle, ignoreMessage, nullptr), failed);
                EXPECT_EQ(library.subscribeToSystemEvent(handle, 201, "Sim"), failed);
                EXPECT_EQ(library.close(handle), failed);
            }
        }
        closeLogFile();
        std::ifstream log(folder / "Log.txt");
        std::string line;
        int reports = 0;
        std::getline(log, line); // the header
        while (std::getline(log, line)) {
            EXPECT_NE(line.find(c.report), std::string::npos) << line;
            EXPECT_NE(line.find(platform::pathToUtf8(install)), std::string::npos) << line;
            ++reports;
        }
        EXPECT_EQ(reports, 1);
    }
}

TEST(ClientLibraryTest, TheStandInLibraryConnectsThroughTheBinding)
{
    test::TempFolder folder;
    std::filesystem::copy_file(besideTestProgram(L"stand_in_simconnect.dll"), folder / "SimConnect.dll");
    DllClientLibrary library(folder.path());
    Handle handle = nullptr;
    ASSERT_EQ(library.open(&handle, "Ramptide", nullptr, 0, nullptr, 0), ok);
    ASSERT_NE(handle, nullptr);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> received; // id, size
    const DispatchProc keep = [](const RecvHeader* message, std::uint32_t size, void* context) {
        static_cast<decltype(received)*>(context)->emplace_back(message->id, size);
    };
    EXPECT_EQ(library.callDispatch(handle, keep, &received), ok);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received[0], std::make_pair(std::uint32_t{recvOpen}, std::uint32_t{sizeof(RecvOpen)}));
    EXPECT_EQ(library.callDispatch(handle, keep, &received), ok) << "nothing waiting is a success";
    EXPECT_EQ(library.close(handle), ok);
    library.release();
}

} // namespace
} // namespace rtd::sim
