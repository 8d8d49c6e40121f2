#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/cross_sys.h"
#include "runtime/fifo.h"
#include "stdout_capture.h"

namespace {

const std::string kGrowLine = "[ERROR] - fifo_grow_internal\n";
const std::string kFullLine = "[ERROR] - fifo_push: fifo full and grow not permitted\n";

// Entries are addresses in this array, each pushed with size 100 + its index.
char g_entries[64];
void *entry(int i) { return &g_entries[i]; }
int32_t size_of(int i) { return 100 + i; }

std::vector<void *> g_released;

void record_release(void **stored)
{
    g_released.push_back(*stored);
    *stored = nullptr;
}

class Fifo : public testing::Test {
protected:
    void SetUp() override { g_released.clear(); }
    void TearDown() override
    {
        for (Fifo_T *&queue : queues_)
            fifo_destroy(&queue);
    }

    Fifo_T *make(int32_t capacity, uint8_t options, FifoRelease_T release = record_release)
    {
        Fifo_T *queue = fifo_create(capacity, release);
        EXPECT_NE(queue, nullptr);
        if (options != 0)
            fifo_set_option(queue, options, 1);
        queues_.push_back(queue);
        return queue;
    }

    static void push(Fifo_T *queue, int i) { ASSERT_EQ(fifo_push(queue, entry(i), size_of(i)), 0); }

    // Pushes and pops filler entries so that the oldest entry sits at index `head`.
    static void rotate(Fifo_T *queue, int head)
    {
        for (int i = 0; i < head; ++i) {
            fifo_push(queue, entry(63), 0);
            fifo_pop(queue, nullptr);
        }
    }

    static void expect_pops(Fifo_T *queue, std::initializer_list<int> expected)
    {
        for (int i : expected) {
            int32_t size = -1;
            EXPECT_EQ(fifo_pop(queue, &size), entry(i));
            EXPECT_EQ(size, size_of(i));
        }
        int32_t size = -1;
        EXPECT_EQ(fifo_pop(queue, &size), nullptr);
        EXPECT_EQ(size, -1) << "an empty pop writes no size";
    }

