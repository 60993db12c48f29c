/*
 * ferrix.h - public interface of Ferrix32.dll, the image filters.
 *
 * Every image is read, converted and written through one call,
 * ferrixConvert(source request, target request).  The library knows its
 * file formats only through format filters: pairs of enumerator functions
 * (XXXEnumReadFormats / XXXEnumWriteFormats) that describe one readable or
 * writable format per call by filling a FormatRecord.  Plug-in filter
 * modules ("*.frx" in the library's folder) export the same enumerators as
 * "EnumReadFormats" / "_EnumReadFormats@8" and "_EnumWriteFormats@8".
 *
 * Threads: one process-wide recursive lock is held around filter discovery
 * and every ferrixConvert call, so conversions are serialised; a filter
 * called inside a conversion may call the library again on the same thread.
 *
 * Layout of the records.  FormatRecord, ConvertSource and ConvertTarget are
 * shared by the library, its plug-in modules and its callers in other
 * modules, so each has a fixed layout on this (64-bit) platform: fixed-width
 * integers, pointer and handle fields at pointer width in their historical
 * order, every offset pinned by a static_assert below.  A record cannot
 * keep the old 32-bit offsets because function pointers and module handles
 * are 8 bytes wide here.  Unnamed words of the old layouts are kept as
 * reserved fields so that the order of every named field is unchanged.
 *
 * Ownership: the caller owns both request records; handles that the library
 * returns (DIBs in global memory, GDI bitmaps, GDI palettes, encoded output)
 * belong to the caller, who frees them (GlobalFree, DeleteObject).
 */
#ifndef FERRIX_H
#define FERRIX_H

#include <windows.h>
#include <stdint.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- results */

/* Result codes (signed 32-bit), shared by the driver and every filter. */
enum
{
    FX_OK               = 0,
    FX_E_FORMAT         = -5,   /* the reader does not recognise its format */
    FX_E_UNSUPPORTED    = -6,   /* unsupported depth, size or compression */
    FX_E_READ           = -7,   /* read error (short read) */
    FX_E_OPEN           = -8,   /* source or target file cannot be opened */
    FX_E_MEMORY         = -9,   /* out of memory */
    FX_E_NOFILTER       = -10,  /* no filter recognises the file */
    FX_E_NOWRITER       = -12,  /* no writer for the target */
    FX_E_NOSOURCE       = -13,  /* no source request, or no usable depth */
    FX_E_BUFFER         = -15,  /* a caller's buffer is too small */
    FX_E_NOOUTPUT       = -17,  /* the target names no output */
    FX_E_NOINPUT        = -18,  /* the source names no input */
    FX_E_WRITE          = -19   /* write error (short write) */
};

/* ------------------------------------------------------------- format ids */

enum
{
    FX_ID_MEMORY  = 1,   /* memory bitmap: not in the registry */
    FX_ID_BMP     = 2,
    FX_ID_TITLE   = 4,   /* the graphics maker's title images */
    FX_ID_PCX     = 5,
    FX_ID_GIF     = 6,
    FX_ID_TIFF    = 7,
    FX_ID_FLC     = 10,
    FX_ID_TGA     = 14,
    FX_ID_PICT    = 17,
    FX_ID_USER    = 18   /* caller rows, "Internal" */
};

/* Depth mask bits (FormatRecord.depthMask, writer capability low byte,
 * ConvertTarget.depth with FX_DEPTH_CHOOSE). */
enum
{
    FX_DEPTH_1      = 0x01,
    FX_DEPTH_24     = 0x02,
    FX_DEPTH_4      = 0x04,
    FX_DEPTH_8      = 0x08,
    FX_DEPTH_16     = 0x10,
    FX_DEPTH_32     = 0x20,
    FX_DEPTH_CHOOSE = 0x80,
    FX_DEPTH_ALL    = 0xBF
};

/* Row-order flags (ConvertSource.rowOrder, ConvertTarget.rowOrder and the
 * writer capability word). */
