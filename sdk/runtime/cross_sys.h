/* Threads, events, timers and diagnostic printing: the library's thin layer over
 * the operating system. Every other layer goes through it. */
#ifndef NOLMAK_RUNTIME_CROSS_SYS_H
#define NOLMAK_RUNTIME_CROSS_SYS_H

#include <stdint.h>

#include "runtime/ntcp_result.h"

#ifdef __cplusplus
#include <atomic>
#include <pthread.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- diagnostic printing ---- */

enum NtcpSeverity {
    NTCP_SEVERITY_ERROR = 0,
    NTCP_SEVERITY_WARNING = 1,
    NTCP_SEVERITY_INFO = 2,
    NTCP_SEVERITY_DEBUG = 3
};

#define NTCP_PRINTF_LEVEL_OFF 0xFFFFu
#define NTCP_PRINTF_DEFAULT_LEVEL 2u
#define NTCP_APP_NAME_MAX 255

int32_t ntcp_printf(uint32_t severity, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
int32_t ntcp_printf_set_level(uint32_t level);
int32_t ntcp_printf_set_app_name(const char *name);
/* The stored application name (never shown in a line, kept for callers). */
const char *ntcp_printf_get_app_name(void);

/* ---- threads ----
 * Failures print one ERROR line "<function>: <problem>" and give -1 (thread creation
 * gives the platform's error number instead). A null handle is refused like a wrong
 * one, with "<function>: NULL parameter". */

/* A managed thread's routine receives its own CrossThread_T handle; an unmanaged
 * thread's routine receives the caller's parameter. */
typedef uint32_t (*CrossThreadRoutine_T)(void *arg);

typedef struct CrossThread_T CrossThread_T;
typedef struct CrossEvent_T CrossEvent_T;

int32_t crossUnmanagedThread_Launch(CrossThreadRoutine_T routine, void *parameter);
int32_t crossUnmanagedThread_Launch2(CrossThreadRoutine_T routine, void *parameter);
int32_t crossThread_Create(CrossThread_T **thread, CrossThreadRoutine_T routine, void *parameter);
int32_t crossThread_Create2(CrossThread_T **thread, CrossThreadRoutine_T routine, void *parameter);
int32_t crossThread_Join(CrossThread_T *thread);
int32_t crossThread_Cancel(CrossThread_T *thread);
int32_t crossThread_IsAlive(CrossThread_T *thread, int32_t *alive);
int32_t crossThread_Destroy(CrossThread_T **thread);
int32_t crossThread_GetParameterPtr(CrossThread_T *thread, void **parameter);
int32_t crossThread_GetCancel(CrossThread_T *thread, int32_t *cancel);
void crossThread_Exit(uint32_t code);

void crossSleep(uint32_t milliseconds);

/* ---- timers: microseconds since process start, millisecond resolution ---- */

typedef uint64_t CrossTimer_T;

int32_t crossTimer_reset(CrossTimer_T *timer);
int32_t crossTimer_get_ms(CrossTimer_T start);
int32_t crossTimer_get_us(CrossTimer_T start);

/* ---- events: named, auto-reset, created non-signalled ----
 * Names are shared within the process: every create with the same name while one
 * such event lives gives another handle on that one event. An empty name gives a
 * private event. */

#define CROSS_EVENT_INFINITE 0xFFFFu

int32_t crossEvent_Create(CrossEvent_T **event, const char *name);
int32_t crossEvent_Wait(CrossEvent_T *event, uint32_t timeout);
int32_t crossEvent_Signal(CrossEvent_T *event);
int32_t crossEvent_Destroy(CrossEvent_T **event);

#ifdef __cplusplus
}

/* The records behind the handles. Owners go through the functions above; the
 * fields are visible for the runtime's own tests. */
struct CrossThread_T {
    uint32_t size;                    /* sizeof(CrossThread_T): the handle check */
    pthread_t thread;
    std::atomic<int32_t> cancel;      /* 0 -> 1, written by the owner, polled by the worker */
    std::atomic<uint64_t> last_poll;  /* timer value of the worker's last cancel poll */
    void *parameter;                  /* the owner's data, not owned */
    bool joined;                      /* a joined thread is not detached again on destroy */
};

struct CrossEventCore;

struct CrossEvent_T {
    uint32_t size;                    /* sizeof(CrossEvent_T): the handle check */
    CrossEventCore *event;            /* shared by every handle of the same name */
};
#endif

#endif
