/* Requests of the simulated board device that only tests send: the log of
 * every request the calling process made (both devices), as entries
 * {code, n, n input words}, and its clearing. */
#ifndef MURNAK_LOG_H
#define MURNAK_LOG_H

#define IOCTL_MURNAK_LOG_READ  0x80002FF0u
#define IOCTL_MURNAK_LOG_CLEAR 0x80002FF4u

/* Words of input kept per entry, and the log's size limit in words. */
#define MURNAK_LOG_WORDS 24u
#define MURNAK_LOG_LIMIT 16000u

#endif
