#include "CBlockQueue.h"
#include "CMeterTap.h"
#include "Chunks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

namespace {

BlockData MakeBlock(const Bytes& b)
{
    BlockData d = AllocBlock(b.size());
    memcpy(d.get(), b.data(), b.size());
    return d;
}

std::vector<Bytes> Drain(CBlockQueue& q)
{
    std::vector<Bytes> out;
    while (Block b = q.PopFront())
        out.emplace_back(b.data.get(), b.data.get() + b.length);
    return out;
}

}  // namespace

TEST(BlockQueue, CountsTotalsAndOrder)
{
    CBlockQueue q;
    EXPECT_TRUE(q.IsEmpty());
    Block none = q.PopFront();
    EXPECT_FALSE(none);
    EXPECT_EQ(none.length, 0);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.TotalBytes(), 0);

    q.PushBack(MakeBlock({1, 2, 3}), 3);
    q.PushBack(MakeBlock({4}), 1);
    q.PushBack(MakeBlock({5, 6}), 2);
    EXPECT_EQ(q.Count(), 3);
    EXPECT_EQ(q.TotalBytes(), 6);

    // The cursor walks without removing; a pop keeps it on the same entry.
    q.ResetCursor();
    EXPECT_EQ(q.NextAtCursor().length, 3);
    Block first = q.PopFront();
    EXPECT_EQ(Bytes(first.data.get(), first.data.get() + 3), (Bytes{1, 2, 3}));
    BlockView v = q.NextAtCursor();
    ASSERT_NE(v.data, nullptr);
    EXPECT_EQ(v.data[0], 4);
    EXPECT_EQ(q.NextAtCursor().data[0], 5);
    EXPECT_EQ(q.NextAtCursor().data, nullptr);
    EXPECT_EQ(q.Count(), 2);
    EXPECT_EQ(q.TotalBytes(), 3);

    q.Clear();
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.TotalBytes(), 0);
    q.ResetCursor();
    EXPECT_EQ(q.NextAtCursor().data, nullptr);
    // A null block is refused and leaves the queue alone.
    EXPECT_FALSE(q.PushBack(nullptr, 10));
    EXPECT_EQ(q.TotalBytes(), 0);
}

TEST(BlockQueue, SwapBytePairs)
{
    struct Case {
        Bytes in, out;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5}, {2, 1, 4, 3, 5}},
        {{1, 2}, {2, 1}},
        {{9}, {9}},
        {{}, {}},
    };
    for (auto c : cases) {
        SwapBytePairs(c.in.data(), c.in.size());
        EXPECT_EQ(c.in, c.out);
    }
}

TEST(BlockQueue, QueueChunksPadsTheLastChunkWithMuLawZero)
{
    struct Case {
        size_t length;
        std::vector<size_t> used;
    };
    const Case cases[] = {
        {0, {}}, {1, {1}}, {240, {240}}, {300, {240, 60}}, {480, {240, 240}}, {8000, std::vector<size_t>(33, 240)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Bytes run(c.length);
        for (size_t i = 0; i < run.size(); ++i)
            run[i] = uint8_t(i % 251);
        CBlockQueue q;
        ASSERT_TRUE(QueueChunks(run.data(), run.size(), q));
        auto chunks = Drain(q);
        auto used = c.used;
        if (c.length == 8000)
            used.push_back(80);
        ASSERT_EQ(chunks.size(), used.size());
        size_t pos = 0;
        for (size_t k = 0; k < chunks.size(); ++k) {
            ASSERT_EQ(chunks[k].size(), 240u);
            EXPECT_TRUE(std::equal(run.begin() + long(pos), run.begin() + long(pos + used[k]), chunks[k].begin()));
            EXPECT_EQ(std::count(chunks[k].begin() + long(used[k]), chunks[k].end(), 0xFF), long(240 - used[k]));
            pos += used[k];
        }
    }
}

TEST(BlockQueue, ProducerAndConsumerThreadsLoseNothing)
{
    // One thread fills while another empties: every block arrives once, in
    // order, with its bytes intact; the counters end at zero.
    constexpr int kBlocks = 10000;
    CBlockQueue q;
    std::atomic<bool> producerDone{false};
    std::thread producer([&] {
        for (int i = 0; i < kBlocks; ++i) {
            const int len = 4 + i % 37;
            BlockData d = AllocBlock(size_t(len));
            memcpy(d.get(), &i, 4);
            for (int k = 4; k < len; ++k)
                d[size_t(k)] = uint8_t(i + k);
            ASSERT_TRUE(q.PushBack(std::move(d), len));
        }
        producerDone = true;
    });
    int next = 0;
    bool intact = true;
    std::thread consumer([&] {
        while (next < kBlocks) {
            Block b = q.PopFront();
            if (!b) {
                std::this_thread::yield();
                continue;
            }
            int id;
            memcpy(&id, b.data.get(), 4);
            if (id != next || b.length != 4 + id % 37)
                intact = false;
            for (int k = 4; k < b.length; ++k)
                if (b.data[size_t(k)] != uint8_t(id + k))
                    intact = false;
            ++next;
            (void)q.Count();  // readers of the counters race with both threads
        }
    });
    producer.join();
    consumer.join();
    EXPECT_TRUE(producerDone);
    EXPECT_EQ(next, kBlocks);
    EXPECT_TRUE(intact);
    EXPECT_EQ(q.Count(), 0);
    EXPECT_EQ(q.TotalBytes(), 0);
}

TEST(MeterTap, CopiesTakesAndClears)
{
    CMeterTap tap;
    EXPECT_EQ(tap.IsEnabled(), 0);
    tap.SetEnabled(1);
    EXPECT_EQ(tap.IsEnabled(), 1);
    uint8_t pcm[4] = {1, 2, 3, 4};
    ASSERT_TRUE(tap.PushCopy(pcm, 4));
    pcm[0] = 99;  // the tap holds its own copy
    ASSERT_TRUE(tap.PushCopy(pcm, 2));
    Block b = tap.Take();
    ASSERT_TRUE(b);
    EXPECT_EQ(b.length, 4);
    EXPECT_EQ(b.data[0], 1);
    tap.ClearIfAny();
    EXPECT_FALSE(tap.Take());
    tap.ClearIfAny();
    EXPECT_FALSE(tap.PushCopy(nullptr, 4));
    EXPECT_FALSE(tap.PushCopy(pcm, 0));
    EXPECT_EQ(tap.Count(), 0);
}