enum
{
    FX_ROWS_BOTTOMUP  = 0x100,
    FX_ROWS_TOPDOWN   = 0x400,
    FX_ROWS_VII       = 0x800,
    FX_CAN_REVERSE    = 0x10000   /* reader/writer capability: rows in reverse order */
};

/* Source flags (ConvertSource.flags). */
enum
{
    FX_SRC_SYSPALETTE   = 0x8,
    FX_SRC_BACKGROUND   = 0x4,
    FX_SRC_LEFT         = 0x10,
    FX_SRC_RIGHT        = 0x20,
    FX_SRC_TOP          = 0x40,
    FX_SRC_BOTTOM       = 0x80,
    FX_SRC_HCENTRE      = 0x100,
    FX_SRC_VCENTRE      = 0x200,
    FX_SRC_TILE         = 0x400,
    FX_SRC_FILL         = 0x800,
    FX_SRC_INVERTALPHA  = 0x20000,
    FX_SRC_TARGETALPHA  = 0x40000,
    FX_SRC_KEEPALPHA    = 0x80000,
    FX_SRC_ASPECT_KEEP  = 0x100000,
    FX_SRC_ASPECT_4_3   = 0x200000,
    FX_SRC_ASPECT_16_9  = 0x400000,
    FX_SRC_LINEDOUBLE   = 0x1000000,
    FX_SRC_GREY         = 0x2000000,
    FX_SRC_MASK         = 0x4000000,
    FX_SRC_APPEND       = 0x8000000,
    FX_SRC_NEGOTIATE    = 0x40000000,
    FX_SRC_PROBEALL     = (int)0x80000000
};

#define FX_REQUEST_VERSION   0x50000u
#define FX_RECORD_FORM       0xFF000200u   /* FormatRecord.form of the current record form */

/* ----------------------------------------------------------------- types */

typedef struct ConvertSource ConvertSource;
typedef struct ConvertTarget ConvertTarget;
typedef struct FormatRecord FormatRecord;
typedef struct BufferedStream BufferedStream;  /* buffered file / memory stream */

/* Request callback (request, code, value):
 *   code 0  progress: value = rows read so far (0 at start and end);
 *           long inner loops call it with three zeros to say work goes on;
 *   code 1  a target row was written: value = the row buffer;
 *   code 2  caller-rows format: value = the row buffer to fill (source)
 *           or to take (target).
 * The result is not read. */
typedef int (WINAPI *FxRequestCallback)(void *request, int code, LONG_PTR value);

/* Format filter enumerator: (index from 0, record) -> entries after this
 * one, or -1 past the last entry (record left alone). */
typedef int (WINAPI *FxEnumFormats)(int index, FormatRecord *record);

/* Reader routines, filled into the ConvertSource by the reader's open.
 * Each returns 0 or a negative result code unless said otherwise. */
typedef int      (WINAPI *FxReaderOpen)(ConvertSource *s);
/* skip one row; returns the address of the row when the reader holds the
 * image in memory (memory bitmap reader), else 0; negative on failure */
typedef LONG_PTR (WINAPI *FxReaderSkipRow)(ConvertSource *s);
typedef int      (WINAPI *FxReaderBeginRows)(ConvertSource *s);
/* read one row of s->bytesPerRow bytes into row */
typedef int      (WINAPI *FxReaderReadRow)(ConvertSource *s, BYTE *row);
/* deliver the whole image into a pixel block of rows `stride` bytes apart,
 * first row at `pixels`, rows in the source's row order */
typedef int      (WINAPI *FxReaderReadImage)(ConvertSource *s, BYTE *pixels, LONG stride);
typedef int      (WINAPI *FxReaderPrepare)(ConvertSource *s);
typedef int      (WINAPI *FxReaderClose)(ConvertSource *s);
/* copy up to count palette entries (blue, green, red, 0); returns the count copied */
typedef int      (WINAPI *FxReaderPalette)(ConvertSource *s, RGBQUAD *entries, int count);

