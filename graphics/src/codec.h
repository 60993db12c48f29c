/*
 * Block-transform image codec: strips of up to 16 lines of 32-bit pixels
 * coded as a luma plane and two colour-difference planes at half
 * resolution, 8x8 sequency-ordered Walsh-Hadamard blocks, fixed quantiser
 * steps and a fixed canonical prefix code for runs and levels.
 *
 * Strip stream: four segments back to back (luma rows 0-7, luma rows 8-15,
 * colour A = red minus luma, colour B = green minus luma).  A segment is the
 * DC level of each block (signed 16-bit little-endian words) followed by a
 * bit stream of 16-bit little-endian words, most significant bit first.
 *
 * The coder works in the process-wide codec work area allocated at
 * start-up: one coding at a time, on any one thread.  A strip is at most
 * 1024 pixels wide.
 */
#ifndef PIXMOOR_CODEC_H
#define PIXMOOR_CODEC_H

#include <windows.h>
#include <stddef.h>
#include "pixmoor.h"

#ifdef __cplusplus
extern "C" {
#endif

#define CODEC_MAX_WIDTH   1024
#define CODEC_STRIP_LINES 16
#define CODEC_STRIP_LIMIT 65536   /* bytes a coded strip may take */

/* Line state of the HKF scanlines. */
typedef struct HkfScanlineState {
    LONG result;        /* encode: bytes of the strip finished by this call; decode: 1 when a line was written */
    LONG second;        /* encode: 1 when the line was taken; decode: bytes consumed by a strip decoded now */
    LONG width;
    LONG height;
    LONG linesDone;
    DWORD *strip;       /* width x 16 pixels */
    LONG lineBytes;     /* width x 4 */
    LONG lumaBlocks;    /* per luma segment: 2 x ceil(width / 16) */
    LONG colourBlocks;  /* per colour segment: ceil(width / 16) */
} HkfScanlineState;

/* Prefix code of one symbol (run x 16 + size); length 0 = no such symbol. */
typedef struct RunLevelCode {
    WORD code;
    BYTE length;
} RunLevelCode;

/* Builds the tables once (in the work area); 0 when there is no work area. */
LONG codec_setup(void);
const RunLevelCode *codec_code_table(void);   /* 256 entries */
const BYTE *codec_zigzag(void);               /* 64 entries: zig-zag position -> r * 8 + c */

/* The sequency-ordered 8-point Walsh-Hadamard transform, in place, on
 * values stride elements apart. */
void codec_wht8(int *v, int stride);

/* Codes `lines` (1..16) rows of `width` (1..1024) pixels, rows `pitch`
 * pixels apart, into out (at most min(capacity, 65536) bytes).  Returns the
 * stream length, 0 when it does not fit or on bad arguments. */
size_t codec_encode_strip(const DWORD *rows, LONG pitch, LONG width, LONG lines, BYTE *out, size_t capacity);

/* Decodes one strip stream of `width` pixels from at most `length` bytes of
 * input into 16 rows of `width` pixels, `pitch` pixels apart (alpha 255).
 * Returns the bytes consumed, 0 for a truncated or malformed stream. */
size_t codec_decode_strip(const BYTE *in, size_t length, LONG width, DWORD *rows, LONG pitch);

/* Container decoding over a buffer of at most `available` bytes (the
 * header's own size is trusted only up to that).  field: -1 whole layer,
 * 0 or 1 one field of it.  Returns 1 when the directory ended normally,
 * 0 when the buffer was rejected or decoding stopped early. */
LONG vexa_decode(Layer *layer, const BYTE *buffer, size_t available, LONG field);
LONG vexa_decode_records(Layer *layer, const BYTE *buffer, size_t available, LONG fieldWord);

/* Chunk, record and directory types of the containers. */
#define VEXA_RUNS     0x80000001u
#define VEXA_LITERALS 0x80000002u
#define VEXA_TILES    0x80000005u
#define VEXA_ALPHA    0x80000006u
#define VEXA_MIXED    0x80000007u
#define VEXA_SKIP     0x7FFFFFFFu
#define VEXA_REC_SKIP      0xC0000000u
#define VEXA_REC_SPANS     0xC0000001u
#define VEXA_REC_SPANS12   0xC0000012u
#define VEXA_REC_SPANS13   0xC0000013u
#define VEXA_REC_KIND5     0xC000000Au
#define VEXA_REC_KIND4     0xC000000Bu
#define VEXA_REC_FIELD21   0xC0000021u
#define VEXA_REC_FIELD22   0xC0000022u
#define VEXA_RECORD_LIMIT  0x8000000u

/* Span word: bits 0-9 length, 10-19 lines down from the previous span,
 * 20-30 columns right of the previous span's first column (signed),
 * bit 31 the chunk's flag. */
static inline DWORD vexa_span(DWORD length, DWORD down, LONG right, int flag)
{
    return (length & 0x3FF) | ((down & 0x3FF) << 10) | (((DWORD)right & 0x7FF) << 20) | (flag ? 0x80000000u : 0);
}

/* HKF scanlines.  Encoding: offer each line with an output buffer of at
 * least 64 KB; the call that completes a strip (16 lines, or the image's
 * last line) writes the strip stream and reports its length in `result`.
 * Decoding: the call at each strip's first line decodes the stream at
 * `input` (reading no byte past it when it is well formed) and reports the
 * bytes it took in `second`; every call hands out one line.  Widths above
 * 1024 are refused. */
HkfScanlineState *PIXAPI BeginHKFEncodeScanline(LONG width, LONG height);
LONG PIXAPI HKFEncodeScanline(BYTE *output, const DWORD *line, HkfScanlineState *state);
LONG PIXAPI EndHKFEncodeScanline(HkfScanlineState *state);
HkfScanlineState *PIXAPI BeginHKFDecodeScanline(LONG width, LONG height);
LONG PIXAPI HKFDecodeScanline(DWORD *line, const BYTE *input, HkfScanlineState *state);
LONG PIXAPI EndHKFDecodeScanline(HkfScanlineState *state);

/* Containers.  EncodeVexaLayer fills `buffer` (an M32_alloc block of `size`
 * bytes, grown with M32_realloc in 32 KB steps; null: a new block) and
 * returns it, or null (a buffer that could not grow is freed); the caller
 * frees the result with M32_free.  Kinds: 1 differences from `previous` as
 * fill and literal chunks, 2 coded tiles and alpha spans, 3 differences as
 * mixed spans, 4 and 5 differences in the record form (5 from line 1 on).
 * Without `previous` every pixel counts as different.  The decoders draw
 * into the layer's visible pixels only and stop at the first item that
 * would pass the buffer's end. */
BYTE *PIXAPI EncodeVexaLayer(Layer *layer, BYTE *buffer, LONG size, LONG kind, Layer *previous);
LONG PIXAPI DecodeVexa2Layer(Layer *layer, const BYTE *buffer, LONG fieldFlag, LONG field);
LONG PIXAPI DecodeVexaLayer(Layer *layer, const BYTE *buffer);
LONG PIXAPI ZozoreDecodeVexaLayerEx(Layer *layer, const BYTE *buffer, LONG fieldWord);
LONG PIXAPI ZozoreDecodeVexaLayer(Layer *layer, const BYTE *buffer);

#ifdef __cplusplus
}
#endif

#endif
