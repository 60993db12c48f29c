/*
 * CG clip files (.cga): a 60-byte header, the CG record data, then frames of
 * run-length packed 32-bit pixels.  The reader plays them for the combiner.
 *
 * A frame is an int32 byte count n followed by n / 5 runs of (uint32 pixel,
 * uint8 repeat count); the runs expand, top row first, to the clip's
 * 320 x 240 pixels.  The file comes from outside: a count past the end of
 * the file, a negative count or runs that would expand past the frame are
 * cut at the frame's end, never read or written beyond a buffer.
 */
#ifndef CORVENGINE_CGA_FILE_H
#define CORVENGINE_CGA_FILE_H

#include <windows.h>
#include <cstddef>
#include <cstdint>

enum { CGA_FRAME_WIDTH = 320, CGA_FRAME_HEIGHT = 240,
       CGA_FRAME_PIXELS = CGA_FRAME_WIDTH * CGA_FRAME_HEIGHT };

#pragma pack(push, 1)
struct CgaFileHeader {
    int32_t headerSize;      /* 60 */
    int32_t formatFlags;     /* 0x12000 */
    int32_t animated;        /* 0 still, else animated */
    int32_t frameCount;
    int32_t reserved1, reserved2;
    int32_t width, height;   /* 320 x 240 */
    int32_t bitsPerPixel;    /* 32 */
    int32_t firstFrame;      /* offset of the first frame */
    int32_t loopCount;       /* 0 = for ever */
    int32_t recordOffset;
    int32_t reserved3, reserved4;
    int32_t recordSize;
};

struct CgaRunRecord {
    uint32_t pixel;          /* blue, green, red, alpha from the low byte */
    uint8_t count;           /* 0 adds nothing */
};
#pragma pack(pop)

static_assert(sizeof(CgaFileHeader) == 60, "clip header is 60 bytes");
static_assert(sizeof(CgaRunRecord) == 5, "clip run is 5 bytes");

/* Expand the whole runs of n bytes of run records into frame (capacity
 * pixels); a trailing part-run is ignored and pixels past the capacity are
 * dropped.  Pixels the runs do not reach are set to 0.  Returns the pixels
 * the runs covered (at most capacity). */
size_t CgaExpandRuns(const uint8_t *runs, size_t n, uint32_t *frame, size_t capacity);

/* An open clip file, read frame by frame.  One thread at a time. */
class CgaReader {
public:
    CgaReader() = default;
    ~CgaReader() { Close(); }
    CgaReader(const CgaReader &) = delete;
    CgaReader &operator=(const CgaReader &) = delete;

    /* Open path and read its header; FALSE when the file cannot be opened,
     * is shorter than a header, or its first frame lies outside the file. */
    BOOL Open(const char *path);
    void Close();
    bool IsOpen() const { return file != INVALID_HANDLE_VALUE; }
    const CgaFileHeader &Header() const { return header; }

    /* Move to the first frame. */
    BOOL Rewind();
    /* Read the next frame into frame (CGA_FRAME_PIXELS words, expanded, not
     * premultiplied); FALSE at the end of the file or on a frame whose
     * count does not fit in the file (the position is then unchanged). */
    BOOL ReadFrame(uint32_t *frame);

private:
    HANDLE file = INVALID_HANDLE_VALUE;
    CgaFileHeader header = {};
    int64_t size = 0;
    int64_t pos = 0;
};

#endif