/* Writer routines, filled into the ConvertTarget by the writer's open. */
typedef int (WINAPI *FxWriterOpen)(ConvertTarget *t);
typedef int (WINAPI *FxWriterBeginOutput)(ConvertTarget *t);
typedef int (WINAPI *FxWriterSkipRow)(ConvertTarget *t);
typedef int (WINAPI *FxWriterBeginRows)(ConvertTarget *t);
/* write one row of t->bytesPerRow bytes */
typedef int (WINAPI *FxWriterWriteRow)(ConvertTarget *t, const BYTE *row);
typedef int (WINAPI *FxWriterClose)(ConvertTarget *t);
/* take count palette entries (blue, green, red, 0); returns the count taken */
typedef int (WINAPI *FxWriterPalette)(ConvertTarget *t, const RGBQUAD *entries, int count);

/* ---------------------------------------------------------- FormatRecord */

/* One readable or writable format, filled by an enumerator.  Enumerators
 * fill only the fields of their own kind. */
struct FormatRecord
{
    uint32_t  form;            /* FX_RECORD_FORM; older forms (top byte not 0xFF) never match by extension */
    char      name[64];        /* display name, 64-byte bounded copy (maybe unterminated) */
    uint16_t  formatId;
    uint16_t  depthMask;       /* FX_DEPTH_* bits */
    HINSTANCE instance;        /* module that holds the filter */
    union
    {
        struct
        {
            uint32_t     probe;        /* nonzero: open may be tried on a source of unknown type */
            uint32_t     reserved;
            FxReaderOpen open;
            uint32_t     options;      /* filter's own option word; the driver does not read it */
            char         extensions[192]; /* "BMP\0RLE\0DIB\0\0": upper case, no dot, ended by "" */
        } read;
        struct
        {
            FxWriterOpen open;
            uint32_t     options;
            uint16_t     subFormat;    /* index of the entry within its filter */
            char         extensions[194];
        } write;
    } u;
};

/* ------------------------------------------------------- request records */

/* Row geometry of raw source pixels (ConvertSource.stride). */
typedef struct FxSourceStride
{
    uint32_t bytesPerRow;
    uint16_t height;
    uint16_t reserved;
} FxSourceStride;

/* Geometry of a caller's pixel block (ConvertTarget.blockGeometry). */
typedef struct FxBlockGeometry
{
    uint32_t bytesPerRow;
    uint32_t height;          /* 0 = the target height */
} FxBlockGeometry;

/* Where a roll or crawl without a frame table was left at the end of a
 * page (ConvertSource.resume).  A caller that reads such a title image page
 * by page sets inUse before each page; the reader's close saves its place
 * and clears inUse, and the next page's conversion goes on from there
 * instead of decoding every earlier page again. */
typedef struct FxResumeRecord
{
    uint32_t inUse;              /* set by the caller: save at close */
    uint32_t slots[4096];        /* the recent-colour list */
    uint32_t listPos;
    uint32_t filePos;            /* where the next page's rows begin */
    uint32_t nextPage;           /* the page these values belong to (0: nothing saved) */
    int32_t  lastCode;
    uint32_t lastColour;
} FxResumeRecord;

/* Reader state flag: a caller's mask buffer (ConvertSource.maskBuffer) was
 * too small; the image is still read and the conversion answers -15. */
#define FX_RS_BUFFER_SHORT 0x100

/* Source request.  The caller clears it, sets the version and names its
 * input; the driver and the reader fill the rest. */
