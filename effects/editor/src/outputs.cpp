// Data requests answered by the engine's output paths: the wireframe text
// dump into a named file and realtime DVE descriptions into a host's
// structured storage.  Both render every frame of the effect in a view
// made for the request at the host's frame size.
#include <cstdint>
#include <cstring>
#include <string>

#include "fxhost.h"
#include "fxoutput.h"
#include "fxrtdve.h"
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
