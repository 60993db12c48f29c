// Data requests answered by the engine's output paths: the wireframe text
// dump into a named file and realtime DVE descriptions into a host's
// structured storage.  Both render every frame of the effect in a view
// made for the request at the host's frame size.
#include <cstdint>
#include <cstring>
#include <string>

#include "ferrix.h"
#include "fxbind.h"
#include "fxhost.h"
#include "fxmedia.h"
#include "fxoutput.h"
#include "fxrtdve.h"
#include "fxwin32.h"
#include "fxview.h"

namespace {

struct OutputView {
    FxView *view = nullptr;
    OutputView(int width, int height)
    {
        if (width <= 0 || height <= 0) return;
        int32_t d[13] = {};
        d[0] = width;
        d[1] = height;
        SIZE client = {width, height};
        view = CreateView(d, nullptr, VIEW_NO_LAYER, nullptr, &client, nullptr);
    }
    ~OutputView()
    {
        if (view) DestroyView(view);
    }
};

int FrameWidth(const FxInstance *inst)
{
    return inst->frameWidth > 0 ? inst->frameWidth : 720;
}
int FrameHeight(const FxInstance *inst)
{
    return inst->frameHeight > 0 ? inst->frameHeight : 486;
}

// A memory buffered file of the buffered-file library, growing as it is
// written; its bytes read back whole.
struct MemoryText {
    FxBufferedFile *file = nullptr;
    MemoryText()
    {
        if (FxBindStolid() && g_fxStolidIo.bfSetMem && g_fxStolidIo.bfRead && g_fxStolidIo.bfSeek)
            file = g_fxStolidIo.bfSetMem(nullptr, 0, 0, 4);
    }
    ~MemoryText()
    {
        if (file && g_fxStolid.bfDestroy) g_fxStolid.bfDestroy(file);
    }
    bool Read(std::string *out)
    {
        const int end = g_fxStolidIo.bfSeek(file, 0, 2);
        if (end < 0) return false;
        out->assign(size_t(end), '\0');
        g_fxStolidIo.bfSeek(file, 0, 0);
        return end == 0 || g_fxStolidIo.bfRead(file, &(*out)[0], end) == end;
    }
};

// Writes `text` to `name`, replacing the file; false leaves no partial file
// behind.
bool WriteWholeFile(const char *name, const std::string &text)
{
    HANDLE f = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
    CloseHandle(f);
    if (!ok) DeleteFileA(name);
    return ok;
}

// A file name the caller's memory holds with its NUL within MAX_PATH.
bool NameOf(const void *data, char *out)
{
    const char *s = static_cast<const char *>(data);
    MEMORY_BASIC_INFORMATION mi;
    for (size_t i = 0; i < MAX_PATH; ++i) {
        if ((reinterpret_cast<uintptr_t>(s + i) & 0xFFF) == 0 || i == 0) {
            if (!VirtualQuery(s + i, &mi, sizeof mi) || mi.State == MEM_RESERVE ||
                (mi.State == MEM_COMMIT && (mi.Protect & (PAGE_GUARD | PAGE_NOACCESS))))
                return false;
        }
        out[i] = s[i];
        if (!s[i]) return i > 0;
    }
    return false;
}

}  // namespace

INT_PTR FxWireframeRequest(FxInstance *inst, FxRequest &r)
{
    if (r.unit != FXM_TEXT || !r.data) return 0;
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !e->first) return 0;
    char name[MAX_PATH];
    if (!NameOf(r.data, name)) return 0;
    OutputView v{FrameWidth(inst), FrameHeight(inst)};
    MemoryText text;
    if (!v.view || !text.file) return 0;
    if (RenderWireFrame(v.view, e->first, text.file) == -1) return 0;
    std::string bytes;
    if (!text.Read(&bytes)) return 0;
    return WriteWholeFile(name, bytes) ? 1 : 0;
}

INT_PTR FxRealtimeParamsRequest(FxInstance *inst, FxRequest &r)
{
    if (r.unit != FXM_PARAMS || !r.data) return 0;
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !e->first) return 0;
    const uint32_t kind = r.code == FXD_REALTIME_PARAMS ? RT_MATRIX : RT_LAYERED;
    IStorage *root = static_cast<IStorage *>(r.data);
    // The sub-storages carry the class the host gave its own storage.
    STATSTG st;
    std::memset(&st, 0, sizeof st);
    if (FAILED(root->Stat(&st, STATFLAG_NONAME))) return 0;

    OutputView v{FrameWidth(inst), FrameHeight(inst)};
    if (!v.view) return 0;
    FxRtJob rt = {};
    RtWriter *w = CreateRealtimeParam(kind, root, st.clsid, &rt);
    if (!w) return 0;
    FxRenderJob job;
    std::memset(&job, 0, sizeof job);
    job.width = FrameWidth(inst);
    job.height = FrameHeight(inst);
    job.frameRate = inst->frameRate;
    job.instance = inst;
    if (inst->hostDuration > 0) job.rangeEnd = inst->hostDuration;
    RtPrepareRenderJob(&job, kind);
    FxRtRenderContext ctx = {w, inst->hostKind, 0};
    job.user = &ctx;
    job.object = RealtimeFrameCallback;
    const int result = RenderFrames(v.view, e->first, nullptr, &job);
    DeleteRealtimeParam(w);
    return result == -1 ? 0 : 1;
}

