// Image sequences: every rendered frame written as one numbered image file
// through the image filters, and the export-type list of the directory
// dialog.
#include <cstdio>
#include <cstring>

#include "ferrix.h"
#include "fxoutput.h"

int32_t g_fxExportType;

namespace {

constexpr int IDC_TYPE_LABEL = 1089;
constexpr int IDC_TYPE_COMBO = 1136;
constexpr UINT IDS_EXPORT_TYPE = 127;
constexpr UINT IDS_SELECT_DIRECTORY = 128;

} // namespace

int WINAPI AddExportType(FxFormatRecord *entry, LPARAM combo)
{
    auto *record = reinterpret_cast<FormatRecord *>(entry);
    if (!record || !combo)
        return 1;
    if ((record->u.write.options & 3) != 3)
        return 1;
    char name[sizeof record->name + 1];
    memcpy(name, record->name, sizeof record->name);
    name[sizeof record->name] = 0;
    HWND box = reinterpret_cast<HWND>(combo);
    LRESULT item = SendMessageA(box, CB_ADDSTRING, 0, LPARAM(name));
    if (item >= 0) {
        SendMessageA(box, CB_SETITEMDATA, WPARAM(item), LPARAM(record->formatId));
        if (record->formatId == FX_ID_TGA)
            SendMessageA(box, CB_SETCURSEL, WPARAM(item), 0);
    }
    return 1;
}

int WINAPI FindFormatExtension(FxFormatRecord *entry, LPARAM out)
{
    auto *record = reinterpret_cast<FormatRecord *>(entry);
    if (!record || !out || record->formatId != g_fxExportType)
        return 1;
    char *text = reinterpret_cast<char *>(out);
    size_t n = strnlen(record->u.write.extensions, sizeof record->u.write.extensions);
    if (n > sizeof(SequenceExportContext::extension) - 1)
        n = sizeof(SequenceExportContext::extension) - 1;
    memcpy(text, record->u.write.extensions, n);
    text[n] = 0;
    return 0;
}

INT_PTR CALLBACK ExportTypeHookProc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        char label[64] = "Export Type:";
        if (g_fxTundrix.iLoadString) {
            char loaded[64] = "";
            if (g_fxTundrix.iLoadString(g_fxResourceModule, IDS_EXPORT_TYPE, loaded, sizeof loaded, 0) > 0)
                strcpy(label, loaded);
        }
        SetDlgItemTextA(dialog, IDC_TYPE_LABEL, label);
        HWND own = GetDlgItem(dialog, IDC_TYPE_COMBO);
        RECT r = { 0, 0, 160, 120 };
        HFONT font = nullptr;
        if (own) {
            GetWindowRect(own, &r);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
            font = reinterpret_cast<HFONT>(SendMessageA(own, WM_GETFONT, 0, 0));
        }
        HWND combo = CreateWindowExA(0, "ComboBox", "", 0x50010803, r.left, r.top, r.right - r.left,
                                     r.bottom - r.top + 120, dialog, reinterpret_cast<HMENU>(IDC_EXPORT_TYPE),
                                     reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)),
                                     nullptr);
        if (combo) {
            if (font)
                SendMessageA(combo, WM_SETFONT, WPARAM(font), 0);
            if (g_fxFerrix.ferrixEnumWriteFormats)
                g_fxFerrix.ferrixEnumWriteFormats(AddExportType, LPARAM(combo));
        }
        return 1;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) {
            HWND combo = GetDlgItem(dialog, IDC_EXPORT_TYPE);
            LRESULT item = combo ? SendMessageA(combo, CB_GETCURSEL, 0, 0) : CB_ERR;
            g_fxExportType = item >= 0 ? int32_t(SendMessageA(combo, CB_GETITEMDATA, WPARAM(item), 0)) : 0;
        } else if (LOWORD(wparam) == IDCANCEL) {
            // Only Cancel drops the choice: the list's own notices (focus
            // leaving it as the dialog closes) come as commands too.
            g_fxExportType = 0;
        }
        return 0;
    default:
        return 0;
    }
}

bool ConvertLayer(Layer *layer, FxConvertTarget *target)
{
    const FxGraphicsSlots &G = g_fxGraphics;
    if (!layer || !target || !g_fxFerrix.ferrixConvert || !G.BeginLayerAccess || !G.EndLayerAccess)
        return false;
    LayerAccess access;
    memset(&access, 0, sizeof access);
    if (!G.BeginLayerAccess(&access, layer, nullptr))
        return false;
    if (g_fxGraphics.RefreshLayerEx)
        g_fxGraphics.RefreshLayerEx(layer);
    bool ok = false;
    if (access.firstPtr && access.width > 0 && access.height > 0 && access.width <= 0xFFFF &&
        access.height <= 0xFFFF && access.firstPitch >= access.width * 4) {
        FxSourceStride stride = { uint32_t(access.firstPitch), uint16_t(access.height), 0 };
        ConvertSource s;
        memset(&s, 0, sizeof s);
        s.version = FX_REQUEST_VERSION;
        s.pixels = access.firstPtr;
        s.stride = &stride;
        s.width = uint16_t(access.width);
        s.height = uint16_t(access.height);
        s.depth = 32;
        s.rowOrder = FX_ROWS_TOPDOWN | 0x200;   // rows from the top
        ok = g_fxFerrix.ferrixConvert(reinterpret_cast<FxConvertSource *>(&s), target) == 0;
    }
    G.EndLayerAccess(&access);
    return ok;
}