    std::vector<Fifo_T *> queues_;
};

TEST_F(Fifo, FullQueueDropsItsOldestEntry)
{
    // The plain grow bit decides nothing, so drop-oldest applies with it too.
    for (uint8_t options : {FIFO_OPT_DROP_OLDEST, FIFO_OPT_DROP_OLDEST | FIFO_OPT_GROW}) {
        SCOPED_TRACE(options);
        g_released.clear();
        Fifo_T *queue = make(2, options);
        push(queue, 0);
        push(queue, 1);
        EXPECT_EQ(printed_by([&] { push(queue, 2); }), "");
        EXPECT_EQ(g_released, std::vector<void *>{entry(0)});
        EXPECT_EQ(fifo_get_count(queue), 2);
        expect_pops(queue, {1, 2});
    }
}

TEST_F(Fifo, GrowingKeepsTheOrderWhereverTheHeadIs)
{
    for (int capacity = 1; capacity <= 4; ++capacity)
        for (int head = 0; head < capacity; ++head) {
            SCOPED_TRACE("capacity " + std::to_string(capacity) + ", head " + std::to_string(head));
            Fifo_T *queue = make(capacity, FIFO_OPT_GROW_DOUBLE);
            rotate(queue, head);
            const int total = 2 * capacity + 1;  // doubles twice
            const std::string output = printed_by([&] {
                for (int i = 0; i < total; ++i)
                    push(queue, i);
            });
            EXPECT_EQ(output, kGrowLine + kGrowLine);
            EXPECT_EQ(fifo_get_count(queue), total);
            for (int i = 0; i < total; ++i) {
                int32_t size = 0;
                EXPECT_EQ(fifo_pop(queue, &size), entry(i));
                EXPECT_EQ(size, size_of(i));
            }
            EXPECT_EQ(fifo_pop(queue, nullptr), nullptr);
            EXPECT_TRUE(g_released.empty());
        }
}

TEST_F(Fifo, FullQueueRefusesUnlessAnOptionMakesRoom)
{
    struct Case {
        const char *name;
        uint8_t set;
        uint8_t cleared;
    };
    const Case cases[] = {
        {"refuse option", FIFO_OPT_REFUSE, 0},
        {"no option", 0, 0},
        {"plain grow bit alone", FIFO_OPT_GROW, 0},
        {"drop-oldest set and cleared again", FIFO_OPT_DROP_OLDEST | FIFO_OPT_REFUSE, FIFO_OPT_DROP_OLDEST},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fifo_T *queue = make(1, c.set);
        if (c.cleared != 0) {
            EXPECT_EQ(fifo_set_option(queue, c.cleared, 0), 0);
        }
        push(queue, 0);
        int32_t result = 0;
        EXPECT_EQ(printed_by([&] { result = fifo_push(queue, entry(1), size_of(1)); }), kFullLine);
        EXPECT_EQ(result, -1);
        EXPECT_EQ(fifo_get_count(queue), 1);
        expect_pops(queue, {0});
        EXPECT_TRUE(g_released.empty());
    }
}

TEST_F(Fifo, RefusingQueueStaysUsableByOtherThreads)
{
    Fifo_T *queue = make(1, FIFO_OPT_REFUSE);
    push(queue, 0);
    EXPECT_EQ(printed_by([&] { EXPECT_EQ(fifo_push(queue, entry(1), size_of(1)), -1); }), kFullLine);
    std::thread other([queue] {
        EXPECT_EQ(fifo_pop(queue, nullptr), entry(0));
        EXPECT_EQ(fifo_push(queue, entry(1), size_of(1)), 0);
    });
    other.join();
    expect_pops(queue, {1});
}

TEST_F(Fifo, PopNewestReleasesEverythingOlder)
{
    Fifo_T *queue = make(4, 0);
    rotate(queue, 3);
    for (int i = 0; i < 3; ++i)
        push(queue, i);
    int32_t size = 0;
    EXPECT_EQ(fifo_pop_newest(queue, &size), entry(2));
    EXPECT_EQ(size, size_of(2));
    EXPECT_EQ(g_released, (std::vector<void *>{entry(0), entry(1)}));
    EXPECT_EQ(fifo_get_count(queue), 0);

    size = 99;
    EXPECT_EQ(fifo_pop_newest(queue, &size), nullptr);
    EXPECT_EQ(size, 0);

    // The queue works on normally afterwards.
    push(queue, 5);
    push(queue, 6);
    expect_pops(queue, {5, 6});
}

TEST_F(Fifo, PopNewestWithoutReleaseRoutine)
{
    Fifo_T *queue = make(2, 0, nullptr);
    push(queue, 0);
    push(queue, 1);
    EXPECT_EQ(fifo_pop_newest(queue, nullptr), entry(1));
    EXPECT_EQ(fifo_get_count(queue), 0);
}

TEST_F(Fifo, DestroyReleasesRemainingEntriesOldestFirst)
{
    Fifo_T *queue = fifo_create(2, record_release);
    ASSERT_NE(queue, nullptr);
    rotate(queue, 1);  // the two entries wrap: oldest at index 1
    push(queue, 0);
    push(queue, 1);
    EXPECT_EQ(fifo_destroy(&queue), 0);
    EXPECT_EQ(queue, nullptr);
    EXPECT_EQ(g_released, (std::vector<void *>{entry(0), entry(1)}));

    Fifo_T *no_release = fifo_create(2, nullptr);
    push(no_release, 0);
    EXPECT_EQ(fifo_destroy(&no_release), 0);
    EXPECT_EQ(no_release, nullptr);
}

TEST_F(Fifo, DestroyOfNothingDoesNothing)
{
    Fifo_T *none = nullptr;
    EXPECT_EQ(printed_by([&] {
        EXPECT_EQ(fifo_destroy(nullptr), 0);
        EXPECT_EQ(fifo_destroy(&none), 0);
    }), "");
}

TEST_F(Fifo, CountFollowsPushesAndPops)
{
    Fifo_T *queue = make(4, 0);
    for (int i = 0; i < 3; ++i)
        push(queue, i);
    int32_t size = 0;
    EXPECT_EQ(fifo_pop(queue, &size), entry(0));
    EXPECT_EQ(fifo_get_count(queue), 2);
}

TEST_F(Fifo, ExplicitGrowDoublesOnlyWhenAllowed)
{
    Fifo_T *growing = make(3, FIFO_OPT_GROW_DOUBLE);
    rotate(growing, 2);
    push(growing, 0);
    push(growing, 1);  // wraps to index 0 of a queue that is not full
    int32_t result = -1;
    EXPECT_EQ(printed_by([&] { result = fifo_grow(growing); }), kGrowLine);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed_by([&] {
        for (int i = 2; i < 6; ++i)
            push(growing, i);
    }), "") << "six places after the grow";
    expect_pops(growing, {0, 1, 2, 3, 4, 5});

    Fifo_T *fixed = make(1, FIFO_OPT_REFUSE);
    push(fixed, 0);
    EXPECT_EQ(printed_by([&] { result = fifo_grow(fixed); }), kGrowLine);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printed_by([&] { fifo_push(fixed, entry(1), size_of(1)); }), kFullLine);
}

TEST_F(Fifo, CreateRefusesCapacitiesBelowOne)
{
    for (int32_t capacity : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(capacity);
        Fifo_T *queue = reinterpret_cast<Fifo_T *>(1);
        EXPECT_EQ(printed_by([&] { queue = fifo_create(capacity, nullptr); }),
                  "[ERROR] - fifo_create: invalid capacity " + std::to_string(capacity) + "\n");
        EXPECT_EQ(queue, nullptr);
    }
}