struct ConvertSource
{
    uint32_t  version;           /* FX_REQUEST_VERSION; >= 0x30000 copies flags to the target */
    uint32_t  flags;             /* FX_SRC_* */
    char      path[260];         /* source file path */
    HGLOBAL   hDib;              /* caller's packed DIB (memory bitmap source) */
    HBITMAP   hBitmap;           /* GDI bitmap (memory bitmap source) */
    HPALETTE  hPalette;          /* palette of that bitmap; always consumed by the library */
    uint32_t  headerless;        /* headerless memory bitmap marker */
    uint32_t  reserved0;
    HGLOBAL   hRawBlock;         /* global block of raw pixels */
    uint32_t  rawBlockLength;
    BYTE     *pixels;            /* raw pixels, or with formatId an encoded file image (length at encodedLength) */
    FxSourceStride *stride;      /* stride record of the raw pixels */
    BITMAPINFOHEADER *bmi;       /* header of the raw pixels */
    RGBQUAD  *palette;           /* palette of the raw pixels */
    BYTE     *maskBuffer;        /* caller's buffer for a logo's key mask (title-image reader) */
    FxRequestCallback callback;  /* codes 0 and 2 */
    uint32_t  maskBufferSize;    /* its size; the reader writes the mask's length */
    uint16_t  partX;             /* requested part of a title image */
    uint16_t  partY;
    uint16_t  width;             /* filled by the reader */
    uint16_t  height;
    uint16_t  depth;             /* 1, 4, 8, 16, 24, 32 */
    uint16_t  formatId;          /* 0 = choose; filled with the chosen reader's id */
    uint32_t  transparent;       /* 8-bit and lower sources: 1 + the palette index shown as transparent
                                    (alpha 0 in deeper targets), 0 none; filled by the reader */
    uint16_t  rowOrder;          /* FX_ROWS_* of the source (0x300 bottom-up, 0x600 top-down) */
    uint16_t  paletteCount;
    uint32_t  bytesPerRow;
    uint32_t  titleRecord;       /* record word of a title container */
    uint32_t  readerCaps;        /* FX_CAN_REVERSE */
    uint16_t  part;              /* page of a roll or segment of a crawl */
    uint16_t  partCount;
    HGLOBAL   hOwnDib;           /* library-owned packed DIB (two-stage result) */
    uint32_t  readerState;       /* bit 0: deliver rows in reverse order; FX_RS_BUFFER_SHORT */
    FxResumeRecord *resume;      /* caller's resume record for paged title images, or none */
    BufferedStream *stream;      /* source stream */
    FxReaderOpen      open;      /* chosen, or preset by the caller */
    FxReaderSkipRow   skipRow;
    FxReaderBeginRows beginRows;
    FxReaderReadRow   readRow;   /* none: the reader delivers the whole image through readImage */
    FxReaderReadImage readImage;
    FxReaderPrepare   prepare;
    FxReaderClose     close;
    FxReaderPalette   getPalette;
    void     *priv;              /* reader's private state */
    int32_t   result;            /* result of the last conversion */
    uint32_t  encodedLength;     /* length of the encoded file image at pixels */
    uint32_t  totalWidth;        /* roll / crawl (title-image reader) */
    uint32_t  totalHeight;
    uint32_t  titleKind;         /* 0 still, 1 roll, 2 crawl, 4 title page */
    uint32_t  titleHeader38;
};

