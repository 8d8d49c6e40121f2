#include "client/QuentixClientUpdate.h"

#include <stdlib.h>
#include <string.h>

#include "client/QuentixClient.h"
#include "client/ntcp_common.h"
#include "codec/buffer_interface.h"
#include "transport/ntcp.h"
#include "transport/ntcp_client.h"

namespace {

// The update whose payload this thread is uploading. The upload callback has no
// context of its own and runs on the uploading thread, so a thread-local pointer
// keeps two updates from reporting into each other's queue.
thread_local QuentixUpdate_T *t_uploading = nullptr;

constexpr uint32_t kExitNormal = 0;
constexpr uint32_t kExitFault = 1;

uint32_t end_normally(QuentixUpdate_T *update)
{
    ntcp_printf(NTCP_SEVERITY_INFO, "UPDATE FINISHED");
    _ReportProgress(update, UPDATE_KIND_FINISHED, 0, 0, 0, nullptr, 0, nullptr);
    ntcp_printf(NTCP_SEVERITY_INFO, "Update thread closed");
    return kExitNormal;
}

uint32_t end_on_fault(QuentixUpdate_T *update)
{
    _ReportProgress(update, UPDATE_KIND_FAILED, 0, 0, 100, "", 0, nullptr);
    ntcp_printf(NTCP_SEVERITY_INFO, "Update thread closed on fault");
    return kExitFault;
}

// Reports a failure as an item; the caller has printed its diagnostic.
void report_failure(QuentixUpdate_T *update, int32_t kind, int32_t error, const char *text)
{
    _ReportProgress(update, kind, 0, 0, 0, nullptr, error, text);
}

void destroy_parts(QuentixUpdate_T *update)
{
    if (update->thread != nullptr) {
        crossThread_Cancel(update->thread);
        crossThread_Join(update->thread);
        crossThread_Destroy(&update->thread);
    }
    if (update->client != nullptr)
        QuentixClient_Close(&update->client);
    fifo_destroy(&update->progress);
    free(update->payload);
    update->struct_size = 0;
    free(update);
}

QuentixUpdate_T *start_failed(QuentixUpdate_T *update)
{
    destroy_parts(update);
    return nullptr;
}

} // namespace

QuentixUpdate_T *_CheckHandle(QuentixUpdate_T *update)
{
    if (update == nullptr || update->struct_size != QUENTIX_UPDATE_STRUCT_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "_CheckHandle: Wrong struct size (%d)",
                    update != nullptr ? update->struct_size : 0);
        return nullptr;
    }
    return update;
}

void _freeReportItem(void **item)
{
    NTCP_free(item);
}

void _ReportProgress(QuentixUpdate_T *update, int32_t kind, int32_t bytes_sent, int32_t bytes_total,
                     int32_t progress, const char *message, int32_t error, const char *error_text)
{
    if (update == nullptr || update->progress == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "_ReportProgress: NULL fifo handle");
        return;
    }
    auto *item = static_cast<UpdateProgress_T *>(calloc(1, sizeof(UpdateProgress_T)));
    if (item == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "_ReportProgress: calloc failed");
        return;
    }
    item->struct_size = static_cast<int32_t>(sizeof(UpdateProgress_T));
    item->kind = kind;
    item->bytes_sent = bytes_sent;
    item->bytes_total = bytes_total;
    item->progress = progress;
    item->error = error;
    if (message != nullptr)
        QuentixCopyText(item->message, sizeof item->message, message);
    if (error_text != nullptr)
        QuentixCopyText(item->error_text, sizeof item->error_text, error_text);
    if (fifo_push(update->progress, item, static_cast<int32_t>(sizeof(UpdateProgress_T))) != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "_ReportProgress: fifo_push failed");
        free(item);
    }
}

void _InternalUploadCallback(int32_t bytes_sent, int32_t bytes_total)
{
    if (t_uploading == nullptr)
        return;
    _ReportProgress(t_uploading, UPDATE_KIND_UPLOAD, bytes_sent, bytes_total, 0, nullptr, 0, nullptr);
}

int32_t QuentixClientUpdate_StatusKind(int32_t status)
{
    switch (status) {
    case UPDATE_STATUS_FAILED: return UPDATE_KIND_FAILED;
    case UPDATE_STATUS_DONE:
    case UPDATE_STATUS_UNKNOWN: return UPDATE_KIND_DONE;
    case UPDATE_STATUS_DONE_REBOOT: return UPDATE_KIND_DONE_REBOOT;
    default: return UPDATE_KIND_IN_PROGRESS;
    }
}

const char *QuentixClientUpdate_StatusName(int32_t status)
{
    switch (status) {
    case UPDATE_STATUS_INIT: return "INIT";
    case UPDATE_STATUS_START: return "START";
    case UPDATE_STATUS_IN_PROGRESS: return "IN PROGRESS";
    case UPDATE_STATUS_FAILED: return "FAILED";
    case UPDATE_STATUS_DONE: return "DONE";
    case UPDATE_STATUS_DONE_REBOOT: return "DONE REBOOT IN PROGRESS";
    default: return "UNKNOWN";
    }
}

