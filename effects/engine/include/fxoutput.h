// Output paths of the renderer: one frame of an effect into a layer, the
// frames a host asks for into the host's buffer, the wireframe text dump,
// numbered image sequences and the library's error box.
#pragma once

#include "fxrender.h"
#include "fxscript.h"


// The UI toolkit (g_fxTundrix) and the image filters (g_fxFerrix) are
// reached through the binding tables of fxbind.h.

// The module whose string resources ShowErrorBox loads (the effects
// library's; none = the program's).
extern HINSTANCE g_fxResourceModule;

// ---------------------------------------------------------------- effects

// What the output paths need of an effect and of the library instance that
// holds it; the caller fills it from its own records.
struct FxRenderSource {
    FxView *view;
    FxPath *first;
    int32_t currentFrame;        // the editor's current frame, 0 none
    int32_t length;              // the effect's length in frames, 0 = its last keyframe
    uint32_t flagWord;           // bit 31: every object at every time; bits 28-29 range mode
    int32_t frameRate;           // 0 = 30
    int32_t invertFields;        // the InvertFields setting
    void *instance;              // handed to the callbacks
    FxRenderCallback progress;   // the editor's progress step, or none
    FxRenderCallback cancel;     // its cancel poll while the realtime renderer plays
};

// Renders frame `frame` (below 1: the current frame, at least 1) into the
// target at width x height, origin centred.  True unless the render failed.
bool RenderRangeToLayer(const FxRenderSource *source, Layer *target, double width, double height,
                        uint32_t flags, int frame);

// Options of RenderAllFrames.
constexpr uint32_t PLAY_FROM_CURRENT = 0x2;
constexpr uint32_t PLAY_CURRENT_OBJECT = 0x4;
constexpr uint32_t PLAY_NO_UPDATE_RECT = 0x8;
constexpr uint32_t PLAY_CLIP_SAFE = 0x10;
constexpr uint32_t PLAY_BACKWARDS = 0x80;
constexpr uint32_t PLAY_LOOP = 0x100;
constexpr uint32_t PLAY_PING_PONG = 0x200;
constexpr uint32_t PLAY_REALTIME = 0x400;
constexpr uint32_t VIEW_REALTIME = 0x80000;   // the view drives the realtime renderer
// Plays the effect in its view drawn into `window`, paced to real time:
// every object, or with PLAY_CURRENT_OBJECT only `current`.  With
// `realtimeOn` (the FXRDoesRealtime setting) and a view that drives the
// realtime renderer, or PLAY_REALTIME, the realtime renderer plays it.
// Answers the frame to make current: where the render stopped, or the
// last frame when it ran to the end; -1 when nothing could be played.
int RenderAllFrames(HWND window, const FxRenderSource *source, uint32_t options, FxPath *current,
                    bool realtimeOn);

// Words of the host's frame request: record size (40), flag word, width,
// height, a word not used here, frame, step count, row stride in bytes.
enum { FF_SIZE = 0, FF_FLAGS = 1, FF_WIDTH = 2, FF_HEIGHT = 3, FF_FRAME = 5, FF_STEPS = 6, FF_STRIDE = 7 };
constexpr uint32_t FF_FIELD_ROWS = 0x20000;   // the buffer holds one field (half the rows)
// The host's request rendered into a core layer.
bool RenderToHostBuffer(const FxRenderSource *source, Layer *target, const uint32_t *request);
// The same into the host's 32-bit buffer of `bytes` bytes, wrapped as a
// layer for the render; false when the buffer cannot hold the request.
bool RenderToHostPixels(const FxRenderSource *source, void *buffer, size_t bytes, const uint32_t *request);

// ---------------------------------------------------------------- wireframe dump

// Object callback: the header at the start, one group per object and
// step, the closing line at the end; written to the job's user word (a
// buffered file) through g_fxStolid.bfWrite.  Always 1.
int WriteWireFrame(int step, FxRenderJob *job);
// Every frame of the effect dumped into `file`, in frame units (0 to 1
// across the frame).  The renderer's result.
int RenderWireFrame(FxView *view, FxPath *first, FxBufferedFile *file);

// ---------------------------------------------------------------- image sequences

struct SequenceExportContext {
    char directory[MAX_PATH];
    char extension[16];
    int32_t format;              // write format id
    int32_t preview;             // frames are only shown, not written
};

// The write format chosen in the directory dialog's type list (0 none).
extern int32_t g_fxExportType;
constexpr int IDC_EXPORT_TYPE = 1138;
INT_PTR CALLBACK ExportTypeHookProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
int WINAPI AddExportType(FxFormatRecord *record, LPARAM combo);
// `out` (at least 16 characters) takes the first extension of the chosen
// format; 0 stops the walk at it.
int WINAPI FindFormatExtension(FxFormatRecord *record, LPARAM out);

int SaveSequenceFrame(int step, FxRenderJob *job);
bool SaveFrameNumbered(Layer *layer, const char *directory, const char *extension, int format, int number);
bool SaveLayerAsImage(Layer *layer, const char *fileName, int format);
// The layer's 32-bit pixels (rows from the top) converted by the image
// filters into the caller's conversion target (a file, a memory block, a
// bitmap, as the target asks); false when the filters are not bound or
// the conversion fails.
bool ConvertLayer(Layer *layer, FxConvertTarget *target);
// Every frame of the effect, width x height, as fx000001.ext, ... in the
// context's directory (two field steps per frame).  The renderer's result.
int ExportImageSequence(FxView *view, FxPath *first, int width, int height, SequenceExportContext *context);

// The host's image-sequence request: the UI toolkit's directory dialog
// with the export-type list, then every frame written into the chosen
// directory in the chosen format.  True when frames were exported; false
// when the dialog was cancelled, no type was chosen or a library is missing.
bool ExportSequenceWithDialog(HWND owner, FxView *view, FxPath *first, int width, int height);

// ---------------------------------------------------------------- error box

// Title and text are string resource ids (below 0x10000) or texts; the
// text is a format for the further arguments.  The box's answer, or 0 when
// the UI toolkit is not bound.
int ShowErrorBox(HWND window, const char *title, UINT style, const char *text, ...);
void ReportOutOfMemory(const char *where);
