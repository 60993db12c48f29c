// Realtime DVE descriptions: an effect translated, frame by frame, into the
// parameter streams of an outside realtime video-effects engine instead of
// pixels.  A description lives in OLE structured storage (sub-storages and
// streams inside a storage the host hands over), may also be pushed to an
// output connection of the engine, or collected in a caller's memory block.
//
// Two writers share one interface:
//   - the matrix writer (RT_MATRIX, RT_MATRIX_MEMORY): one sub-storage
//     "Wishkit.DVE 1" with an "FX_HEADER" stream (stream header, media type,
//     1008-byte parameter catalogue, trailer) and an "FX_DATA" stream of one
//     184-byte sample per frame;
//   - the layered writer (RT_LAYERED): one sub-storage per layer (2D-DVE,
//     Mask, ChromaMask, PAINT, Procamp, TBC and, for effects with the fader
//     flag, Fader), each with its header and a fixed-size record per frame.
//
// The frame loop is the renderer's: a writer is begun once, handed every
// object of every frame through WriteFrame, and ended.  Everything runs on
// the caller's thread; a writer must not be shared between threads.  All
// records below are byte-exact (little-endian, fixed-width fields).
#pragma once

#include <objbase.h>

#include <cstddef>
#include <cstdint>

#include "fxmodel.h"

// ---------------------------------------------------------------- kinds

constexpr uint32_t RT_LAYERED = 0x10000;
constexpr uint32_t RT_MATRIX = 0x20000;
constexpr uint32_t RT_MATRIX_MEMORY = 0x20001;   // samples into a caller's block
constexpr uint32_t RT_PARAM_LIST = 0x30001;      // over a caller's entry list

// An output connection answers this when it wants to be reset before it
// takes a new format or sample; every other error of it is ignored.
constexpr HRESULT RT_E_RESET_WANTED = HRESULT(0x80040226);
// Requests of this host kind keep their output connection running at the end.
constexpr uint32_t RT_HOST_KEEPS_OUTPUT = 0x2C930000;

constexpr uint32_t RT_SAMPLE_SIZE = 184;
constexpr uint32_t RT_FORMAT_SIZE = 1008;
constexpr int32_t RT_TYPE_PARAMS = 9;            // N: effect-type parameter slots
constexpr int32_t RT_SCALE = 10000;

// Position flag of the job: a frame without objects.
constexpr uint32_t RT_EMPTY_FRAME = 0x40;
// Attribute-mode bits of the effect's first keyframe.
constexpr int32_t RT_FADER_FLAG = 0x1;
constexpr int32_t RT_CHROMA_MASK_FLAG = 0x2;

// ---------------------------------------------------------------- records

struct RtMediaType;

// The engine's output connection: a COM object whose fourth, fifth, seventh
// and eighth operations take a format, a sample, a reset and a stop.  The
// sixth hands out a format block the connection already holds (S_OK and a
// block of at least RT_FORMAT_SIZE bytes), which the writer then fills
// instead of allocating its own.
struct IRtOutput : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(const RtMediaType *type, const void *format) = 0;
    virtual HRESULT STDMETHODCALLTYPE Deliver(const void *sample, uint32_t size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFormatBlock(void **block) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
};

#pragma pack(push, 4)
// First 60 bytes of every "FX_HEADER" stream.
struct RtStreamHeader {
    GUID majorType;
    GUID subtype;
    uint32_t version;        // 2 for the matrix description, 1 for a layer
    uint32_t one;
    uint32_t rateNumerator;
    uint32_t rateDenominator;
    uint32_t frameCount;
    uint32_t sampleSize;
    uint32_t one2;
};
static_assert(sizeof(RtStreamHeader) == 60, "stream header is 60 bytes");

// The media-type record offered to the output connection (and stored).
struct RtMediaType {
    GUID majorType;
    GUID subtype;
    uint32_t fixedSize;
    uint32_t temporalCompression;
    uint32_t sampleSize;
    GUID formatType;
    uint32_t reserved;
    uint32_t formatSize;
    uint32_t formatPointer;  // low word of the block's address; meaningless when stored
};
static_assert(sizeof(RtMediaType) == 72, "media type is 72 bytes");

struct RtParamGroup {
    GUID id;
    uint32_t zero;
    uint32_t count;
    uint32_t first;
    uint32_t zero2, zero3;
};
static_assert(sizeof(RtParamGroup) == 36, "parameter group is 36 bytes");

// The parameter catalogue of the matrix description.
struct RtFormatBlock {
    uint32_t size;           // RT_FORMAT_SIZE
    uint32_t one;
    uint32_t paramCount;     // N + 37
    GUID params[RT_TYPE_PARAMS + 37];
    uint32_t groupCount;     // 7
    RtParamGroup groups[7];
    uint32_t pad;
};
static_assert(sizeof(RtFormatBlock) == RT_FORMAT_SIZE, "format block is 1008 bytes");

struct RtTrailer {
    uint32_t two;
    uint32_t frameCount;
};
static_assert(sizeof(RtTrailer) == 8, "trailer is 8 bytes");

