#include "core/workers.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

namespace rtd {

namespace {

int limitFor(unsigned hardwareThreads)
{
    return static_cast<int>(std::clamp(hardwareThreads, 1U, static_cast<unsigned>(INT_MAX)));
}

std::atomic<int> activeCount{0};
std::atomic<int> workerLimit{limitFor(std::thread::hardware_concurrency())};

// Takes a slot when one is free; the compare-exchange keeps two starters from taking the
// last slot together.
bool tryTakeSlot()
{
    int taken = activeCount.load();
    while (taken < workerLimit.load()) {
        if (activeCount.compare_exchange_weak(taken, taken + 1))
            return true;
    }
    return false;
}

} // namespace

void setMaxWorkers(unsigned hardwareThreads)
{
    workerLimit.store(limitFor(hardwareThreads));
}

int maxWorkers() { return workerLimit.load(); }

int activeWorkers() { return activeCount.load(); }

void waitForThreadSlot()
{
    while (!tryTakeSlot())
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::microseconds(10));
}

void releaseThreadSlot()
{
    int taken = activeCount.load();
    while (taken > 0 && !activeCount.compare_exchange_weak(taken, taken - 1)) {
    }
}

} // namespace rtd
