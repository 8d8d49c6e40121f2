#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <unordered_map>

#include "runtime/cross_sys.h"

namespace {

// ---- timers ----

using Clock = std::chrono::steady_clock;

const Clock::time_point &process_start()
{
    static const Clock::time_point start = Clock::now();
    return start;
}

// Taken while the library loads, so timer values count from process start and
// not from the first call.
[[maybe_unused]] const Clock::time_point &g_process_start = process_start();

// Microseconds since process start, in whole milliseconds.
uint64_t timer_now()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - process_start());
    return static_cast<uint64_t>(ms.count()) * 1000u;
}

// Only the low 32 bits of both values count, so intervals wrap after about 2147 s.
int32_t elapsed_us(uint64_t start)
{
    return static_cast<int32_t>(static_cast<uint32_t>(timer_now()) - static_cast<uint32_t>(start));
}

// A negative difference (a start in the future) is given back undivided.
int32_t us_to_ms(int32_t d)
{
    return d < 0 ? d : d / 1000;
}

// ---- handle checks ----

// The thread functions say "wrong struct size", the event functions "Wrong struct size".
template <class Record>
bool refused(const Record *record, const char *function, const char *wrong_size)
{
    if (record == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameter", function);
        return true;
    }
    if (record->size != sizeof(Record)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: %s", function, wrong_size);
        return true;
    }
    return false;
}

bool thread_refused(const CrossThread_T *thread, const char *function)
{
    return refused(thread, function, "wrong struct size");
}

// For the functions that also write a result: the place for it must be given.
bool thread_refused(const CrossThread_T *thread, const void *out, const char *function)
{
    if (thread_refused(thread, function))
        return true;
    if (out == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameter", function);
        return true;
    }
    return false;
}

bool event_refused(const CrossEvent_T *event, const char *function)
{
    return refused(event, function, "Wrong struct size");
}

// ---- threads ----

void *exit_value(uint32_t code)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(code));
}

// What a new thread runs. It lives apart from the CrossThread_T so that a thread
// never reads a handle that its owner may already have destroyed.
struct ThreadStart {
    CrossThreadRoutine_T routine;
    void *arg;
};

void *thread_entry(void *arg)
{
    const ThreadStart start = *static_cast<ThreadStart *>(arg);
    delete static_cast<ThreadStart *>(arg);
    return exit_value(start.routine(start.arg));
}

// pthread_create's error number, or ENOMEM when the start block cannot be allocated.
int start_thread(pthread_t *handle, CrossThreadRoutine_T routine, void *arg)
{
    auto *start = new (std::nothrow) ThreadStart{routine, arg};
    if (start == nullptr)
        return ENOMEM;
    const int rc = pthread_create(handle, nullptr, thread_entry, start);
    if (rc != 0)
        delete start;
    return rc;
}

int32_t launch_unmanaged(const char *function, CrossThreadRoutine_T routine, void *parameter)
{
    if (routine == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameter", function);
        return -1;
    }
    pthread_t handle;
    const int rc = start_thread(&handle, routine, parameter);
    if (rc != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: CreateThread failed", function);
        return rc;
    }
    // Nobody will join an unmanaged thread: let it clean up after itself.
    pthread_detach(handle);
    return 0;
}

int32_t create_managed(const char *function, CrossThread_T **out, CrossThreadRoutine_T routine, void *parameter)
{
    if (out == nullptr)
        return -1;
    if (routine == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameter", function);
        return -1;
    }
    auto *thread = new (std::nothrow) CrossThread_T{};
    if (thread == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: calloc failed", function);
        return -1;
    }
    thread->size = sizeof(CrossThread_T);
    thread->parameter = parameter;
    const int rc = start_thread(&thread->thread, routine, thread);
    if (rc != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: pthread_create failed", function);
        delete thread;
        return rc;
    }
    *out = thread;
    return 0;
}

// ---- events ----

} // namespace

// One per event name (or per unnamed create); every handle of that name refers to it.
struct CrossEventCore {
    std::mutex lock;
    std::condition_variable wake;
    bool signalled = false;
    std::string name;
    int handles = 0;
};

