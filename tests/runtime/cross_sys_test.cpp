#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/cross_sys.h"
#include "stdout_capture.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t ms_since(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Context of a worker that follows the library's calling order: fetch the context,
// then poll the cancel flag until it reads 1, then exit with a code.
struct Worker {
    std::atomic<int> polls{0};
    CrossThread_T *routine_arg = nullptr;
    void *parameter_seen = nullptr;
    bool saw_cancel = false;
    bool returned_from_exit = false;
};

uint32_t polling_worker(void *arg)
{
    auto *self = static_cast<CrossThread_T *>(arg);
    void *parameter = nullptr;
    crossThread_GetParameterPtr(self, &parameter);
    auto *worker = static_cast<Worker *>(parameter);
    worker->routine_arg = self;
    worker->parameter_seen = parameter;
    for (;;) {
        int32_t cancel = 0;
        crossThread_GetCancel(self, &cancel);
        if (cancel == 1) {
            worker->saw_cancel = true;
            crossThread_Exit(7);
            worker->returned_from_exit = true;
            return 0;
        }
        worker->polls.fetch_add(1);
        crossSleep(10);
    }
}

void wait_for_polls(const Worker &worker, int polls)
{
    const auto start = Clock::now();
    while (worker.polls.load() < polls && ms_since(start) < 10000)
        crossSleep(1);
    ASSERT_GE(worker.polls.load(), polls) << "worker never polled";
}

using CreateFn = int32_t (*)(CrossThread_T **, CrossThreadRoutine_T, void *);

struct CreateVariant {
    const char *name;
    CreateFn create;
};

const CreateVariant kCreateVariants[] = {
    {"crossThread_Create", crossThread_Create},
    {"crossThread_Create2", crossThread_Create2},
};

TEST(CrossThread, WorkerGetsItsHandleAndTheOwnersContextAndStopsOnCancel)
{
    for (const CreateVariant &variant : kCreateVariants) {
        SCOPED_TRACE(variant.name);
        Worker worker;
        CrossThread_T *thread = nullptr;
        ASSERT_EQ(variant.create(&thread, polling_worker, &worker), 0);
        ASSERT_NE(thread, nullptr);
        wait_for_polls(worker, 2);

        EXPECT_EQ(crossThread_Cancel(thread), 0);
        EXPECT_EQ(crossThread_Join(thread), 0);
        EXPECT_TRUE(worker.saw_cancel);
        EXPECT_FALSE(worker.returned_from_exit);
        EXPECT_EQ(worker.routine_arg, thread);
        EXPECT_EQ(worker.parameter_seen, &worker);
        // A second wait on a thread that has ended succeeds at once.
        EXPECT_EQ(crossThread_Join(thread), 0);

        EXPECT_EQ(crossThread_Destroy(&thread), 0);
        EXPECT_EQ(thread, nullptr);
    }
}

// Destroying the handle neither stops nor waits for the thread. The worker takes
// its context first and leaves its handle alone from then on.
TEST(CrossThread, DestroyWithoutJoinLeavesTheThreadRunning)
{
    struct Context {
        std::atomic<bool> started{false};
        std::atomic<bool> release{false};
        std::atomic<bool> finished{false};
    } context;
    CrossThread_T *thread = nullptr;
    ASSERT_EQ(crossThread_Create2(&thread, [](void *arg) -> uint32_t {
        void *parameter = nullptr;
        crossThread_GetParameterPtr(static_cast<CrossThread_T *>(arg), &parameter);
        auto *ctx = static_cast<Context *>(parameter);
        ctx->started.store(true);
        while (!ctx->release.load())
            crossSleep(1);
        ctx->finished.store(true);
        return 0;
    }, &context), 0);
    const auto start = Clock::now();
    while (!context.started.load() && ms_since(start) < 10000)
        crossSleep(1);
    EXPECT_EQ(crossThread_Destroy(&thread), 0);
    EXPECT_EQ(thread, nullptr);

    context.release.store(true);
    while (!context.finished.load() && ms_since(start) < 10000)
        crossSleep(1);
    EXPECT_TRUE(context.finished.load());
}