/* Target request. */
struct ConvertTarget
{
    uint32_t  version;           /* FX_REQUEST_VERSION (not read) */
    uint16_t  options;           /* 0x8000: Targa run-length output */
    uint16_t  rowOrder;          /* negotiated row order (written by the driver) */
    uint16_t  paletteCount;      /* entries handed to the writer's palette routine */
    uint16_t  originX;           /* written into VII and Targa headers */
    uint16_t  originY;
    uint16_t  width;             /* 0 = from the source; rewritten with the frame width */
    uint16_t  height;
    uint16_t  depth;             /* plain depth, or a FX_DEPTH_* mask with FX_DEPTH_CHOOSE; 0 = all */
    char      path[260];         /* target file path */
    HGLOBAL  *resultDib;         /* receives a packed DIB (with formatId 2 a BMP file image) */
    BYTE     *pixelBlock;        /* caller's pixel block to write into */
    FxBlockGeometry *blockGeometry;
    BITMAPINFOHEADER *blockBmi;  /* header of the caller's pixel block */
    RGBQUAD  *blockPalette;      /* palette of the caller's pixel block */
    HBITMAP  *resultBitmap;      /* receives a GDI bitmap */
    HPALETTE *resultPalette;     /* receives a GDI palette (maybe none) */
    HGLOBAL  *intermediateDib;   /* receives the intermediate DIB of a two-stage conversion */
    HGLOBAL  *sourceCopy;        /* when set the whole source file is read into memory first */
    uint32_t  sourceCopyLength;
    FxRequestCallback callback;  /* code 1 after each row, code 2 caller rows */
    uint32_t  reserved0;
    uint32_t  fillColor;         /* 0xAARRGGBB */
    uint8_t   alpha;             /* with FX_SRC_TARGETALPHA / FX_SRC_KEEPALPHA */
    uint8_t   reserved1[3];
    RECT     *sourceRect;        /* part of the source to convert; none = all, scaled */
    RECT     *clipRect;          /* clip in target coordinates */
    SIZE     *frameSize;         /* none = the target size */
    POINT    *origin;            /* image origin in the frame */
    HGLOBAL  *encodedOutput;     /* receives the encoded output of any format */
    uint32_t  encodedLength;
    uint16_t  formatId;          /* 0 = choose by extension */
    uint16_t  subFormat;
    uint32_t  bytesPerRow;
    uint32_t  caps;              /* low byte depth mask; row orders; FX_CAN_REVERSE */
    uint32_t  writerState;       /* bit 0 reverse rows; 2 BMP file image in memory */
    HGLOBAL   hOwnDib;           /* DIB made by the memory bitmap writer */
    BufferedStream *stream;      /* target stream */
    FxWriterBeginOutput beginOutput;
    FxWriterSkipRow   skipRow;
    FxWriterBeginRows beginRows;
    FxWriterWriteRow  writeRow;
    const BYTE *maskBuffer;      /* caller's key mask for a logo (title-image writer), or none */
    FxWriterOpen      open;
    FxWriterClose     close;
    FxWriterPalette   setPalette;
    void     *priv;              /* writer's private state */
    uint32_t  maskLength;        /* bytes at maskBuffer */
    uint32_t  reserved3;
    uint32_t  sourceFlags;       /* copy of the source flags (versions >= 0x30000) */
    uint32_t  reserved4;
};

#ifdef __cplusplus
#define FX_LAYOUT(rec, field, off) static_assert(offsetof(rec, field) == off, #rec "." #field)
FX_LAYOUT(FormatRecord, name, 4);
FX_LAYOUT(FormatRecord, formatId, 68);
FX_LAYOUT(FormatRecord, depthMask, 70);
FX_LAYOUT(FormatRecord, instance, 72);
FX_LAYOUT(FormatRecord, u.read.probe, 80);
FX_LAYOUT(FormatRecord, u.read.open, 88);
FX_LAYOUT(FormatRecord, u.read.options, 96);
FX_LAYOUT(FormatRecord, u.read.extensions, 100);
FX_LAYOUT(FormatRecord, u.write.open, 80);
FX_LAYOUT(FormatRecord, u.write.options, 88);
FX_LAYOUT(FormatRecord, u.write.subFormat, 92);
FX_LAYOUT(FormatRecord, u.write.extensions, 94);
static_assert(sizeof(FormatRecord) == 296, "FormatRecord size");