// One sample of the matrix description (46 words).
struct RtMatrixSample {
    int32_t matrix[12];      // m00 m01 m03 m10 m11 m13 m20 m21 m23 m30 m31 m33, x 10000
    int32_t crop[6];
    int32_t visibility[4];   // (100 - transparency) x 100, 100, 0, 0
    int32_t edge[6];
    int32_t typeParams[RT_TYPE_PARAMS];
    int32_t offset[8];       // mode, colour (3), x x 10, -y, opacity x 100, 1
    int32_t spare;
};
static_assert(sizeof(RtMatrixSample) == RT_SAMPLE_SIZE, "matrix sample is 184 bytes");

// Layer records of the layered description.  Windows are fixed 8.24
// fractions of the frame.
struct RtDveRecord {
    int32_t zero;
    int32_t x, y, w, h;      // placement, 8.24
    int32_t borderWidth;     // pixels
    uint32_t borderColour;   // packed, see RtPackColour
    uint32_t shadowColour;
    int32_t shadow[4];       // x, y, width, height in pixels, 16.16
};
static_assert(sizeof(RtDveRecord) == 48, "2D-DVE record is 48 bytes");

struct RtWindowRecord {      // Mask and ChromaMask
    int32_t zero;
    int32_t left, top, width, height;
};
static_assert(sizeof(RtWindowRecord) == 20, "window record is 20 bytes");

struct RtPaintRecord {
    uint32_t monoFlags;
    uint32_t monoColour;
    uint16_t posterize;
    uint16_t zero;
    uint16_t mosaicWidth;
    uint16_t mosaicHeight;
};
static_assert(sizeof(RtPaintRecord) == 16, "PAINT record is 16 bytes");

struct RtProcampRecord {
    int32_t zero;
    int32_t videoGain, videoSetup, chromaGain, hue;   // 16.16
};
static_assert(sizeof(RtProcampRecord) == 20, "Procamp record is 20 bytes");

struct RtPairRecord {        // TBC and Fader
    int32_t a, b;
};
static_assert(sizeof(RtPairRecord) == 8, "TBC and Fader records are 8 bytes");
#pragma pack(pop)

// ---------------------------------------------------------------- job

// What a writer reads of the render job.  The renderer fills it per object
// call: frame count and rate once, position flags, object number, corners
// (pixels, from the evaluated state) and the state for each call.
struct FxRtJob {
    double width, height;    // target size in pixels (the matrix writer sets 8 x 6)
    int32_t frameRate;       // frames per second
    uint32_t originMode;     // the job's mode word
    int32_t frameCount;
    int32_t currentIndex;
    uint32_t positionFlags;  // RT_EMPTY_FRAME for a frame without objects
    uint32_t objectNumber;   // path number of the object handed over
    double x0, y0;           // top-left corner, pixels
    double topDx, leftDy;    // top-edge dx and left-edge dy, pixels
    FxKeyframe *state;       // evaluated state of the object, or none
    FxPath *firstObject;     // the effect's first object
    uint32_t hostKind;       // the host kind of the data request
};

// What the matrix writer needs of an object beyond its keyframes: its
// mesh-effect type (from the mesh-effect table, -1 for none) and its edge.
struct FxRtObjectInfo {
    int32_t meshType;
    int32_t edgeColour;      // 0x00RRGGBB, or negative for none
    int32_t edgeKind;
    double edgeWidth;
};
// Filled by the mesh-effect module; while empty every object has no mesh
// effect and no edge colour.
extern void (*g_fxRtObjectInfo)(const FxPath *path, FxRtObjectInfo *info);

// ---------------------------------------------------------------- writers

// A caller's memory block for RT_MATRIX_MEMORY (samples appended while room
// remains) and, for RT_PARAM_LIST, its list of entries.
struct RtParamEntry {
    uint32_t type;           // 0 or 1
    uint32_t size;           // bytes per frame; 0 = 72 (type 0) or 104 (type 1)
    void *data;              // the caller's buffer for this entry
    uint32_t count;          // records written so far
    uint32_t reserved;
};
static_assert(sizeof(RtParamEntry) == 24, "parameter entry is 24 bytes");

struct RtParamBlock {
    uint32_t formatSize;     // set to 1008 by GetRealtimeParamSize for RT_MATRIX_MEMORY
    uint32_t entryCount;
    RtParamEntry *entries;   // RT_PARAM_LIST
    uint8_t *buffer;         // RT_MATRIX_MEMORY: where samples go
    uint32_t capacity;       // bytes
    uint32_t used;           // bytes written
};

// The writer interface, in the order of its operation table.
class RtWriter {
public:
    virtual int BeginDescription(FxRtJob *job) = 0;
    virtual int WriteFrame(FxRtJob *job) = 0;
    virtual int RestartAndWrite(FxRtJob *job) = 0;
    virtual int Write(FxRtJob *job) = 0;
    virtual int EndDescription(FxRtJob *job) = 0;
    virtual ~RtWriter() {}
    uint32_t kind = 0;
};

