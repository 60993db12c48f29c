// Render and take for a CG link host (host kind 0x2C910000): the effect is
// rendered into the movie file the host names, and "take" hands that file
// to the host through its video service (message 2254).
#include <cstring>

#include "fxeditor.h"
#include "fxhost.h"

namespace {

// Seconds since 1970, as the effect's time stamps count.
int64_t UnixNow()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t t = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return int64_t((t - 116444736000000000ull) / 10000000ull);
}

// The host's target file: the name it writes into the record's first 272
// bytes.  A name without its NUL there is refused.
bool TargetFile(FxInstance *inst, char (&name)[FX_TAKE_NAME])
{
    FxHostDataRecord r;
    std::memset(&r, 0, sizeof r);
    FxCallHost(inst, FXN_GET_DATA, 0, &r);
    const void *end = std::memchr(r.zero, 0, sizeof r.zero);
    if (!end) return false;
    std::memcpy(name, r.zero, sizeof name);
    return name[0] != 0;
}

void Service(FxInstance *inst, uint32_t code, uint32_t first, void *data)
{
    FxVideoFormatQuery q = {code, first, 0, data};
    FxCallHost(inst, FXN_VIDEO_FORMAT, 0, &q);
}

// Hands the rendered file to the host: codes 1 (with 14) and 6, then the
// take record with codes 10 and 12.
void Take(FxInstance *inst, FxEffect *fx, const char *name)
{
    FxTakeRecord take;
    std::memset(&take, 0, sizeof take);
    take.size = sizeof take;
    take.flags = 0x8000;
    take.kind = 14;
    take.frames = fx->endFrame > 0 ? fx->endFrame
                  : inst->hostDuration > 0 ? inst->hostDuration
                                           : GetEffectLastFrame(fx->first);
    lstrcpynA(take.fileName, name, sizeof take.fileName);
    Service(inst, 1, 14, nullptr);
    Service(inst, 6, 0, nullptr);
    Service(inst, 10, 0, &take);
    Service(inst, 12, 0, &take);
}

}  // namespace

int FxRenderAndTake(FxInstance *inst, HWND window, int command)
{
    if (!inst || inst->hostKind != FX_HOST_KIND_PLAIN) return 0;
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx || !fx->first) return 0;
    char name[FX_TAKE_NAME];
    if (!TargetFile(inst, name)) return 0;
    // An effect changed since the host stored it is stored first.
    if (fx->flags & FXE_UNSTORED) {
        FxSyncEffectHost(inst);
        SaveEffect(&inst->host, inst->peer ? inst->peer->window : nullptr, FXSV_HOST, nullptr);
    }
    if (command == FX_CMD_RENDER || (fx->flags & FXE_RENDER_STALE)) {
        // A render that did not complete (cancelled, or the file could not
        // be written) leaves the last rendered file as it was and hands
        // nothing over.
        if (!FxExportMovieFile(inst, window, name, 0, 0, 0x41)) return 0;
        lstrcpynA(fx->renderFile, name, sizeof fx->renderFile);
        fx->renderTimeStamp = int32_t(UnixNow());
        FxCallHost(inst, FXN_CHANGED, 0, nullptr);
        fx->flags &= ~FXE_RENDER_STALE;
    }
    if (command == FX_CMD_RENDER_TAKE) Take(inst, fx, name);
    return 1;
}