FX_LAYOUT(ConvertSource, path, 8);
FX_LAYOUT(ConvertSource, hDib, 272);
FX_LAYOUT(ConvertSource, headerless, 296);
FX_LAYOUT(ConvertSource, hRawBlock, 304);
FX_LAYOUT(ConvertSource, pixels, 320);
FX_LAYOUT(ConvertSource, palette, 344);
FX_LAYOUT(ConvertSource, callback, 360);
FX_LAYOUT(ConvertSource, partX, 372);
FX_LAYOUT(ConvertSource, width, 376);
FX_LAYOUT(ConvertSource, depth, 380);
FX_LAYOUT(ConvertSource, formatId, 382);
FX_LAYOUT(ConvertSource, rowOrder, 388);
FX_LAYOUT(ConvertSource, bytesPerRow, 392);
FX_LAYOUT(ConvertSource, part, 404);
FX_LAYOUT(ConvertSource, hOwnDib, 408);
FX_LAYOUT(ConvertSource, readerState, 416);
FX_LAYOUT(ConvertSource, stream, 432);
FX_LAYOUT(ConvertSource, open, 440);
FX_LAYOUT(ConvertSource, getPalette, 496);
FX_LAYOUT(ConvertSource, priv, 504);
FX_LAYOUT(ConvertSource, result, 512);
FX_LAYOUT(ConvertSource, titleHeader38, 532);
FX_LAYOUT(ConvertSource, maskBuffer, 352);
FX_LAYOUT(ConvertSource, maskBufferSize, 368);
FX_LAYOUT(ConvertSource, resume, 424);
static_assert(sizeof(ConvertSource) == 536, "ConvertSource size");
static_assert(sizeof(FxResumeRecord) == 16408, "FxResumeRecord size");

FX_LAYOUT(ConvertTarget, depth, 18);
FX_LAYOUT(ConvertTarget, path, 20);
FX_LAYOUT(ConvertTarget, resultDib, 280);
FX_LAYOUT(ConvertTarget, sourceCopyLength, 352);
FX_LAYOUT(ConvertTarget, callback, 360);
FX_LAYOUT(ConvertTarget, fillColor, 372);
FX_LAYOUT(ConvertTarget, alpha, 376);
FX_LAYOUT(ConvertTarget, sourceRect, 384);
FX_LAYOUT(ConvertTarget, encodedOutput, 416);
FX_LAYOUT(ConvertTarget, formatId, 428);
FX_LAYOUT(ConvertTarget, caps, 436);
FX_LAYOUT(ConvertTarget, hOwnDib, 448);
FX_LAYOUT(ConvertTarget, stream, 456);
FX_LAYOUT(ConvertTarget, writeRow, 488);
FX_LAYOUT(ConvertTarget, open, 504);
FX_LAYOUT(ConvertTarget, priv, 528);
FX_LAYOUT(ConvertTarget, sourceFlags, 544);
FX_LAYOUT(ConvertTarget, maskBuffer, 496);
FX_LAYOUT(ConvertTarget, maskLength, 536);
static_assert(sizeof(ConvertTarget) == 552, "ConvertTarget size");
#undef FX_LAYOUT
#endif

/* --------------------------------------------------------------- exports */

/* Ordinals: the thirteen built-in enumerators and _intMemoryOpen@16 take
 * 1 to 14 in this order:
 *   1 BMPEnumReadFormats    2 BMPEnumWriteFormats   3 _intMemoryOpen@16
 *   4 FLCEnumReadFormats    5 GIFEnumReadFormats    6 PCXEnumReadFormats
 *   7 PICTEnumWriteFormats  8 TGAEnumReadFormats    9 TGAEnumWriteFormats
 *  10 TIFEnumReadFormats   11 USEREnumReadFormats  12 USEREnumWriteFormats
 *  13 VIIEnumReadFormats   14 VIIEnumWriteFormats
 * then ferrixConvert 18, ferrixEnumReadFormats 19, ferrixEnumWriteFormats 20,
 * intOpen 21, intReadData 22, intClose 23, intWriteData 24, intCreate 25,
 * intSetFillColor 26. */

/* Built-in filter enumerators (exports; the registry lists them in the
 * order BMP, VII, TGA, GIF, TIF, FLC, PCX, USER, then PICT). */