bool SaveLayerAsImage(Layer *layer, const char *fileName, int format)
{
    if (!layer || !fileName || !*fileName || strlen(fileName) >= MAX_PATH)
        return false;
    ConvertTarget t;
    memset(&t, 0, sizeof t);
    t.version = FX_REQUEST_VERSION;
    strcpy(t.path, fileName);
    t.formatId = uint16_t(format);
    return ConvertLayer(layer, reinterpret_cast<FxConvertTarget *>(&t));
}

bool SaveFrameNumbered(Layer *layer, const char *directory, const char *extension, int format, int number)
{
    if (!directory || !extension)
        return false;
    char name[MAX_PATH];
    int n = snprintf(name, sizeof name, "%s\\fx%06d.%s", directory, number, extension);
    // A name that does not fit is not written under a cut name.
    if (n <= 0 || n >= int(sizeof name))
        return false;
    return SaveLayerAsImage(layer, name, format);
}

int SaveSequenceFrame(int step, FxRenderJob *job)
{
    if ((step != RS_FRAME && step != RS_FRAME_EXTRA) || !job || !job->user || !job->target)
        return 1;
    auto *ctx = static_cast<SequenceExportContext *>(job->user);
    const FxGraphicsSlots &G = g_fxGraphics;
    if (ctx->preview) {
        LayerAccess access;
        memset(&access, 0, sizeof access);
        if (G.BeginLayerAccess && G.BeginLayerAccess(&access, job->target, nullptr)) {
            if (g_fxGraphics.RefreshLayerEx)
                g_fxGraphics.RefreshLayerEx(job->target);
            G.EndLayerAccess(&access);
        }
        return 1;
    }
    int number = (job->currentIndex - 1) / 2 + 1;
    SaveFrameNumbered(job->target, ctx->directory, ctx->extension, ctx->format, number);
    if (g_fxGraphics.ClearLayer)
        g_fxGraphics.ClearLayer(job->target);
    return 1;
}

int ExportImageSequence(FxView *view, FxPath *first, int width, int height, SequenceExportContext *context)
{
    if (!view || !first || !context || width <= 0 || height <= 0 || !g_fxGraphics.CreateLayer)
        return -1;
    Layer *target = g_fxGraphics.CreateLayer(width, height, 1);
    if (!target) {
        ReportOutOfMemory("ExportImageSequence");
        return -1;
    }
    FxRenderJob j;
    memset(&j, 0, sizeof j);
    j.flags = RJ_ODD_STEPS | RJ_FIELD_STEPS;
    j.object = SaveSequenceFrame;
    j.user = context;
    j.width = width;
    j.height = height;
    j.originMode = 5;
    j.target = target;
    int r = RenderFrames(view, first, nullptr, &j);
    if (g_fxGraphics.DeleteLayer)
        g_fxGraphics.DeleteLayer(target);
    return r;
}

bool ExportSequenceWithDialog(HWND owner, FxView *view, FxPath *first, int width, int height)
{
    if (!g_fxTundrix.iGetDirName || !g_fxFerrix.ferrixEnumWriteFormats || !view || !first)
        return false;
    char title[128] = "Select an Image Directory";
    if (g_fxTundrix.iLoadString) {
        char loaded[128] = "";
        if (g_fxTundrix.iLoadString(g_fxResourceModule, IDS_SELECT_DIRECTORY, loaded, sizeof loaded, 0) > 0)
            strcpy(title, loaded);
    }
    SequenceExportContext ctx;
    memset(&ctx, 0, sizeof ctx);
    g_fxExportType = 0;
    if (!g_fxTundrix.iGetDirName(owner, ctx.directory, sizeof ctx.directory, title,
                                 reinterpret_cast<void *>(ExportTypeHookProc), nullptr, 0, 0, "Export All Frames"))
        return false;
    ctx.directory[sizeof ctx.directory - 1] = 0;
    if (!g_fxExportType || !ctx.directory[0])
        return false;
    ctx.format = g_fxExportType;
    g_fxFerrix.ferrixEnumWriteFormats(FindFormatExtension, LPARAM(ctx.extension));
    if (!ctx.extension[0])
        return false;
    return ExportImageSequence(view, first, width, height, &ctx) >= 0;
}
