#include "core/block_pool.hpp"

#include <gtest/gtest.h>
#include <algorithm>
#include <thread>
#include <vector>

namespace rtd {
namespace {

// A given-back block serves the next request of its power-of-two class on this thread;
// requests over the largest class go to the heap and back.
TEST(BlockPool, GivenBackBlocksServeTheirSizeClass)
{
    struct Row {
        const char* name;
        std::size_t given, taken;
        bool served;
    };
    const Row rows[] = {
        {"a deque node", 416, 416, true},
        {"the same class", 300, 512, true},
        {"the smallest class", 1, 16, true},
        {"the largest class", block_pool::maxPooledBytes, block_pool::maxPooledBytes - 100, true},
        {"a larger class", 256, 257, false},
        {"a smaller class", 512, 256, false},
        {"over the largest", block_pool::maxPooledBytes + 8, block_pool::maxPooledBytes + 8, false},
    };
    for (const Row& row : rows) {
        std::thread([&row] { // a thread of its own starts with empty lists
            const block_pool::ThreadScope pooled;
            void* block = block_pool::take(row.given);
            block_pool::give(block, row.given);
            const bool kept = row.given <= block_pool::maxPooledBytes;
            EXPECT_EQ(block_pool::freeBlockCount(), kept ? 1u : 0u) << row.name;
            void* again = block_pool::take(row.taken);
            if (kept) { // the heap may hand back a freed block's address
                EXPECT_EQ(again == block, row.served) << row.name;
            }
            block_pool::give(again, row.taken);
        }).join();
    }
}

// A block may go back on another thread: it joins that thread's list while the thread holds
// a scope, and the heap otherwise; the scope's end returns the kept blocks to the heap (the
// sanitizer build sees a leak otherwise). This thread's list is untouched.
TEST(BlockPool, BlocksGivenBackOnAnotherThread)
{
    std::vector<void*> blocks;
    for (int i = 0; i < 20; ++i)
        blocks.push_back(block_pool::take(i < 10 ? 1 : 208)); // from the heap: no scope here
    const std::size_t before = block_pool::freeBlockCount();
    std::size_t keptThere = 0, keptAfterScope = 0, keptWithout = 0;
    std::thread([&] {
        {
            const block_pool::ThreadScope pooled;
            const block_pool::ThreadScope nested;
            for (int i = 0; i < 10; ++i)
                block_pool::give(blocks[static_cast<std::size_t>(i)], 1);
            void* reused = block_pool::take(16); // a heap block of size 1 serves a whole class
            std::fill_n(static_cast<char*>(reused), 16, 'x');
            block_pool::give(reused, 16);
            keptThere = block_pool::freeBlockCount();
        }
        keptAfterScope = block_pool::freeBlockCount();
        for (int i = 10; i < 20; ++i)
            block_pool::give(blocks[static_cast<std::size_t>(i)], 208);
        keptWithout = block_pool::freeBlockCount();
    }).join();
    EXPECT_EQ(keptThere, 10u);
    EXPECT_EQ(keptAfterScope, 0u);
    EXPECT_EQ(keptWithout, 0u);
    EXPECT_EQ(block_pool::freeBlockCount(), before);
}

} // namespace
} // namespace rtd
