/* Firmware update job: the update file goes to one camera over an NTCP stream on a
 * thread of its own, which then follows the camera's feedback and reports every
 * step as a progress item into a queue that the caller polls. */
#ifndef NOLMAK_CLIENT_QUENTIX_CLIENT_UPDATE_H
#define NOLMAK_CLIENT_QUENTIX_CLIENT_UPDATE_H

#include <stddef.h>
#include <stdint.h>

#include "client/QuentixClientInternal.h"
#include "runtime/cross_sys.h"
#include "runtime/fifo.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUENTIX_UPDATE_STRUCT_SIZE 24     /* the mark of an update handle */
#define QUENTIX_UPDATE_QUEUE_SIZE 100     /* progress items waiting at most */
#define QUENTIX_UPDATE_STREAM_QUEUE 50    /* feedback messages waiting at most */
#define QUENTIX_UPDATE_KEEPALIVE_MS 5000
#define QUENTIX_UPDATE_HEADER_VALUE 10    /* value of the payload's header field */
#define QUENTIX_UPDATE_PAYLOAD_ROOM 4096  /* payload room beyond the file's length */
#define QUENTIX_UPDATE_POLL_MS 10         /* pause between two looks at the stream */
#define QUENTIX_UPDATE_TEXT_SIZE 256      /* texts of a progress item: 255 characters */
#define QUENTIX_UPDATE_FEEDBACK_TEXT_SIZE 512

/* Progress kinds */
#define UPDATE_KIND_INIT_ERROR 1
#define UPDATE_KIND_UPLOAD 2
#define UPDATE_KIND_UPLOAD_ERROR 3
#define UPDATE_KIND_IN_PROGRESS 4
#define UPDATE_KIND_GET_FEED_ERROR 5
#define UPDATE_KIND_FAILED 6
#define UPDATE_KIND_DONE 7
#define UPDATE_KIND_DONE_REBOOT 8
#define UPDATE_KIND_FINISHED 0xF123 /* the update ended normally; never handed out */

/* Camera status values of a feedback message */
#define UPDATE_STATUS_INIT 16
#define UPDATE_STATUS_START 32
#define UPDATE_STATUS_IN_PROGRESS 64
#define UPDATE_STATUS_FAILED 128
#define UPDATE_STATUS_DONE 256
#define UPDATE_STATUS_DONE_REBOOT 512
#define UPDATE_STATUS_UNKNOWN 1024

/* One progress item (536 bytes). */
typedef struct UpdateProgress_T {
    int32_t struct_size; /* 536 */
    int32_t kind;
    int32_t bytes_sent;  /* kind 2 */
    int32_t bytes_total; /* kind 2 */
    int32_t progress;    /* kinds 4, 6, 7, 8: percentage */
    char message[QUENTIX_UPDATE_TEXT_SIZE];
    int32_t error;       /* kinds 1, 3, 5 */
    char error_text[QUENTIX_UPDATE_TEXT_SIZE];
} UpdateProgress_T;

typedef struct QuentixUpdate_T {
    int32_t struct_size;     /* QUENTIX_UPDATE_STRUCT_SIZE */
    QuentixClient_T *client; /* owned */
    uint8_t *payload;        /* owned */
    int32_t payload_size;
    Fifo_T *progress;        /* owned: UpdateProgress_T items */
    CrossThread_T *thread;   /* UpdateThread */
} QuentixUpdate_T;

/* One feedback message of the camera, decoded. */
typedef struct UpdateFeedback_T {
    int32_t status;
    int32_t progress;
    char text[QUENTIX_UPDATE_FEEDBACK_TEXT_SIZE];
} UpdateFeedback_T;

/* Builds the payload, connects and starts the update thread; null on failure with
 * nothing left behind. The file bytes are copied. */
QuentixUpdate_T *QuentixClientUpdate_Start(const char *local_address, const char *remote_address, int32_t port,
                                           int32_t timeout_ms, const char *option, const uint8_t *file,
                                           int32_t file_length);

/* The oldest progress item. 0; 2 null output or not an update; 4 a queued block is
 * no progress item; 51 the update has ended normally; 53 nothing waiting. */
int32_t QuentixClientUpdate_GetProgress(QuentixUpdate_T *update, UpdateProgress_T *progress);

/* Stops the thread, releases everything and sets *update to null. 0; 2. */
int32_t QuentixClientUpdate_Destroy(QuentixUpdate_T **update);

/* Reads status, progress and text of a feedback message; every field is read and
 * the results are combined by bitwise OR (0 when all three read). */
int32_t QuentixClientUpdate_DecodeFeedback(const uint8_t *message, int32_t size, UpdateFeedback_T *feedback);

/* The progress kind and the printed name of a camera status. */
int32_t QuentixClientUpdate_StatusKind(int32_t status);
const char *QuentixClientUpdate_StatusName(int32_t status);

/* Internal routines of the update thread. */
uint32_t UpdateThread(void *thread);
void _InternalUploadCallback(int32_t bytes_sent, int32_t bytes_total);
void _ReportProgress(QuentixUpdate_T *update, int32_t kind, int32_t bytes_sent, int32_t bytes_total,
                     int32_t progress, const char *message, int32_t error, const char *error_text);
void _freeReportItem(void **item);
QuentixUpdate_T *_CheckHandle(QuentixUpdate_T *update);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(UpdateProgress_T) == 536, "UpdateProgress_T size");
static_assert(offsetof(UpdateProgress_T, message) == 20, "UpdateProgress_T.message");
static_assert(offsetof(UpdateProgress_T, error) == 276, "UpdateProgress_T.error");
static_assert(offsetof(UpdateProgress_T, error_text) == 280, "UpdateProgress_T.error_text");
#endif

#endif
