// FX script: the readable text form of an effect (an optional header block,
// then the paths and the keyframes of each path).  The writer's output is
// the canonical form; the reader is forgiving (keywords identify values,
// unknown words and punctuation are skipped).
//
// Both run on the caller's thread; the writer's calls must not overlap.
#pragma once

#include <cstdint>

#include "fxmodel.h"

struct FxHeader {
    int32_t version;
    int32_t flags;
    char description[64];
    int32_t virtualWidth, virtualHeight;
    int32_t markIn, markOut, clipLength;
    int32_t whoAmI;
    char renderFile[260];
    int32_t timeStamp;
    int32_t thumbnailFrame;
};
static_assert(sizeof(FxHeader) == 364, "FxHeader is 364 bytes");

// The in-line part of an open buffered file: the reader takes bytes from
// it directly and asks the library (_bfGetc) only when none are left.
struct FxBufferedFile {
    uint32_t flags;       // bit 0: end of file reached
    uint8_t *readPtr;
    uint32_t left;        // bytes left at readPtr
};

// Slots of the buffered-file library; empty until it is bound.
struct FxStolidSlots {
    int(__cdecl *bfWrite)(FxBufferedFile *file, const void *data, int length);
    int(__cdecl *bfGetc)(FxBufferedFile *file);   // _bfGetc: next byte or -1
    FxBufferedFile *(__cdecl *bfOpenFile)(const char *name);
    void(__cdecl *bfDestroy)(FxBufferedFile *file);
};
extern FxStolidSlots g_fxStolid;
// Binds "stolid.dll" by name on first use (never released); 1 when bound.
int FxBindStolid();

// Mode word of parsefx.
constexpr uint32_t FXS_FILE = 0, FXS_MEMORY = 1, FXS_BUFFERED = 2;
constexpr uint32_t FXS_KEEP_PATHS = 0x40000000u;
constexpr uint32_t FXS_PASTE = 0x80000000u;

// Reads FX script from a file name (kind 0), NUL-terminated text (1) or an
// open buffered file (2) into the path list `first` (re-using its paths and
// keyframes, appending what is missing), filling `header` when given.
// 1 when at least one keyframe was read; a header-only text gives 0 with
// the header filled.
int parsefx(const void *source, FxPath *first, FxHeader *header, uint32_t mode);

// Sink kinds of the writer.
constexpr int FXW_FILE = 0, FXW_BUFFER = 1, FXW_BUFFERED = 2, FXW_COUNT = 3;

// Writes the effect as FX script; returns the number of characters written
// (kind 1 stores a NUL after them, not counted); 0 for bad arguments.
int WriteFxScript(void *target, FxPath *first, FxHeader *header, int kind);
// Into `buffer` when given (returns the count); without one, the size to
// reserve including the NUL.
int WriteFxScriptText(FxPath *first, FxHeader *header, char *buffer);

struct FxSink;
void WriteKeyframeScript(FxSink *sink, FxKeyframe *kf, int pathNumber, int keyNumber, uint32_t pathFlags);

// Limits of the text form.
constexpr int FXS_TOKEN_MAX = 254;