// The new thread must not need its handle to get going: an owner may destroy the
// handle at once when the routine does not use it.
TEST(CrossThread, HandleMayBeDestroyedRightAfterCreate)
{
    static std::atomic<int> runs{0};
    runs.store(0);
    for (int i = 0; i < 20; ++i) {
        CrossThread_T *thread = nullptr;
        ASSERT_EQ(crossThread_Create2(&thread, [](void *) -> uint32_t {
            runs.fetch_add(1);
            return 0;
        }, nullptr), 0);
        EXPECT_EQ(crossThread_Destroy(&thread), 0);
    }
    const auto start = Clock::now();
    while (runs.load() < 20 && ms_since(start) < 10000)
        crossSleep(1);
    EXPECT_EQ(runs.load(), 20);
}

TEST(CrossThread, CreateRefusesMissingArguments)
{
    for (const CreateVariant &variant : kCreateVariants) {
        SCOPED_TRACE(variant.name);
        int32_t result = 0;
        EXPECT_EQ(printed_by([&] { result = variant.create(nullptr, polling_worker, nullptr); }), "");
        EXPECT_EQ(result, -1);

        CrossThread_T *thread = nullptr;
        EXPECT_EQ(printed_by([&] { result = variant.create(&thread, nullptr, nullptr); }),
                  std::string("[ERROR] - ") + variant.name + ": NULL parameter\n");
        EXPECT_EQ(result, -1);
        EXPECT_EQ(thread, nullptr);
    }
}