int32_t QuentixClientUpdate_DecodeFeedback(const uint8_t *message, int32_t size, UpdateFeedback_T *feedback)
{
    if (feedback == nullptr)
        return NTCP_ERR_NULL_PARAMETER;
    memset(feedback, 0, sizeof *feedback);
    const int32_t status = Interpreter_GetLong(&feedback->status, MV_DATA_CODE_UPDATE_STATUS, message, size);
    const int32_t progress = Interpreter_GetLong(&feedback->progress, MV_DATA_CODE_UPDATE_PROGRESS, message, size);
    const int32_t text =
        Interpreter_GetString(feedback->text, sizeof feedback->text, MV_DATA_CODE_UPDATE_MESSAGE, message, size);
    return status | progress | text;
}

uint32_t UpdateThread(void *thread)
{
    auto *self = static_cast<CrossThread_T *>(thread);
    void *parameter = nullptr;
    crossThread_GetParameterPtr(self, &parameter);
    auto *update = static_cast<QuentixUpdate_T *>(parameter);
    if (update == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Update thread: NULL pointer... thread is going to be killed");
        ntcp_printf(NTCP_SEVERITY_INFO, "Update thread closed on fault");
        return kExitFault;
    }
    if (CheckClientHandle(update->client) == nullptr) {
        static const char text[] = "Update thread: NULL quentix client pointer... thread is going to be killed";
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s", text);
        report_failure(update, UPDATE_KIND_INIT_ERROR, NTCP_ERR_NULL_PARAMETER, text);
        return end_on_fault(update);
    }

    ntcp_printf(NTCP_SEVERITY_DEBUG, "Update thread started...");
    ntcp_printf(NTCP_SEVERITY_INFO, "STARTING UPDATE STREAM of %d bytes...", update->payload_size);
    NTCPClient_T *client = update->client->client;
    int32_t stream = -1;
    int32_t device_error = 0;
    t_uploading = update;
    const int32_t started = NTCP_client_stream_start_using_callback(
        client, NTCP_CMD_UPDATE_START, update->payload, update->payload_size, NTCP_CMD_UPDATE_END,
        NTCP_CMD_UPDATE_DATA, -1, QUENTIX_UPDATE_STREAM_QUEUE, &stream, &device_error, _InternalUploadCallback);
    t_uploading = nullptr;
    if (started == NTCP_ERR_DEVICE || device_error != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Update thread: Camera replied with error %d", device_error);
        report_failure(update, UPDATE_KIND_UPLOAD_ERROR, device_error, "Update thread: Camera replied with error");
        return end_on_fault(update);
    }
    if (started != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Update thread: NTCP_client_stream_start failed %d", started);
        report_failure(update, UPDATE_KIND_UPLOAD_ERROR, started, "Update thread: NTCP_client_stream_start failed");
        return end_on_fault(update);
    }
    ntcp_printf(NTCP_SEVERITY_INFO, "UPDATE STREAM of %d bytes...DONE", update->payload_size);
    ntcp_printf(NTCP_SEVERITY_INFO, "RECEIVING FEEDBACK FROM DEVICE...");

    for (;;) {
        crossSleep(QUENTIX_UPDATE_POLL_MS);
        int32_t cancel = 0;
        crossThread_GetCancel(self, &cancel);
        if (cancel == 1) {
            ntcp_printf(NTCP_SEVERITY_INFO, "Update thread aborted");
            return end_normally(update);
        }
        uint8_t *message = nullptr;
        int32_t size = 0;
        const int32_t got = NTCP_client_stream_get(client, stream, &message, &size);
        if (got == NTCP_ERR_STREAM_EMPTY)
            continue;
        if (got == NTCP_ERR_STREAM_ENDED)
            return end_normally(update);
        if (got != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Update thread: NTCP_client_stream_get failed %d", got);
            report_failure(update, UPDATE_KIND_GET_FEED_ERROR, got, "Update thread: NTCP_client_stream_get failed");
            return end_on_fault(update);
        }

        UpdateFeedback_T feedback;
        const int32_t decoded = QuentixClientUpdate_DecodeFeedback(message, size, &feedback);
        NTCP_free(reinterpret_cast<void **>(&message));
        if (decoded != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Update thread: Interpreter_Get failed %d", decoded);
            continue;
        }
        const char *name = QuentixClientUpdate_StatusName(feedback.status);
        if (feedback.text[0] != '\0')
            ntcp_printf(NTCP_SEVERITY_DEBUG, "%d - [%s] %s", feedback.progress, name, feedback.text);
        else
            ntcp_printf(NTCP_SEVERITY_DEBUG, "%d - [%s]", feedback.progress, name);
        _ReportProgress(update, QuentixClientUpdate_StatusKind(feedback.status), 0, 0, feedback.progress,
                        feedback.text, 0, nullptr);
    }
}