// Kind RT_LAYERED or RT_MATRIX over the host's root storage (the writer
// holds its own reference while it lives), sub-storages stamped with
// `clsid`.  Sets the job's mode word (5 layered, 0 matrix) and, for the
// matrix kind, its extent to 8 x 6.  None for any other kind.
RtWriter *CreateRealtimeParam(uint32_t kind, IStorage *root, const CLSID &clsid, FxRtJob *job);
// RT_MATRIX_MEMORY over `block`'s buffer, or RT_PARAM_LIST over its entries.
RtWriter *CreateRealtimeParamEx(uint32_t kind, RtParamBlock *block, FxRtJob *job);
// For the realtime renderer: the output connections come from a list of
// {subtype, connection} items ending at the first without a connection.
// Kinds RT_LAYERED, RT_MATRIX and (with `block`) RT_MATRIX_MEMORY.
struct RtOutputItem {
    GUID subtype;
    IRtOutput *connection;
};
static_assert(offsetof(RtOutputItem, connection) == 16, "output item: subtype, then the connection");
RtWriter *CreateRealtimeParamFromList(const RtOutputItem *list, FxRtJob *job, uint32_t kind, IStorage *root,
                                      const CLSID &clsid, RtParamBlock *block);
// Bytes a description of `frames` frames needs; 0 for other kinds.
int64_t GetRealtimeParamSize(RtParamBlock *block, int frames, uint32_t kind);
void DeleteRealtimeParam(RtWriter *writer);

// ---------------------------------------------------------------- helpers

// Frames per second as the description's field-rate pair.
void RtFrameRate(int fps, uint32_t *numerator, uint32_t *denominator);
// RGB (0x00RRGGBB) and opacity 0..1 as alpha << 24 | Y << 16 | Cb << 8 | Cr.
uint32_t RtPackColour(uint32_t rgb, double opacity);
int32_t RtFixed824(double v);
int32_t RtFixed1616(double v);

// Records of one object (or of an empty frame when `state` is null or the
// job is not placed).  The procamp and TBC builders store their clamped
// values back into the state.
void BuildDveRecord(const FxRtJob *job, const FxKeyframe *state, int32_t attributeMode, RtDveRecord *out);
void BuildMaskRecord(const FxRtJob *job, const FxKeyframe *state, int32_t attributeMode, RtWindowRecord *out);
void BuildChromaMaskRecord(const FxRtJob *job, const FxKeyframe *state, int32_t attributeMode, RtWindowRecord *out);
void BuildPaintRecord(const FxKeyframe *state, RtPaintRecord *out);
void BuildProcampRecord(FxKeyframe *state, RtProcampRecord *out);
void BuildTbcRecord(FxKeyframe *state, RtPairRecord *out);
void BuildFaderRecord(const FxKeyframe *state, RtPairRecord *out);

// The catalogue of effect types known to the realtime engine: per type its
// sub-kind, whether the keyframe chooses the sub-kind, and its parameter
// identifiers (beyond the two every type carries).
struct RtEffectType {
    int32_t subKind;
    int32_t variable;
    int32_t first;           // index into the identifier table
    int32_t count;           // identifiers of the type including the two common ones
};
const RtEffectType *RtEffectTypeAt(int index);
void BuildFormatBlock(RtFormatBlock *block, int typeIndex, const FxRtObjectInfo &firstObject);

// ---------------------------------------------------------------- renderer

struct FxRenderJob;

// What the realtime frame converter finds in the render job's user word.
struct FxRtRenderContext {
    RtWriter *writer;
    uint32_t hostKind;       // the data request's host kind
    LONG_PTR codec;          // packed frames: the codec handle the request opened
};

// The writer's view of the render job at this call.
void RtJobFromRender(const FxRenderJob *job, FxRtJob *out);
// Gives the render job what the writer kind asks of it: the matrix kind an
// extent of 8 x 6 with mode word 0, the layered kind mode word 5.
void RtPrepareRenderJob(FxRenderJob *job, uint32_t kind);
// The realtime per-frame converter, the render job's object callback: the
// start step begins the description, every per-object (and empty-frame)
// call writes it, the end step ends it; other steps answer 1.  0 without
// a context or writer.
int RealtimeFrameCallback(int step, FxRenderJob *job);

// ---------------------------------------------------------------- packed frames

constexpr uint32_t RT_PACKED_BLOCK = 64 * 1024;
constexpr uint32_t RT_PACKED_CROP = 5120;     // leads the crop-window chunk
constexpr uint32_t RT_PACKED_DVE = 6144;      // leads the 2D-DVE chunk
constexpr uint32_t RT_PACKED_CLOSE = 0xC0000026;

// The codec's packed-frame entry: (codec, block, 0).  When empty, ordinal
// 107 of the bound codec library is called; with neither the frames are
// built and dropped.
extern LONG_PTR(WINAPI *g_fxRtPackFrame)(LONG_PTR codec, void *block, LONG_PTR zero);

// The crop window of a packed frame.
void BuildCropWindowRecord(const FxRtJob *job, const FxKeyframe *state, RtWindowRecord *out);
// The render job's object callback for packed thumbnail frames: at steps 0
// and 5 each object's crop window and 2D-DVE record go, as chunks of an
// in-memory buffered file, to the codec.  Always 1.
int WritePackedFrame(int step, FxRenderJob *job);