// Liveness is judged from the last poll's time stamp; a worker that has ended stops
// polling, so setting that stamp shows every window without waiting ten seconds.
TEST(CrossThread, IsAliveFollowsTheLastCancelPoll)
{
    Worker worker;
    CrossThread_T *thread = nullptr;
    ASSERT_EQ(crossThread_Create2(&thread, polling_worker, &worker), 0);
    wait_for_polls(worker, 2);
    int32_t alive = -1;
    EXPECT_EQ(crossThread_IsAlive(thread, &alive), 0);
    EXPECT_EQ(alive, 1) << "a worker polling every 10 ms is alive";
    crossThread_Cancel(thread);
    ASSERT_EQ(crossThread_Join(thread), 0);

    struct Case {
        const char *name;
        int64_t offset_us;
        int32_t alive;
    };
    const Case cases[] = {
        {"polled just now", 0, 1},
        {"polled 9 s ago", -9000000, 1},
        {"polled 11 s ago", -11000000, 0},
        {"poll stamp in the future counts as alive", 5000, 1},
        {"only the low 32 bits of the stamp count", (int64_t{1} << 32) - 11000000, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CrossTimer_T now = 0;
        crossTimer_reset(&now);
        thread->last_poll.store(now + static_cast<uint64_t>(c.offset_us));
        alive = -1;
        EXPECT_EQ(crossThread_IsAlive(thread, &alive), 0);
        EXPECT_EQ(alive, c.alive);
    }
    EXPECT_EQ(crossThread_Destroy(&thread), 0);
}

struct Refusal {
    const char *function;
    std::function<int32_t(CrossThread_T *)> call;
};

std::vector<Refusal> handle_refusals()
{
    static int32_t flag;
    static void *pointer;
    return {
        {"crossThread_Join", [](CrossThread_T *t) { return crossThread_Join(t); }},
        {"crossThread_Cancel", [](CrossThread_T *t) { return crossThread_Cancel(t); }},
        {"crossThread_IsAlive", [](CrossThread_T *t) { return crossThread_IsAlive(t, &flag); }},
        {"crossThread_GetParameterPtr", [](CrossThread_T *t) { return crossThread_GetParameterPtr(t, &pointer); }},
        {"crossThread_GetCancel", [](CrossThread_T *t) { return crossThread_GetCancel(t, &flag); }},
        {"crossThread_Destroy", [](CrossThread_T *t) { return crossThread_Destroy(&t); }},
    };
}

TEST(CrossThread, NullAndForeignHandlesAreRefused)
{
    CrossThread_T foreign{};
    foreign.size = 3;
    for (const Refusal &r : handle_refusals()) {
        SCOPED_TRACE(r.function);
        int32_t result = 0;
        EXPECT_EQ(printed_by([&] { result = r.call(nullptr); }),
                  std::string("[ERROR] - ") + r.function + ": NULL parameter\n");
        EXPECT_EQ(result, -1);
        EXPECT_EQ(printed_by([&] { result = r.call(&foreign); }),
                  std::string("[ERROR] - ") + r.function + ": wrong struct size\n");
        EXPECT_EQ(result, -1);
        EXPECT_EQ(foreign.cancel.load(), 0) << "a refused handle is left unchanged";
    }
    int32_t result = 0;
    EXPECT_EQ(printed_by([&] { result = crossThread_Destroy(nullptr); }),
              "[ERROR] - crossThread_Destroy: NULL parameter\n");
    EXPECT_EQ(result, -1);
}

TEST(CrossThread, MissingOutArgumentsAreRefused)
{
    CrossThread_T record{};
    record.size = sizeof(CrossThread_T);
    const std::pair<const char *, std::function<int32_t()>> calls[] = {
        {"crossThread_GetParameterPtr", [&] { return crossThread_GetParameterPtr(&record, nullptr); }},
        {"crossThread_GetCancel", [&] { return crossThread_GetCancel(&record, nullptr); }},
        {"crossThread_IsAlive", [&] { return crossThread_IsAlive(&record, nullptr); }},
    };
    for (const auto &[function, call] : calls) {
        SCOPED_TRACE(function);
        int32_t result = 0;
        EXPECT_EQ(printed_by([&] { result = call(); }), std::string("[ERROR] - ") + function + ": NULL parameter\n");
        EXPECT_EQ(result, -1);
    }
    EXPECT_EQ(record.last_poll.load(), 0u) << "a refused poll does not count as one";
}

// ---- unmanaged threads ----

struct LaunchContext {
    CrossEvent_T *done = nullptr;
    void *seen = nullptr;
};

uint32_t report_parameter(void *arg)
{
    auto *context = static_cast<LaunchContext *>(arg);
    context->seen = arg;
    crossEvent_Signal(context->done);
    return 0;
}

using LaunchFn = int32_t (*)(CrossThreadRoutine_T, void *);

TEST(CrossUnmanagedThread, RoutineRunsWithTheCallersParameter)
{
    const std::pair<const char *, LaunchFn> variants[] = {
        {"crossUnmanagedThread_Launch", crossUnmanagedThread_Launch},
        {"crossUnmanagedThread_Launch2", crossUnmanagedThread_Launch2},
    };
    for (const auto &[name, launch] : variants) {
        SCOPED_TRACE(name);
        LaunchContext context;
        ASSERT_EQ(crossEvent_Create(&context.done, ""), 0);
        EXPECT_EQ(launch(report_parameter, &context), 0);
        EXPECT_EQ(crossEvent_Wait(context.done, 10000), 0);
        EXPECT_EQ(context.seen, &context);
        crossEvent_Destroy(&context.done);

        int32_t result = 0;
        EXPECT_EQ(printed_by([&] { result = launch(nullptr, &context); }),
                  std::string("[ERROR] - ") + name + ": NULL parameter\n");
        EXPECT_EQ(result, -1);
    }
}

// ---- timers ----

TEST(CrossTimer, ValuesAreWholeMillisecondsSinceProcessStart)
{
    CrossTimer_T timer = 1;
    ASSERT_EQ(crossTimer_reset(&timer), 0);
    EXPECT_EQ(timer % 1000, 0u);
    // A clock counted from boot rather than from process start would be far larger.
    EXPECT_LT(timer, 120u * 1000 * 1000);
    EXPECT_LE(crossTimer_get_ms(timer), 1);
    EXPECT_GE(crossTimer_get_ms(timer), 0);
    EXPECT_EQ(crossTimer_get_us(timer) % 1000, 0);

    EXPECT_EQ(crossTimer_reset(nullptr), -1);
}

// Sleeping uses no processor time, so this also shows that elapsed time is wall time.
TEST(CrossTimer, MeasuresASleep)
{
    CrossTimer_T timer = 0;
    crossTimer_reset(&timer);
    crossSleep(150);
    const int32_t ms = crossTimer_get_ms(timer);
    const int32_t us = crossTimer_get_us(timer);
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 5000);
    EXPECT_GE(us, 150000);
    EXPECT_EQ(us % 1000, 0);
}

