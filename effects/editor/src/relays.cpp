// Relay codes of FXN_WINDOW_MESSAGE that reach the library's own
// operations: the movie of a changed effect for the host (183, 184), the
// clip-length and gap questions (878, 879), an image by name (881) and the
// host's render request (992).
#include <cstring>

#include "fxhost.h"
#include "fxmedia.h"
#include "fxregdlg.h"

namespace {

int64_t UnixNow()
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const uint64_t t = (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return int64_t((t - 116444736000000000ull) / 10000000ull);
}

INT_PTR Service(FxInstance *inst, uint32_t code, uint32_t value, void *data)
{
    FxVideoFormatQuery q = {code, value, 0, data};
    return FxCallHost(inst, FXN_VIDEO_FORMAT, 0, &q);
}

HWND Owner(FxInstance *inst)
{
    if (inst->mainWindow && IsWindow(inst->mainWindow)) return GetAncestor(inst->mainWindow, GA_ROOT);
    return inst->hostWindow && IsWindow(inst->hostWindow) ? inst->hostWindow : nullptr;
}

// A file name in the caller's memory, ended within MAX_PATH.
bool NameAt(uintptr_t word, char *out)
{
    const char *s = reinterpret_cast<const char *>(word);
    for (size_t i = 0; s && i < MAX_PATH; ++i) {
        if (!FxHostMemory(const_cast<char *>(s + i), 1, false)) return false;
        out[i] = s[i];
        if (!s[i]) return i > 0;
    }
    return false;
}

// 878: the clip-length question; the method chosen becomes the effect's.
INT_PTR ClipLength(FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return 0;
    const int method = int(DialogBoxParamA(GetFxInstance(), MAKEINTRESOURCEA(FX_DLG_CLIP_LENGTH), Owner(inst),
                                           ClipLenDlg, reinterpret_cast<LPARAM>(inst)));
    if (method >= 0 && method <= 3 && method != FxClipLengthMethod(fx)) {
        FxSetClipLengthMethod(fx, method);
        FxMarkChange(inst, 0x1000000);
    }
    return method;
}

// 879: the gap question over the host's {frames to add, frames to the
// end, frames that fit, scale allowed}; the choice 0-3, or -1.
INT_PTR Gap(FxInstance *inst, uintptr_t word)
{
    FxGapQuestion *q = reinterpret_cast<FxGapQuestion *>(word);
    if (!q || !FxHostMemory(q, sizeof *q, false)) return 0;
    FxGapQuestion copy = *q;
    return DialogBoxParamA(GetFxInstance(), MAKEINTRESOURCEA(3065), Owner(inst), GapDlg,
                           reinterpret_cast<LPARAM>(&copy));
}

// 881: the named image file becomes the effect's picture.
INT_PTR Image(FxInstance *inst, uintptr_t word)
{
    char name[MAX_PATH];
    if (!NameAt(word, name) || !FxCurrentEffect(inst)) return 0;
    lstrcpynA(inst->lastImageName, name, sizeof inst->lastImageName);
    constexpr DWORD kLibraries = FXLIB_PIXMOOR | FXLIB_FERRIX;
    BindLibraries(GetFxInstance(), kLibraries);
    FxImageRequest request = {name};
    FxImageRecord image = {};
    const FxGraphicsSlots &G = g_fxGraphics;
    if (LoadImageLayer(&request, &image) && image.layer) {
        LayerAccess access;
        std::memset(&access, 0, sizeof access);
        if (G.BeginLayerAccess && G.BeginLayerAccess(&access, image.layer, nullptr)) {
            // The object takes tight rows of 32-bit pixels.
            if (access.firstPtr && access.firstPitch >= access.width * 4) {
                const size_t row = size_t(access.width) * 4;
                void *pixels = std::malloc(row * size_t(access.height));
                if (pixels) {
                    for (int y = 0; y < access.height; ++y)
                        std::memcpy(static_cast<uint8_t *>(pixels) + row * y,
                                    static_cast<const uint8_t *>(access.firstPtr) + size_t(access.firstPitch) * y,
                                    row);
                    FxAddImageObject(inst, pixels, access.width, access.height);
                    std::free(pixels);
                }
            }
            G.EndLayerAccess(&access);
        }
        if (G.DeleteLayer) G.DeleteLayer(image.layer);
    }
    FreeLibraries(kLibraries);
    return 0;
}

// 183 and 184: a changed animation exported as the host's movie.
INT_PTR MovieForHost(FxInstance *inst, bool always12)
{
    FxEffect *fx = FxCurrentEffect(inst);
    INT_PTR result = 1;
    const uint16_t kind = FxPersonalityRow(inst->personality).templateType;
    if (fx && fx->first && (kind == 2 || kind == 11) && (fx->flags & FXE_UNSAVED)) {
        if (inst->personality == 1 || inst->personality == 7) {
            result = 0;
        } else if (inst->personality == 0) {
            char name[MAX_PATH];
            if (NameAt(FxGetHostData(inst, 10), name)) {
                if (FxExportMovieFile(inst, Owner(inst), name, 0, 0, 0)) {
                    lstrcpynA(fx->renderFile, name, sizeof fx->renderFile);
                    fx->renderTimeStamp = int32_t(UnixNow());
                    // The store hands the host the updated block.
                    FxSyncEffectHost(inst);
                    SaveEffect(&inst->host, inst->peer ? inst->peer->window : nullptr, FXSV_HOST, nullptr);
                    Service(inst, 6, 0, name);
                } else {
                    result = 0;
                }
            }
        }
        fx->flags &= ~FXE_UNSAVED;
        Service(inst, 10, 0, nullptr);
    }
    if (always12) Service(inst, 12, 0, nullptr);
    return always12 ? 1 : result;
}

// 992: the host asks for a render; without a realtime renderer it hears
// back through service 12.
INT_PTR RenderForHost(FxInstance *inst, uintptr_t value)
{
    if (FxCachedBool(inst, FXC_REALTIME)) {
        FxSyncEffectHost(inst);
        SaveEffect(&inst->host, inst->peer ? inst->peer->window : nullptr, FXSV_HOST, nullptr);
        return 1;
    }
    return Service(inst, 12, uint32_t(value), nullptr);
}

}  // namespace

bool FxRelayCode(FxInstance *inst, const uintptr_t *words, INT_PTR *result)
{
    switch (words[0]) {
    case 183:
    case 184:
        *result = MovieForHost(inst, words[0] == 184);
        return true;
    case 878:
        *result = ClipLength(inst);
        return true;
    case 879:
        *result = Gap(inst, words[1]);
        return true;
    case 881:
        *result = Image(inst, words[1]);
        return true;
    case 992:
        *result = RenderForHost(inst, words[1]);
        return true;
    default:
        return false;
    }
}