namespace {

// Frames of a request's size word: from (low half) and to (high half).
void FrameRange(const FxRequest &r, int *from, int *to)
{
    *from = int(r.second & 0xFFFF);
    *to = int((r.second >> 16) & 0xFFFF);
}

// Renders the effect's fields into a realtime description of `kind` over
// the caller's block, or, without a block to write into, answers in the
// size word the bytes the description needs.
bool RenderRealtime(FxInstance *inst, FxEffect *e, FxRequest &r, RtParamBlock *output, uint32_t flags,
                    uint32_t kind, double from, double to, int fields)
{
    if (!output || (kind == RT_MATRIX_MEMORY && !output->buffer)) {
        const int64_t bytes = GetRealtimeParamSize(output, fields, kind);
        if (bytes < 0) return false;
        r.second = uintptr_t(bytes);
        return true;
    }
    if (!e || !e->first) return false;
    OutputView v{FrameWidth(inst), FrameHeight(inst)};
    if (!v.view) return false;
    FxRtJob rt = {};
    RtWriter *w = CreateRealtimeParamEx(kind, output, &rt);
    if (!w) return false;
    FxRenderJob job;
    std::memset(&job, 0, sizeof job);
    job.flags = flags | 0x12002;
    job.width = FrameWidth(inst);
    job.height = FrameHeight(inst);
    job.frameRate = inst->frameRate;
    job.instance = inst;
    job.fromIndex = int32_t(2 * from);
    job.toIndex = int32_t(2 * to - 1);
    job.stepCount = 2 * (e->endFrame > 0 ? e->endFrame : (inst->hostDuration > 0 ? inst->hostDuration : int(to)));
    job.rangeEnd = e->endFrame > 0 ? e->endFrame : inst->hostDuration;
    job.rangeMode = int32_t((e->flags >> 28) & 3);
    RtPrepareRenderJob(&job, kind);
    FxRtRenderContext ctx = {w, inst->hostKind, 0};
    job.user = &ctx;
    job.object = RealtimeFrameCallback;
    const int result = RenderFrames(v.view, e->first, nullptr, &job);
    DeleteRealtimeParam(w);
    return result != -1;
}

}  // namespace

bool RenderRealtimeSequence(HWND, FxInstance *inst, FxEffect *e, FxRequest &r, RtParamBlock *output, uint32_t flags)
{
    int from, to;
    FrameRange(r, &from, &to);
    if (to < from) return false;
    return RenderRealtime(inst, e, r, output, flags, RT_MATRIX_MEMORY, from, to, 2 * (to - from));
}

bool RenderRealtimeStill(HWND, FxInstance *inst, FxEffect *e, FxRequest &r, RtParamBlock *output, uint32_t flags)
{
    int from, to;
    FrameRange(r, &from, &to);
    if (to < from) return false;
    return RenderRealtime(inst, e, r, output, flags, RT_PARAM_LIST, 1.0, 1.0, 2 * (to - from));
}

INT_PTR FxFrameExportRequest(FxInstance *inst, WPARAM phase, FxRequest &r)
{
    if (!(phase & (FXP_SIZE | FXP_TRANSFER))) return 0;
    FxEffect *e = FxCurrentEffect(inst);
    RtParamBlock *block = static_cast<RtParamBlock *>(r.data);
    // A size query only sizes; a transfer needs the block to write into.
    if ((phase & FXP_TRANSFER) && !block) return 0;
    RtParamBlock *output = (phase & FXP_TRANSFER) ? block : nullptr;
    const uint32_t flags = inst->hostKind == 0x2C950000 ? 0x100000 : 0;
    if (!output && block) {
        // The size of the description the caller's block will take.
        int from, to;
        FrameRange(r, &from, &to);
        if (to < from) return 0;
        const uint32_t kind = r.code == FXD_FRAME_EXPORT ? RT_MATRIX_MEMORY : RT_PARAM_LIST;
        const int64_t bytes = GetRealtimeParamSize(block, 2 * (to - from), kind);
        if (bytes < 0) return 0;
        r.second = uintptr_t(bytes);
        return 1;
    }
    const bool ok = r.code == FXD_FRAME_EXPORT ? RenderRealtimeSequence(nullptr, inst, e, r, output, flags)
                                               : RenderRealtimeStill(nullptr, inst, e, r, output, flags);
    return ok ? 1 : 0;
}