int WINAPI BMPEnumReadFormats(int index, FormatRecord *record);
int WINAPI BMPEnumWriteFormats(int index, FormatRecord *record);
int WINAPI VIIEnumReadFormats(int index, FormatRecord *record);
int WINAPI VIIEnumWriteFormats(int index, FormatRecord *record);
int WINAPI TGAEnumReadFormats(int index, FormatRecord *record);
int WINAPI TGAEnumWriteFormats(int index, FormatRecord *record);
int WINAPI GIFEnumReadFormats(int index, FormatRecord *record);
int WINAPI TIFEnumReadFormats(int index, FormatRecord *record);
int WINAPI FLCEnumReadFormats(int index, FormatRecord *record);
int WINAPI PCXEnumReadFormats(int index, FormatRecord *record);
int WINAPI USEREnumReadFormats(int index, FormatRecord *record);
int WINAPI USEREnumWriteFormats(int index, FormatRecord *record);
int WINAPI PICTEnumWriteFormats(int index, FormatRecord *record);

/* Reads, converts and writes one image.  target may be null: the source is
 * only opened and its geometry, palette count and format id filled.
 * Returns a result code, also stored in source->result.  Holds the library
 * lock for the whole call. */
int WINAPI ferrixConvert(ConvertSource *source, ConvertTarget *target);

/* Callback of the enumeration exports: (record, user value) -> nonzero to
 * go on with the current filter's entries.  Called without the lock. */
typedef int (WINAPI *FxEnumCallback)(FormatRecord *record, LPARAM user);
int WINAPI ferrixEnumReadFormats(FxEnumCallback callback, LPARAM user);
int WINAPI ferrixEnumWriteFormats(FxEnumCallback callback, LPARAM user);

/* ------------------------------------------------------------ handle API */

/* 56-byte information block of an image handle. */
typedef struct FxImageInfo
{
    uint32_t version;        /* 3 */
    uint32_t size;           /* 56 */
    uint32_t flags;          /* 0x400: the reader reports rows in reverse order */
    uint32_t kind;           /* 2 plain, 3 crawl, 4 roll, 6 title page, 0xFFF0 title animation */
    uint32_t depth;
    uint32_t readerValue2;   /* the title container's record word times 2 */
    uint32_t imageBytes;     /* depth / 8 x height x width */
    uint32_t width;
    uint32_t height;
    uint32_t frameWidth;     /* rolls: summed height; crawls: summed width */
    uint32_t frameHeight;
    uint32_t readerValueA;   /* header value at offset 38 of a title image */
    uint32_t readerValueB;   /* the title container's record word */
    uint32_t frameCount;     /* parts of a roll or crawl */
} FxImageInfo;
#ifdef __cplusplus
static_assert(sizeof(FxImageInfo) == 56, "FxImageInfo size");
#endif

typedef struct FxImage FxImage;   /* opaque image handle */

/* Opens an image file; info (may be null) receives the information block
 * when its second word holds its size.  Returns null when the file cannot
 * be read. */
FxImage *WINAPI intOpen(const char *path, FxImageInfo *info);
/* Opens an image held in memory; memoryType 1-4 title images, 5 BMP, 6 TGA,
 * 7 PCX, other: the driver's memory rules.  Exported as "_intMemoryOpen@16". */
FxImage *WINAPI intMemoryOpen(const void *memory, DWORD length, DWORD memoryType, FxImageInfo *info);
/* mode 0 information block; 2 whole image scaled into width x height;
 * 3 columns [position, position + width); 4 rows [position, position + height).
 * Buffer rows are 32-bit pixels, bytesPerRow apart; flag 4 = bottom-up.
 * Returns bytes read or needed, or a negative result code. */
int WINAPI intReadData(FxImage *image, int mode, int position, void *buffer, int bytesPerRow,
                       int bufferSize, int width, int height, DWORD flags);
int WINAPI intClose(FxImage *image);
/* Appends 32-bit rows to the handle's file; returns width x height x 4 or -1. */
int WINAPI intWriteData(FxImage *image, const void *pixels, int bytesPerRow, int ignored1,
                        int width, int height, int ignored2);
FxImage *WINAPI intCreate(const char *path, int ignored);
DWORD WINAPI intSetFillColor(FxImage *image, DWORD colour);

#ifdef __cplusplus
}
#endif

#endif /* FERRIX_H */
