/*
 * Cuelink.dll, the CG link: renders the graphics maker's CG records (still
 * pages, rolls, crawls; animations through the effects library) into a
 * caller's 32-bit pixel buffer and answers questions about a record.
 *
 * Pixels are 32-bit words 0xAARRGGBB.  A negative height names a bottom-up
 * buffer.  Every export may be called from any thread: each rendering keeps
 * its own decoder state.
 */
#ifndef CUELINK_H
#define CUELINK_H

#include <windows.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma pack(push, 1)
/* Head of a CG record block; part A, the record data, the text and the
 * image part follow it directly, in that order. */
typedef struct QcgRecordBlock {
    uint32_t headerLength;   /* 32 */
    uint32_t reserved4;
    uint32_t flags;          /* QCG_BLOCK_* */
    uint32_t sizeA;          /* part A, the record header */
    uint32_t reserved16;
    uint32_t dataSize;       /* record data */
    uint32_t textSize;
    uint32_t imageSize;
} QcgRecordBlock;
#pragma pack(pop)

enum {
    QCG_BLOCK_OBJECT_DATA = 2, /* part A ends with object data */
    QCG_BLOCK_EFFECT_DATA = 4  /* part A ends with effect data (animations) */
};

/* Rendering flags. */
enum {
    QCG_RENDER_BLEND = 0x1,       /* blend over the buffer (else clear it first) */
    QCG_RENDER_FIELD_ODD = 0x10,  /* rows 1, 3, 5 ... only */
    QCG_RENDER_FIELD_EVEN = 0x20, /* rows 0, 2, 4 ... only */
    QCG_RENDER_KEEP_FRACTION = 0x100,
    QCG_RENDER_ROLL_BY_RATE = 0x200
};

enum { QCG_TYPE_STILL = 0, QCG_TYPE_ROLL = 1, QCG_TYPE_CRAWL = 2, QCG_TYPE_ANIMATION = 4 };
enum { QCG_KIND_STILL = 200, QCG_KIND_ROLL = 201, QCG_KIND_CRAWL = 202 };

int WINAPI GetRenderedData(const QcgRecordBlock *block, void *buffer, int width, int height, int position,
                           int total, const DWORD *flags);
int WINAPI ExGetRenderedData(DWORD flags, const void *partA, const void *image, void *buffer, int width,
                             int height, int position, int total, const QcgRecordBlock *block);
int WINAPI QCGGetRenderedData(DWORD flags, const void *partA, const void *image, void *buffer, int width,
                              int height, int stride, double position, double total,
                              const QcgRecordBlock *block);
int WINAPI GetQCGRenderedData(DWORD flags, const char *fileName, void *buffer, int width, int height,
                              int position, int total, const QcgRecordBlock *block);
int WINAPI GetRecordData(const QcgRecordBlock *block, char *text, char *text2, int length, HGLOBAL *data,
                         int *width, int *height, int *type, int *value);
int WINAPI ExGetRecordData(const QcgRecordBlock *block, char *text, char *text2, int length, HGLOBAL *data,
                           int *width, int *height, int *type, int *value, int *frames);
int WINAPI GetCrawlPos(const QcgRecordBlock *block);
int WINAPI GetCrawlPosEx(const void *partA, const void *image);
BITMAPINFOHEADER *WINAPI GetBitmapData(const QcgRecordBlock *block, int *width, int *height);
void WINAPI FreeBitmapData(BITMAPINFOHEADER *bitmap);
int WINAPI CuelinkDone(void);

#ifdef __cplusplus
}
#endif

#endif