bool FxExportMovieFile(FxInstance *inst, HWND window, const char *fileName, LONG_PTR movie, int lastFrame,
                       uint32_t flags)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !e->first) return false;
    if (!g_fxVexacodec.EncodeStart) BindLibraries(GetFxInstance(), FXLIB_VEXACODEC);
    // A caller's movie is written through the movie library.
    if (movie && !g_fxVexa.EncodeStart) BindLibraries(GetFxInstance(), FXLIB_VEXA);
    OutputView v{FrameWidth(inst), FrameHeight(inst)};
    if (!v.view) return false;
    FxMovieSource src;
    std::memset(&src, 0, sizeof src);
    src.render.view = v.view;
    src.render.first = e->first;
    src.render.currentFrame = e->currentFrame;
    // The movie runs to the given last frame, else the effect's length.
    src.render.length = lastFrame > 0 ? lastFrame : (e->endFrame ? e->endFrame : inst->hostDuration);
    src.render.flagWord = e->flags;
    src.render.frameRate = inst->frameRate;
    src.render.invertFields = (inst->displayFlags & FXDF_INVERT_FIELDS) ? 1 : 0;
    src.render.instance = inst;
    // The export shows its progress box and can be cancelled from it.
    src.render.progress = FxEditorRenderProgress();
    src.defaultWidth = FrameWidth(inst);
    src.defaultHeight = FrameHeight(inst);
    src.fieldOrder = inst->fieldOrder;
    src.thumbnailFrame = e->thumbnailFrame;
    src.iniFile = inst->iniPath;
    src.iniSection = inst->own ? inst->own->name : "";
    return ExportMovieWithNorm(window, &src, movie, movie ? nullptr : fileName, 0, 0, flags);
}

INT_PTR FxMovieRequest(FxInstance *inst, FxRequest &r)
{
    if ((r.unit != FXM_FILE && r.unit != FXM_FILE_OPTIONS) || !r.data) return 0;
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !e->first) return 0;
    char name[MAX_PATH];
    if (r.unit == FXM_FILE && !NameOf(r.data, name)) return 0;
    int from, to;
    FrameRange(r, &from, &to);
    const bool ok = r.unit == FXM_FILE
                        ? FxExportMovieFile(inst, nullptr, name, 0, to, 0)
                        // Options of the caller: a movie handle of the movie library.
                        : FxExportMovieFile(inst, nullptr, nullptr, LONG_PTR(r.data), to, 0);
    return ok ? 1 : 0;
}

INT_PTR FxImageSequenceRequest(FxInstance *inst)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !e->first) return 0;
    // The directory dialog is the UI toolkit's, the type list and the
    // writers the image filters'; both are held only for the request.
    constexpr DWORD kLibraries = FXLIB_TUNDRIX | FXLIB_FERRIX;
    BindLibraries(GetFxInstance(), kLibraries);
    bool ok = false;
    {
        OutputView v{FrameWidth(inst), FrameHeight(inst)};
        if (v.view)
            ok = ExportSequenceWithDialog(inst->hostWindow, v.view, e->first, FrameWidth(inst), FrameHeight(inst));
    }
    FreeLibraries(kLibraries);
    return ok ? 1 : 0;
}

INT_PTR FxThumbnailRequest(FxInstance *inst, FxRequest &r, int width, int height)
{
    FxEffect *e = FxCurrentEffect(inst);
    // The data is the caller's conversion target of the image filters.
    if (r.unit != FXM_WIDE || !e || !e->first || width <= 0 || height <= 0 ||
        !FxHostMemory(r.data, sizeof(ConvertTarget), true))
        return 0;
    constexpr DWORD kLibraries = FXLIB_PIXMOOR | FXLIB_FERRIX;
    BindLibraries(GetFxInstance(), kLibraries);
    bool ok = false;
    const FxGraphicsSlots &G = g_fxGraphics;
    if (G.CreateLayer && G.DeleteLayer) {
        if (Layer *layer = G.CreateLayer(width, height, 1)) {
            // The effect's thumbnail frame, else the frame it shows.
            const int frame = e->thumbnailFrame > 0 ? e->thumbnailFrame : 0;
            ok = FxRenderToLayer(inst, layer, width, height, frame) &&
                 ConvertLayer(layer, static_cast<FxConvertTarget *>(r.data));
            G.DeleteLayer(layer);
        }
    }
    FreeLibraries(kLibraries);
    return ok ? 1 : 0;
}