namespace {

// Named events live in this process only: a registry by name gives every create of
// the same name the same event until its last handle is destroyed.
struct EventRegistry {
    std::mutex lock;
    std::unordered_map<std::string, CrossEventCore *> by_name;
};

EventRegistry &event_registry()
{
    static EventRegistry registry;
    return registry;
}

CrossEventCore *acquire_event(const char *name)
{
    EventRegistry &registry = event_registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    try {
        if (name[0] != '\0') {
            auto found = registry.by_name.find(name);
            if (found != registry.by_name.end()) {
                ++found->second->handles;
                return found->second;
            }
        }
        auto core = std::make_unique<CrossEventCore>();
        core->name = name;
        core->handles = 1;
        if (!core->name.empty())
            registry.by_name.emplace(core->name, core.get());
        return core.release();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void release_event(CrossEventCore *core)
{
    EventRegistry &registry = event_registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    if (--core->handles > 0)
        return;
    if (!core->name.empty())
        registry.by_name.erase(core->name);
    delete core;
}

} // namespace

// ---- timers ----

extern "C" int32_t crossTimer_reset(CrossTimer_T *timer)
{
    if (timer == nullptr)
        return -1;
    *timer = timer_now();
    return 0;
}

extern "C" int32_t crossTimer_get_ms(CrossTimer_T start)
{
    return us_to_ms(elapsed_us(start));
}

extern "C" int32_t crossTimer_get_us(CrossTimer_T start)
{
    return elapsed_us(start);
}

extern "C" void crossSleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// ---- threads ----

extern "C" int32_t crossUnmanagedThread_Launch(CrossThreadRoutine_T routine, void *parameter)
{
    return launch_unmanaged("crossUnmanagedThread_Launch", routine, parameter);
}

extern "C" int32_t crossUnmanagedThread_Launch2(CrossThreadRoutine_T routine, void *parameter)
{
    return launch_unmanaged("crossUnmanagedThread_Launch2", routine, parameter);
}

extern "C" int32_t crossThread_Create(CrossThread_T **thread, CrossThreadRoutine_T routine, void *parameter)
{
    return create_managed("crossThread_Create", thread, routine, parameter);
}

extern "C" int32_t crossThread_Create2(CrossThread_T **thread, CrossThreadRoutine_T routine, void *parameter)
{
    return create_managed("crossThread_Create2", thread, routine, parameter);
}

extern "C" int32_t crossThread_Join(CrossThread_T *thread)
{
    if (thread_refused(thread, "crossThread_Join"))
        return -1;
    // Waiting again for a thread that has ended succeeds at once.
    if (thread->joined)
        return 0;
    const int rc = pthread_join(thread->thread, nullptr);
    if (rc == 0)
        thread->joined = true;
    return rc;
}

extern "C" int32_t crossThread_Cancel(CrossThread_T *thread)
{
    if (thread_refused(thread, "crossThread_Cancel"))
        return -1;
    thread->cancel.store(1);
    return 0;
}

extern "C" int32_t crossThread_IsAlive(CrossThread_T *thread, int32_t *alive)
{
    if (thread_refused(thread, alive, "crossThread_IsAlive"))
        return -1;
    *alive = us_to_ms(elapsed_us(thread->last_poll.load())) <= 10000 ? 1 : 0;
    return 0;
}

extern "C" int32_t crossThread_Destroy(CrossThread_T **thread)
{
    if (thread == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossThread_Destroy: NULL parameter");
        return -1;
    }
    if (thread_refused(*thread, "crossThread_Destroy"))
        return -1;
    CrossThread_T *record = *thread;
    // Destroy does not wait: a thread nobody joined releases its own resources when it ends.
    if (!record->joined)
        pthread_detach(record->thread);
    record->size = 0;
    delete record;
    *thread = nullptr;
    return 0;
}

extern "C" int32_t crossThread_GetParameterPtr(CrossThread_T *thread, void **parameter)
{
    if (thread_refused(thread, parameter, "crossThread_GetParameterPtr"))
        return -1;
    *parameter = thread->parameter;
    return 0;
}

extern "C" int32_t crossThread_GetCancel(CrossThread_T *thread, int32_t *cancel)
{
    if (thread_refused(thread, cancel, "crossThread_GetCancel"))
        return -1;
    *cancel = thread->cancel.load();
    thread->last_poll.store(timer_now());
    return 0;
}

extern "C" void crossThread_Exit(uint32_t code)
{
    pthread_exit(exit_value(code));
}

// ---- events ----

extern "C" int32_t crossEvent_Create(CrossEvent_T **event, const char *name)
{
    if (event == nullptr || name == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossEvent_Create: NULL parameter");
        return -1;
    }
    auto *record = new (std::nothrow) CrossEvent_T{};
    if (record == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossEvent_Create: calloc failed");
        return -1;
    }
    record->event = acquire_event(name);
    if (record->event == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossEvent_Create: CreateEvent failed (error: %d)", ENOMEM);
        delete record;
        return -1;
    }
    record->size = sizeof(CrossEvent_T);
    *event = record;
    return 0;
}

extern "C" int32_t crossEvent_Wait(CrossEvent_T *event, uint32_t timeout)
{
    if (event_refused(event, "crossEvent_Wait"))
        return -1;
    const uint32_t ms = timeout & 0xFFFFu;
    CrossEventCore &core = *event->event;
    std::unique_lock<std::mutex> guard(core.lock);
    const auto is_set = [&core] { return core.signalled; };
    if (ms == CROSS_EVENT_INFINITE)
        core.wake.wait(guard, is_set);
    else if (!core.wake.wait_for(guard, std::chrono::milliseconds(ms), is_set))
        return static_cast<int32_t>(ms);
    // Auto-reset: the waiter that sees the signal consumes it.
    core.signalled = false;
    return 0;
}

extern "C" int32_t crossEvent_Signal(CrossEvent_T *event)
{
    if (event_refused(event, "crossEvent_Signal"))
        return -1;
    CrossEventCore &core = *event->event;
    std::lock_guard<std::mutex> guard(core.lock);
    core.signalled = true;
    core.wake.notify_one();
    return 0;
}

extern "C" int32_t crossEvent_Destroy(CrossEvent_T **event)
{
    if (event == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossEvent_Destroy: NULL parameters");
        return -1;
    }
    if (*event == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossEvent_Destroy: Already free");
        return -1;
    }
    if (event_refused(*event, "crossEvent_Destroy"))
        return -1;
    release_event((*event)->event);
    (*event)->size = 0;
    delete *event;
    *event = nullptr;
    return 0;
}
