#include <climits>
#include <cstdlib>
#include <mutex>
#include <new>

#include "runtime/cross_sys.h"
#include "runtime/fifo.h"

struct Fifo_T {
    uint32_t size;          /* sizeof(Fifo_T): the handle check */
    int32_t capacity;
    uint8_t options;
    int32_t head;           /* index of the oldest entry */
    int32_t count;
    std::mutex lock;        /* held by every operation from start to end */
    FifoRelease_T release;  /* may be null */
    void **data;
    int32_t *sizes;
};

namespace {

Fifo_T *get_handle(Fifo_T *fifo, const char *function)
{
    if (fifo == nullptr)
        ntcp_printf(NTCP_SEVERITY_ERROR, "getHandle: NULL parameter");
    else if (fifo->size != sizeof(Fifo_T))
        ntcp_printf(NTCP_SEVERITY_ERROR, "getHandle: wrong struct size %d instead of %d",
                    static_cast<int>(fifo->size), static_cast<int>(sizeof(Fifo_T)));
    else
        return fifo;
    ntcp_printf(NTCP_SEVERITY_ERROR, "%s: getHandle failed", function);
    return nullptr;
}

int32_t slot(const Fifo_T *fifo, int32_t age)
{
    return (fifo->head + age) % fifo->capacity;
}

// Hands the entry at index to the release routine and clears its place.
void discard(Fifo_T *fifo, int32_t index)
{
    if (fifo->release != nullptr)
        fifo->release(&fifo->data[index]);
    fifo->data[index] = nullptr;
    fifo->sizes[index] = 0;
}

void *take(Fifo_T *fifo, int32_t index, int32_t *size)
{
    void *data = fifo->data[index];
    if (size != nullptr)
        *size = fifo->sizes[index];
    fifo->data[index] = nullptr;
    fifo->sizes[index] = 0;
    return data;
}

template <class T>
bool enlarge(T *&array, int32_t old_capacity, int32_t new_capacity)
{
    auto *grown = static_cast<T *>(realloc(array, sizeof(T) * static_cast<size_t>(new_capacity)));
    if (grown == nullptr)
        return false;
    for (int32_t i = old_capacity; i < new_capacity; ++i)
        grown[i] = T{};
    array = grown;
    return true;
}

// Caller holds the lock. Doubles the capacity when the queue may double, keeping
// the entries in one run from head.
int32_t grow_locked(Fifo_T *fifo)
{
    ntcp_printf(NTCP_SEVERITY_ERROR, "fifo_grow_internal");
    if ((fifo->options & FIFO_OPT_GROW_DOUBLE) == 0)
        return 0;
    const int32_t old_capacity = fifo->capacity;
    if (old_capacity > INT32_MAX / 2 || !enlarge(fifo->data, old_capacity, old_capacity * 2) ||
        !enlarge(fifo->sizes, old_capacity, old_capacity * 2)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "fifo_grow_internal: realloc failed");
        return NTCP_ERR_ALLOC;
    }
    // Entries that wrapped past the old end move to the places right after it.
    const int32_t wrapped = fifo->count - (old_capacity - fifo->head);
    for (int32_t i = 0; i < wrapped; ++i) {
        fifo->data[old_capacity + i] = fifo->data[i];
        fifo->sizes[old_capacity + i] = fifo->sizes[i];
        fifo->data[i] = nullptr;
        fifo->sizes[i] = 0;
    }
    fifo->capacity = old_capacity * 2;
    return 0;
}

} // namespace

extern "C" Fifo_T *fifo_create(int32_t capacity, FifoRelease_T release)
{
    if (capacity <= 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "fifo_create: invalid capacity %d", static_cast<int>(capacity));
        return nullptr;
    }
    auto *fifo = new (std::nothrow) Fifo_T{};
    if (fifo != nullptr) {
        fifo->data = static_cast<void **>(calloc(static_cast<size_t>(capacity), sizeof(void *)));
        fifo->sizes = static_cast<int32_t *>(calloc(static_cast<size_t>(capacity), sizeof(int32_t)));
    }
    if (fifo == nullptr || fifo->data == nullptr || fifo->sizes == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "fifo_create: calloc failed");
        if (fifo != nullptr) {
            free(fifo->data);
            free(fifo->sizes);
            delete fifo;
        }
        return nullptr;
    }
    fifo->size = sizeof(Fifo_T);
    fifo->capacity = capacity;
    fifo->release = release;
    return fifo;
}