QuentixUpdate_T *QuentixClientUpdate_Start(const char *local_address, const char *remote_address, int32_t port,
                                           int32_t timeout_ms, const char *option, const uint8_t *file,
                                           int32_t file_length)
{
    // The payload holds the file and its fields in one signed 32-bit size.
    if (file == nullptr || file_length <= 0 || file_length > INT32_MAX - QUENTIX_UPDATE_PAYLOAD_ROOM) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: Wrong gpg parameters");
        return nullptr;
    }
    auto *update = static_cast<QuentixUpdate_T *>(calloc(1, sizeof(QuentixUpdate_T)));
    if (update == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: calloc failed");
        return nullptr;
    }
    update->struct_size = QUENTIX_UPDATE_STRUCT_SIZE;
    update->progress = fifo_create(QUENTIX_UPDATE_QUEUE_SIZE, _freeReportItem);
    if (update->progress == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: fifo_create failed");
        return start_failed(update);
    }
    fifo_set_option(update->progress, FIFO_OPT_REFUSE, 1);

    update->client = QuentixClient_OpenTCP(local_address, remote_address, port, timeout_ms,
                                           QUENTIX_UPDATE_KEEPALIVE_MS);
    if (update->client == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: QuentixClient_OpenTCP failed");
        return start_failed(update);
    }

    ntcp_printf(NTCP_SEVERITY_DEBUG, "Building payload...");
    int32_t allocated = file_length + QUENTIX_UPDATE_PAYLOAD_ROOM;
    update->payload = static_cast<uint8_t *>(calloc(1, static_cast<size_t>(allocated)));
    if (update->payload == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: calloc failed");
        return start_failed(update);
    }
    int32_t result = Interpreter_SetLong(&update->payload, &allocated, &update->payload_size,
                                         QUENTIX_UPDATE_HEADER_VALUE, MV_DATA_CODE_UPDATE_HEADER, 1);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: Interpreter_SetLong failed (error: %d)", result);
        return start_failed(update);
    }
    result = Interpreter_SetBuffer(&update->payload, &allocated, &update->payload_size, file, file_length,
                                   MV_DATA_CODE_UPDATE_PAYLOAD, 1);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: Interpreter_SetBuffer failed (error: %d)",
                    result);
        return start_failed(update);
    }
    if (option != nullptr && option[0] != '\0') {
        result = Interpreter_SetString(&update->payload, &allocated, &update->payload_size, option,
                                       MV_DATA_CODE_UPDATE_OPTION, 1);
        if (result != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: Interpreter_SetString failed (error: %d)",
                        result);
            return start_failed(update);
        }
    }
    ntcp_printf(NTCP_SEVERITY_DEBUG, "Building payload...DONE");

    if (crossThread_Create2(&update->thread, UpdateThread, update) != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Start: crossThread_Create2 failed");
        update->thread = nullptr;
        return start_failed(update);
    }
    return update;
}

int32_t QuentixClientUpdate_GetProgress(QuentixUpdate_T *update, UpdateProgress_T *progress)
{
    if (progress == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_GetProgress: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (_CheckHandle(update) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_GetProgress: _CheckHandle failed");
        return NTCP_ERR_NULL_PARAMETER;
    }
    int32_t size = 0;
    void *item = fifo_pop(update->progress, &size);
    if (item == nullptr)
        return NTCP_ERR_STREAM_EMPTY;
    if (size != static_cast<int32_t>(sizeof(UpdateProgress_T))) {
        _freeReportItem(&item);
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_GetProgress: Wrong struct size %d", size);
        return NTCP_ERR_HANDLE;
    }
    if (static_cast<UpdateProgress_T *>(item)->kind == UPDATE_KIND_FINISHED) {
        ntcp_printf(NTCP_SEVERITY_DEBUG, "QuentixClientUpdate_GetProgress: Update finished");
        _freeReportItem(&item);
        return NTCP_ERR_STREAM_ENDED;
    }
    memcpy(progress, item, sizeof(UpdateProgress_T));
    _freeReportItem(&item);
    return NTCP_OK;
}

int32_t QuentixClientUpdate_Destroy(QuentixUpdate_T **update)
{
    if (update == nullptr || _CheckHandle(*update) == nullptr) {
        if (update == nullptr)
            ntcp_printf(NTCP_SEVERITY_ERROR, "_CheckHandle: Wrong struct size (%d)", 0);
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClientUpdate_Destroy: _CheckHandle failed");
        return NTCP_ERR_NULL_PARAMETER;
    }
    destroy_parts(*update);
    *update = nullptr;
    return NTCP_OK;
}