TEST(CrossTimer, DifferencesUseTheLow32BitsAndNegativeOnesStayInMicroseconds)
{
    CrossTimer_T now = 0;
    crossTimer_reset(&now);

    const int32_t future_ms = crossTimer_get_ms(now + 5000);
    EXPECT_LE(future_ms, -4000) << "a start in the future gives the undivided negative difference";
    EXPECT_EQ(future_ms % 1000, 0);
    EXPECT_LE(crossTimer_get_us(now + 5000), -4000);

    const int32_t wrapped = crossTimer_get_ms(now + (uint64_t{1} << 32));
    EXPECT_GE(wrapped, 0);
    EXPECT_LE(wrapped, 1000);
}

// ---- events ----

class CrossEvent : public testing::Test {
protected:
    void TearDown() override
    {
        for (CrossEvent_T *&event : events_)
            if (event != nullptr)
                crossEvent_Destroy(&event);
    }

    CrossEvent_T *make(const char *name)
    {
        CrossEvent_T *event = nullptr;
        EXPECT_EQ(crossEvent_Create(&event, name), 0);
        events_.push_back(event);
        return event;
    }

    std::vector<CrossEvent_T *> events_;
};

TEST_F(CrossEvent, TimeoutGivesTheWaitedMilliseconds)
{
    CrossEvent_T *event = make("timeout-test");
    struct Case {
        uint32_t timeout;
        int32_t result;
    };
    // Only the low 16 bits of the time-out count; 0 on an idle event gives the
    // same 0 as a signalled wait.
    for (const Case c : {Case{0, 0}, Case{20, 20}, Case{0x10064, 100}}) {
        SCOPED_TRACE(c.timeout);
        const auto start = Clock::now();
        EXPECT_EQ(crossEvent_Wait(event, c.timeout), c.result);
        EXPECT_GE(ms_since(start), c.result);
    }
}

TEST_F(CrossEvent, SignalIsConsumedByOneWait)
{
    CrossEvent_T *event = make("auto-reset-test");
    EXPECT_EQ(crossEvent_Signal(event), 0);
    EXPECT_EQ(crossEvent_Signal(event), 0);
    EXPECT_EQ(crossEvent_Wait(event, 5000), 0);
    EXPECT_EQ(crossEvent_Wait(event, 20), 20) << "signals do not add up, the first wait resets the event";
}

TEST_F(CrossEvent, UnlimitedWaitEndsOnSignal)
{
    CrossEvent_T *event = make("unlimited-test");
    for (uint32_t timeout : {0xFFFFu, 0xFFFFFFFFu, 0x3FFFFu}) {
        SCOPED_TRACE(timeout);
        const auto start = Clock::now();
        std::thread signaller([event] {
            crossSleep(50);
            crossEvent_Signal(event);
        });
        EXPECT_EQ(crossEvent_Wait(event, timeout), 0);
        EXPECT_GE(ms_since(start), 50);
        signaller.join();
    }
}

