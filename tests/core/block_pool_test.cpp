#include "core/block_pool.hpp"

#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace rtd {
namespace {

// Which sizes a thread keeps: a given-back block serves the next request of its size only;
// sizes beyond the pooled count or the largest pooled size go back to the heap.
TEST(BlockPool, GivenBackBlocksServeTheirSizeOnThisThread)
{
    struct Row {
        const char* name;
        std::size_t bytes;
        bool kept;
    };
    const Row rows[] = {
        {"a deque node", 416, true},
        {"a map", 64, true},
        {"the largest pooled", block_pool::maxPooledBytes, true},
        {"over the largest", block_pool::maxPooledBytes + 8, false},
        {"smaller than a link", 4, false},
    };
    for (const Row& row : rows) {
        const std::size_t before = block_pool::freeBlockCount();
        void* block = block_pool::take(row.bytes);
        block_pool::give(block, row.bytes);
        EXPECT_EQ(block_pool::freeBlockCount(), before + (row.kept ? 1 : 0)) << row.name;
        void* again = block_pool::take(row.bytes);
        if (row.kept) {
            EXPECT_EQ(again, block) << row.name;
            EXPECT_EQ(block_pool::freeBlockCount(), before) << row.name;
        }
        block_pool::give(again, row.bytes);
    }
    void* node = block_pool::take(416);
    void* map = block_pool::take(64);
    EXPECT_NE(node, map) << "sizes are not mixed";
    block_pool::give(node, 416);
    block_pool::give(map, 64);
}

// A block may go back on another thread: it joins that thread's list, which the thread's end
// returns to the heap (the sanitizer build sees a leak otherwise); this thread's list is untouched.
TEST(BlockPool, BlocksGivenBackOnAnotherThread)
{
    std::vector<void*> blocks;
    for (int i = 0; i < 10; ++i)
        blocks.push_back(block_pool::take(208));
    const std::size_t before = block_pool::freeBlockCount();
    std::size_t keptThere = 0;
    std::thread([&] {
        for (void* block : blocks)
            block_pool::give(block, 208);
        keptThere = block_pool::freeBlockCount();
    }).join();
    EXPECT_EQ(keptThere, 10u);
    EXPECT_EQ(block_pool::freeBlockCount(), before);
}

// More sizes than a thread pools: the extra ones pass straight through.
TEST(BlockPool, SizesBeyondThePooledCountPassThrough)
{
    std::thread([] {
        for (std::size_t i = 0; i < block_pool::pooledSizes + 3; ++i)
            block_pool::give(block_pool::take(32 + 8 * i), 32 + 8 * i);
        EXPECT_EQ(block_pool::freeBlockCount(), block_pool::pooledSizes);
    }).join();
}

} // namespace
} // namespace rtd
