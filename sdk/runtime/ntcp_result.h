/* The one table of result codes shared by every layer below the SDK front. */
#ifndef NOLMAK_RUNTIME_NTCP_RESULT_H
#define NOLMAK_RUNTIME_NTCP_RESULT_H

enum NtcpResult {
    NTCP_OK = 0,
    NTCP_ERR_REFUSED = 1,            /* handle refused where 1 stands for 4; interface listing empty or failed */
    NTCP_ERR_NULL_PARAMETER = 2,     /* required pointer null; payload with no place for it; TCP connect refused */
    NTCP_ERR_ALLOC = 3,              /* memory allocation failed */
    NTCP_ERR_HANDLE = 4,             /* handle null or failing its check; header neither NTCP nor MIROVANT */
    NTCP_ERR_RANGE = 5,              /* argument value out of range */
    NTCP_ERR_WRONG_COMMAND = 7,      /* answer carries another command code than the request */
    NTCP_ERR_NOT_FOUND = 8,          /* field not in the buffer */
    NTCP_ERR_MISALIGNED = 9,         /* field misaligned or of the wrong size; too many datalinks */
    NTCP_ERR_BUFFER = 10,            /* buffer too small or malformed */
    NTCP_ERR_SOCKET_STARTUP = 11,    /* starting the platform socket library failed */
    NTCP_ERR_SOCKET = 12,            /* a platform socket call failed */
    NTCP_ERR_BIND = 13,              /* binding to the local address and port failed */
    NTCP_ERR_IO = 14,                /* send, receive, listen or accept failed */
    NTCP_ERR_TIMEOUT = 15,           /* nothing arrived in time; wrong length */
    NTCP_ERR_CLOSED = 16,            /* the peer closed or reset the connection */
    NTCP_ERR_TBP = 17,               /* TBP packet header corrupt or out of sequence */
    NTCP_ERR_ADDRESS = 18,           /* address text is not a dotted IPv4 address */
    NTCP_ERR_THREAD_CREATE = 19,     /* receiver thread could not be created */
    NTCP_ERR_THREAD_START = 20,      /* receiver thread did not report running in time */
    NTCP_ERR_NO_CONNECTION = 21,     /* no connection waiting to be accepted */
    NTCP_ERR_STREAM_ENDED = 51,      /* stream not in use, stopped, or ended and drained */
    NTCP_ERR_STREAM_LIMIT = 52,      /* the client already runs 20 streams */
    NTCP_ERR_STREAM_EMPTY = 53,      /* the stream has no data yet */
    NTCP_ERR_BROADCAST_DENIED = 54,  /* the process may not broadcast */
    NTCP_ERR_DEVICE = 250,           /* the camera answered with a non-zero error code */
    NTCP_ERR_UNSUPPORTED = 999       /* not supported */
};

#endif