TEST_F(CrossEvent, OneSignalReleasesOneWaiter)
{
    CrossEvent_T *event = make("one-waiter-test");
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            EXPECT_EQ(crossEvent_Wait(event, CROSS_EVENT_INFINITE), 0);
            released.fetch_add(1);
        });
    crossEvent_Signal(event);
    const auto start = Clock::now();
    while (released.load() == 0 && ms_since(start) < 10000)
        crossSleep(1);
    crossSleep(50);
    EXPECT_EQ(released.load(), 1);
    crossEvent_Signal(event);
    for (std::thread &waiter : waiters)
        waiter.join();
    EXPECT_EQ(released.load(), 2);
}

TEST_F(CrossEvent, CreatesWithTheSameNameShareOneEvent)
{
    CrossEvent_T *first = make("shared-name-test");
    CrossEvent_T *second = make("shared-name-test");
    CrossEvent_T *other = make("other-name-test");
    CrossEvent_T *unnamed_a = make("");
    CrossEvent_T *unnamed_b = make("");

    crossEvent_Signal(first);
    EXPECT_EQ(crossEvent_Wait(other, 20), 20);
    EXPECT_EQ(crossEvent_Wait(second, 5000), 0);
    EXPECT_EQ(crossEvent_Wait(first, 20), 20) << "the signal was consumed through the other handle";

    crossEvent_Signal(unnamed_a);
    EXPECT_EQ(crossEvent_Wait(unnamed_b, 20), 20) << "unnamed events are private";
    EXPECT_EQ(crossEvent_Wait(unnamed_a, 0), 0);
}

TEST_F(CrossEvent, NamedEventLivesUntilItsLastHandleIsDestroyed)
{
    CrossEvent_T *first = nullptr;
    ASSERT_EQ(crossEvent_Create(&first, "lifetime-test"), 0);
    CrossEvent_T *second = make("lifetime-test");
    crossEvent_Signal(first);
    EXPECT_EQ(crossEvent_Destroy(&first), 0);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(crossEvent_Wait(second, 5000), 0) << "the signal survives while a handle remains";

    crossEvent_Signal(second);
    crossEvent_Destroy(&events_.back());
    CrossEvent_T *fresh = make("lifetime-test");
    EXPECT_EQ(crossEvent_Wait(fresh, 20), 20) << "a name used again after its last destroy starts idle";
}

TEST_F(CrossEvent, RefusedArgumentsPrintTheirText)
{
    CrossEvent_T foreign{};
    foreign.size = 5;
    CrossEvent_T *out = nullptr;
    CrossEvent_T *foreign_ptr = &foreign;
    CrossEvent_T *twice = nullptr;
    ASSERT_EQ(crossEvent_Create(&twice, "destroy-twice-test"), 0);
    ASSERT_EQ(crossEvent_Destroy(&twice), 0);

    const std::pair<std::function<int32_t()>, const char *> cases[] = {
        {[&] { return crossEvent_Create(nullptr, "x"); }, "crossEvent_Create: NULL parameter"},
        {[&] { return crossEvent_Create(&out, nullptr); }, "crossEvent_Create: NULL parameter"},
        {[&] { return crossEvent_Wait(nullptr, 0); }, "crossEvent_Wait: NULL parameter"},
        {[&] { return crossEvent_Wait(&foreign, 0); }, "crossEvent_Wait: Wrong struct size"},
        {[&] { return crossEvent_Signal(nullptr); }, "crossEvent_Signal: NULL parameter"},
        {[&] { return crossEvent_Signal(&foreign); }, "crossEvent_Signal: Wrong struct size"},
        {[&] { return crossEvent_Destroy(nullptr); }, "crossEvent_Destroy: NULL parameters"},
        {[&] { return crossEvent_Destroy(&twice); }, "crossEvent_Destroy: Already free"},
        {[&] { return crossEvent_Destroy(&foreign_ptr); }, "crossEvent_Destroy: Wrong struct size"},
    };
    for (const auto &[call, text] : cases) {
        SCOPED_TRACE(text);
        int32_t result = 0;
        EXPECT_EQ(printed_by([&] { result = call(); }), std::string("[ERROR] - ") + text + "\n");
        EXPECT_EQ(result, -1);
    }
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(foreign_ptr, &foreign);
}

} // namespace