extern "C" int32_t fifo_destroy(Fifo_T **fifo)
{
    if (fifo == nullptr || *fifo == nullptr)
        return 0;
    Fifo_T *queue = get_handle(*fifo, "fifo_destroy");
    if (queue == nullptr)
        return NTCP_ERR_REFUSED;
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        for (int32_t age = 0; age < queue->count; ++age)
            discard(queue, slot(queue, age));
        queue->count = 0;
    }
    free(queue->data);
    free(queue->sizes);
    // A stale pointer to a destroyed queue fails the handle check.
    queue->size += 1;
    delete queue;
    *fifo = nullptr;
    return 0;
}

extern "C" int32_t fifo_set_option(Fifo_T *fifo, uint8_t bits, int32_t on)
{
    Fifo_T *queue = get_handle(fifo, "fifo_set_option");
    if (queue == nullptr)
        return NTCP_ERR_REFUSED;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (on != 0)
        queue->options |= bits;
    else
        queue->options &= static_cast<uint8_t>(~bits);
    return 0;
}

extern "C" int32_t fifo_grow(Fifo_T *fifo)
{
    Fifo_T *queue = get_handle(fifo, "fifo_grow");
    if (queue == nullptr)
        return NTCP_ERR_REFUSED;
    std::lock_guard<std::mutex> guard(queue->lock);
    return grow_locked(queue);
}

extern "C" int32_t fifo_push(Fifo_T *fifo, void *data, int32_t size)
{
    Fifo_T *queue = get_handle(fifo, "fifo_push");
    if (queue == nullptr)
        return NTCP_ERR_REFUSED;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (queue->count == queue->capacity) {
        if (queue->options & FIFO_OPT_GROW_DOUBLE) {
            const int32_t rc = grow_locked(queue);
            if (rc != 0)
                return rc;
        } else if (queue->options & FIFO_OPT_DROP_OLDEST) {
            discard(queue, queue->head);
            queue->head = slot(queue, 1);
            --queue->count;
        } else {
            // Refusing is also the answer when no option decides: nothing is lost or overwritten.
            ntcp_printf(NTCP_SEVERITY_ERROR, "fifo_push: fifo full and grow not permitted");
            return -1;
        }
    }
    const int32_t index = slot(queue, queue->count);
    queue->data[index] = data;
    queue->sizes[index] = size;
    ++queue->count;
    return 0;
}

extern "C" void *fifo_pop(Fifo_T *fifo, int32_t *size)
{
    Fifo_T *queue = get_handle(fifo, "fifo_pop");
    if (queue == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (queue->count == 0)
        return nullptr;
    void *data = take(queue, queue->head, size);
    queue->head = slot(queue, 1);
    --queue->count;
    return data;
}

extern "C" void *fifo_pop_newest(Fifo_T *fifo, int32_t *size)
{
    Fifo_T *queue = get_handle(fifo, "fifo_pop_newest");
    if (queue == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> guard(queue->lock);
    if (queue->count == 0) {
        if (size != nullptr)
            *size = 0;
        return nullptr;
    }
    for (int32_t age = 0; age < queue->count - 1; ++age)
        discard(queue, slot(queue, age));
    void *data = take(queue, slot(queue, queue->count - 1), size);
    queue->head = 0;
    queue->count = 0;
    return data;
}

extern "C" int32_t fifo_get_count(Fifo_T *fifo)
{
    Fifo_T *queue = get_handle(fifo, "fifo_get_count");
    if (queue == nullptr)
        return 0;
    std::lock_guard<std::mutex> guard(queue->lock);
    return queue->count;
}
