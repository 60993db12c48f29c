/*
 * JPEG32.dll: the JPEG library the extra image filters load by name.  Bytes
 * come in through the caller's callback (code 2: read up to `length` bytes,
 * answer the count, 0 at the end); pixels go straight into the caller's
 * block, 24-bit blue-green-red or 8-bit grey, rows padded to 4 bytes and
 * stored bottom-up unless the work record asks for top-down rows.
 *
 * Results: 0 done; -5 not a JPEG stream; -6 a JPEG this library does not
 * decode (CMYK or YCCK, more than 8 bits per sample, a picture larger than
 * the caller's block); -7 the stream ends early or is damaged; -9 no memory.
 */
#ifndef JPEG32_H
#define JPEG32_H

#include <windows.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int (WINAPI *JpegCallback)(int code, void *source, BYTE *buffer, int length);
#define JPEG_CB_READ 2

/* What JPEG_Info reports (16 bytes). */
typedef struct JpegInfo
{
    uint32_t size;           /* 16 */
    uint16_t width;
    uint16_t components;     /* 1 grey, 3 colour */
    int32_t  height;
    uint16_t flags;          /* JPEG_PROGRESSIVE, JPEG_RESTARTS */
    uint16_t bitsPerPixel;   /* 8 or 24 */
} JpegInfo;

#define JPEG_PROGRESSIVE 0x1
#define JPEG_RESTARTS    0x2

/* Work record of JPEG_Decompress (44 bytes): the caller's block, then what
 * the decoder found. */
typedef struct JpegWork
{
    uint32_t bytesPerRow;    /* in: stride of the block; 0 = the picture's padded row */
    uint32_t rows;           /* in: rows the block holds; 0 = the picture's height */
    uint32_t options;        /* in: JPEG_TOP_DOWN */
    uint32_t width;          /* out */
    uint32_t height;
    uint32_t bitsPerPixel;
    uint32_t flags;          /* JPEG_PROGRESSIVE, JPEG_RESTARTS */
    uint32_t restartInterval;/* in MCUs */
    uint32_t scans;          /* scans read (progressive pictures have several) */
    uint32_t warnings;       /* recoverable damage libjpeg reported */
    uint32_t rowsDone;
} JpegWork;

#define JPEG_TOP_DOWN 0x1

int WINAPI JPEG_Info(void *source, JpegCallback callback, JpegInfo *info);
int WINAPI JPEG_Decompress(void *source, JpegCallback callback, JpegWork *work, BYTE *destination);

#ifdef __cplusplus
}
static_assert(sizeof(JpegInfo) == 16, "JPEG info record is 16 bytes");
static_assert(sizeof(JpegWork) == 44, "JPEG work record is 44 bytes");
#endif

#endif
