#include "core/workers.hpp"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace rtd {
namespace {

class WorkerSlots : public ::testing::Test {
protected:
    void TearDown() override { setMaxWorkers(std::thread::hardware_concurrency()); }
};

TEST_F(WorkerSlots, UnknownHardwareCountStillAllowsOneWorker)
{
    setMaxWorkers(0);
    EXPECT_EQ(maxWorkers(), 1);
    setMaxWorkers(6);
    EXPECT_EQ(maxWorkers(), 6);
}

TEST_F(WorkerSlots, ReleaseWithoutATakenSlotKeepsTheCountAtZero)
{
    ASSERT_EQ(activeWorkers(), 0);
    releaseThreadSlot();
    EXPECT_EQ(activeWorkers(), 0);
}

// Eight starters, each starting workers through the slots, never run more than the limit at
// once, and every slot comes back. The workers are joined at the end rather than detached:
// detaching a thread that has already ended fails under winpthreads (ESRCH), which under
// Wine ended this test in std::terminate or left it hanging.
TEST_F(WorkerSlots, EightStartersNeverExceedTheLimit)
{
    constexpr int limit = 3;
    constexpr int workersPerStarter = 25;
    setMaxWorkers(limit);

    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    std::atomic<int> overLimit{0};
    std::atomic<int> finished{0};
    const auto worker = [&] {
        const int now = ++running;
        int most = mostRunning.load();
        while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
        }
        // Its own slot is counted; how many others are is stale as soon as it is read.
        if (const int active = activeWorkers(); active > limit || active < 1)
            ++overLimit;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        --running;
        ++finished;
        releaseThreadSlot();
    };

    std::vector<std::thread> starters;
    std::vector<std::vector<std::thread>> workers(8);
    for (int s = 0; s < 8; ++s) {
        starters.emplace_back([&, s] {
            for (int w = 0; w < workersPerStarter; ++w) {
                waitForThreadSlot();
                workers[static_cast<std::size_t>(s)].emplace_back(worker);
            }
        });
    }
    for (auto& starter : starters)
        starter.join();
    for (auto& started : workers)
        for (auto& thread : started)
            thread.join();
    EXPECT_EQ(finished.load(), 8 * workersPerStarter);

    EXPECT_LE(mostRunning.load(), limit);
    EXPECT_EQ(overLimit.load(), 0);
    EXPECT_EQ(activeWorkers(), 0);
}

} // namespace
} // namespace rtd