TEST_F(Fifo, NullAndForeignQueuesAreRefused)
{
    // Only the leading check word is ever read from a refused record.
    uint32_t foreign_words[16] = {7};
    Fifo_T *const foreign = reinterpret_cast<Fifo_T *>(foreign_words);
    struct Case {
        const char *function;
        std::function<intptr_t(Fifo_T *)> call;
        intptr_t refused;
    };
    const Case cases[] = {
        {"fifo_destroy", [](Fifo_T *q) { return intptr_t{fifo_destroy(&q)}; }, 1},
        {"fifo_set_option", [](Fifo_T *q) { return intptr_t{fifo_set_option(q, FIFO_OPT_REFUSE, 1)}; }, 1},
        {"fifo_grow", [](Fifo_T *q) { return intptr_t{fifo_grow(q)}; }, 1},
        {"fifo_push", [](Fifo_T *q) { return intptr_t{fifo_push(q, entry(0), 1)}; }, 1},
        {"fifo_pop", [](Fifo_T *q) { return reinterpret_cast<intptr_t>(fifo_pop(q, nullptr)); }, 0},
        {"fifo_pop_newest", [](Fifo_T *q) { return reinterpret_cast<intptr_t>(fifo_pop_newest(q, nullptr)); }, 0},
        {"fifo_get_count", [](Fifo_T *q) { return intptr_t{fifo_get_count(q)}; }, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.function);
        const std::string failed = std::string("\\[ERROR\\] - ") + c.function + ": getHandle failed\n";
        intptr_t result = -5;
        std::string output = printed_by([&] { result = c.call(foreign); });
        EXPECT_TRUE(std::regex_match(output, std::regex(
            "\\[ERROR\\] - getHandle: wrong struct size 7 instead of [1-9][0-9]*\n" + failed))) << output;
        EXPECT_EQ(result, c.refused);
        EXPECT_EQ(foreign_words[0], 7u);

        if (std::string(c.function) == "fifo_destroy")
            continue;  // a null queue variable is the quiet no-op case
        output = printed_by([&] { result = c.call(nullptr); });
        EXPECT_TRUE(std::regex_match(output, std::regex("\\[ERROR\\] - getHandle: NULL parameter\n" + failed)))
            << output;
        EXPECT_EQ(result, c.refused);
    }
}

// ---- several threads on one queue ----

std::atomic<int> g_dropped{0};

void count_release(void **stored)
{
    g_dropped.fetch_add(1);
    *stored = nullptr;
}

void *tagged(int producer, int seq) { return reinterpret_cast<void *>(static_cast<intptr_t>((producer << 24) | seq) + 1); }

TEST_F(Fifo, ConcurrentProducersKeepTheirOrder)
{
    constexpr int kProducers = 2;
    constexpr int kPerProducer = 20000;
    Fifo_T *queue = make(4, FIFO_OPT_REFUSE, nullptr);
    bool in_order = true;
    printed_by([&] {  // every refused push prints a line
        std::vector<std::thread> producers;
        for (int p = 0; p < kProducers; ++p)
            producers.emplace_back([queue, p] {
                for (int seq = 0; seq < kPerProducer; ++seq)
                    while (fifo_push(queue, tagged(p, seq), seq) != 0)
                        std::this_thread::yield();
            });
        std::vector<int> next(kProducers, 0);
        for (int received = 0; received < kProducers * kPerProducer;) {
            int32_t size = -1;
            void *data = fifo_pop(queue, &size);
            if (data == nullptr) {
                std::this_thread::yield();
                continue;
            }
            const intptr_t value = reinterpret_cast<intptr_t>(data) - 1;
            const int p = static_cast<int>(value >> 24) % kProducers;
            in_order = in_order && (value & 0xFFFFFF) == next[p] && size == next[p];
            ++next[p];
            ++received;
        }
        for (std::thread &producer : producers)
            producer.join();
    });
    EXPECT_TRUE(in_order);
    EXPECT_EQ(fifo_get_count(queue), 0);
}

TEST_F(Fifo, DroppingUnderLoadLosesNothingUnaccounted)
{
    constexpr int kPushes = 20000;
    g_dropped.store(0);
    Fifo_T *queue = fifo_create(8, count_release);
    ASSERT_NE(queue, nullptr);
    fifo_set_option(queue, FIFO_OPT_DROP_OLDEST, 1);
    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (int seq = 0; seq < kPushes; ++seq)
            EXPECT_EQ(fifo_push(queue, tagged(0, seq), seq), 0);
        done.store(true);
    });
    int popped = 0;
    int last = -1;
    while (!done.load() || fifo_get_count(queue) > 0) {
        int32_t size = -1;
        if (fifo_pop(queue, &size) != nullptr) {
            EXPECT_GT(size, last);
            last = size;
            ++popped;
        }
    }
    producer.join();
    EXPECT_EQ(fifo_destroy(&queue), 0);
    EXPECT_EQ(popped + g_dropped.load(), kPushes);
}

} // namespace
