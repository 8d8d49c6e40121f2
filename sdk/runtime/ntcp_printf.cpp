#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "runtime/cross_sys.h"

namespace {
// Library-wide level; atomic so that a change while other threads print is
// simply seen at their next line.
std::atomic<uint32_t> log_internal_level{NTCP_PRINTF_DEFAULT_LEVEL};

char g_app_name[NTCP_APP_NAME_MAX + 1] = "NTCP-SDK";

const char *severity_name(uint32_t s)
{
    switch (s) {
    case NTCP_SEVERITY_INFO: return "INFO";
    case NTCP_SEVERITY_WARNING: return "WARNING";
    case NTCP_SEVERITY_ERROR: return "ERROR";
    default: return "DEBUG";
    }
}
} // namespace

extern "C" int32_t ntcp_printf(uint32_t severity, const char *format, ...)
{
    const uint32_t s = severity & 0xFFFFu;
    const uint32_t level = log_internal_level.load(std::memory_order_relaxed);
    if (level == NTCP_PRINTF_LEVEL_OFF || s > level || format == nullptr)
        return 0;

    // A text of 2048 characters or more is cut to 2047: vsnprintf never writes past the buffer.
    char text[2048];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        text[0] = '\0';

    // One formatted-output call per line, so lines of different threads do not mix.
    return printf("[%s] - %s%c", severity_name(s), text, 10);
}

extern "C" int32_t ntcp_printf_set_level(uint32_t level)
{
    log_internal_level.store(level, std::memory_order_relaxed);
    return 0;
}

extern "C" int32_t ntcp_printf_set_app_name(const char *name)
{
    if (name == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ntcp_printf_set_app_name: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    strncpy(g_app_name, name, NTCP_APP_NAME_MAX);
    g_app_name[NTCP_APP_NAME_MAX] = '\0';
    return 0;
}

extern "C" const char *ntcp_printf_get_app_name(void)
{
    return g_app_name;
}
