// Settings of the host section of quillon.ini and section "Preferences",
// and the host's video format.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "fxhost.h"

namespace {

const char *Section(const FxInstance *inst)
{
    return inst->own && inst->own->name[0] ? inst->own->name : "";
}

int ReadInt(const FxInstance *inst, const char *section, const char *key, int def)
{
    return int(GetPrivateProfileIntA(section, key, def, inst->iniPath));
}

void ReadText(const FxInstance *inst, const char *section, const char *key, const char *def, char *out, DWORD size)
{
    GetPrivateProfileStringA(section, key, def, out, size, inst->iniPath);
}

// A leading number in C notation (decimal, 0 octal, 0x hexadecimal).
bool LeadingNumber(const char *text, long *value)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t') ++p;
    const char *digits = (*p == '-' || *p == '+') ? p + 1 : p;
    if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
    *value = std::strtol(p, nullptr, 0);
    return true;
}

int g_cache[FXC_COUNT] = {-1, -1, -1, -1};
const char *const kCachedKeys[FXC_COUNT] = {"FXRDoesRealtime", "FXRDoesMeshes", "FXMeshDeveloperTab",
                                             "FXMeshShowsIDs"};

// Colours of the editor's pens.
const COLORREF kPenColours[FX_PENS] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF,
                                       0xFFFF00, 0x808080, 0x404040, 0x0080FF, 0x00FF80, 0xC0C0C0};

}  // namespace

int FxParseBool(const char *text)
{
    if (!text) return 0;
    long v;
    if (LeadingNumber(text, &v)) return int(v);
    return lstrcmpiA(text, "FALSE") == 0 ? 0 : 1;
}

int FxParseInsert(const char *text)
{
    if (!text) return 0;
    long v;
    if (LeadingNumber(text, &v)) return int(v);
    if (lstrcmpiA(text, "Before") == 0) return -1;
    if (lstrcmpiA(text, "After") == 0) return 1;
    return 0;
}

int FxReadBoolKey(const FxInstance *inst, const char *section, const char *key, const char *def)
{
    char text[32];
    ReadText(inst, section, key, def, text, sizeof text);
    return FxParseBool(text);
}

double FxReadDouble(const FxInstance *inst, const char *section, const char *key)
{
    char text[64];
    ReadText(inst, section, key, "", text, sizeof text);
    const char *p = text;
    while (*p == ' ' || *p == '\t') ++p;
    char *end = nullptr;
    const double v = std::strtod(p, &end);
    return end == p ? 0.0 : v;
}

int FxReadSetting(const FxInstance *inst, int number)
{
    const char *s = Section(inst);
    switch (number) {
    case 1: {
        char text[32];
        ReadText(inst, s, "DefaultInsert", inst->hostKind == FX_HOST_EMBEDDED ? "At" : "After", text, sizeof text);
        return FxParseInsert(text);
    }
    case 2:
        return ReadInt(inst, s, "ViewSettings", 1904);
    case 4:
        return FxReadBoolKey(inst, s, "InvertFields", "FALSE");
    case 9:
        return ReadInt(inst, s, "CropMode", 0);
    case 10:
        return FxReadBoolKey(inst, s, "WarpDelay", "FALSE");
    case 11:
        return ReadInt(inst, s, "SoftBorder", 8);
    case 12:
        return FxReadBoolKey(inst, s, "Meshable", "FALSE");
    case 14: {
        const int size = ReadInt(inst, s, "DialogFontSize", 0);
        return size ? size : 8;
    }
    default:
        return 0;
    }
}

int FxCachedBool(FxInstance *inst, FxCached which)
{
    if (which < 0 || which >= FXC_COUNT) return 0;
    if (which == FXC_MESHES) {
        if (inst->features & 0x400000) return 1;
        const uint32_t version = uint32_t(FxGetHostData(inst, -2));
        if ((version >> 24) > 0x04 && ((version >> 16) & 0xFF) > 0x03) return 1;
    }
    FxLockAttach();
    if (g_cache[which] < 0) g_cache[which] = FxReadBoolKey(inst, Section(inst), kCachedKeys[which], "FALSE") ? 1 : 0;
    const int v = g_cache[which];
    FxUnlockAttach();
    return v;
}

void FxResetCachedBools()
{
    FxLockAttach();
    for (int &c : g_cache) c = -1;
    FxUnlockAttach();
}

void FxReadHostFormat(FxInstance *inst)
{
    FxVideoFormat f;
    std::memset(&f, 0, sizeof f);
    f.size = sizeof f;
    FxVideoFormatQuery q = {17, 0, 1, &f};
    FxCallHost(inst, FXN_VIDEO_FORMAT, 0, &q);
    inst->frameWidth = f.width ? int32_t(f.width) : 720;
    inst->frameHeight = f.height ? int32_t(f.height) : 486;
    inst->aspectX = f.aspectX ? int32_t(f.aspectX) : 4;
    inst->aspectY = f.aspectY ? int32_t(f.aspectY) : 3;
    if (inst->displayFlags & FXDF_SQUARE_PIXELS) {
        inst->aspectX = inst->frameWidth;
        inst->aspectY = inst->frameHeight;
    }
    inst->frameRate = f.frameRate ? int32_t(f.frameRate) : 30;
    if (f.flags & 0x2)
        inst->flags |= FXI_INTERLACED;
    else
        inst->flags &= ~FXI_INTERLACED;
    inst->fieldOrder = f.fieldOrder == 1 ? 5 : 6;
    std::memcpy(inst->formatWords, f.further, sizeof inst->formatWords);

    FxVideoFormatExt ext;
    std::memset(&ext, 0, sizeof ext);
    ext.size = sizeof ext;
    ext.view = FX_VIEW_EXTENSION;
    FxVideoFormatQuery qe = {17, FX_VIEW_EXTENSION, 1, &ext};
    FxCallHost(inst, FXN_VIDEO_FORMAT, 0, &qe);
    std::memcpy(inst->extensionWords, ext.words + 2, sizeof inst->extensionWords);
    const uint32_t extra =
        (inst->personality == 0 || inst->personality == 3) ? inst->extensionWords[0] : inst->extensionWords[2];
    if (extra) inst->features = inst->featuresCopy = FxMergeFeatures(inst->features, extra);

    for (int i = 0; i < FX_PENS; ++i)
        if (!inst->pens[i]) inst->pens[i] = CreatePen(PS_SOLID, 1, kPenColours[i]);
    if (!inst->brush) inst->brush = CreateSolidBrush(0x606060);
    FxEditorDefaults &d = inst->defaults;
    d.colours[0] = 0xFFFFFF;
    d.colours[1] = 0x00FF80;
    d.colours[2] = 0x809090;
    d.frameRate = inst->frameRate ? inst->frameRate : 30;
    d.offsets[0] = d.offsets[1] = 0.0;
    d.grid[0] = d.grid[1] = 40.0;
    d.scales[0] = d.scales[1] = d.scales[2] = 1.0f;
    d.step = 5;
    d.word = 1;

    inst->viewSettings = uint32_t(FxReadSetting(inst, 2));
    inst->displayFlags &= ~(FXDF_INSERT_AFTER | FXDF_INSERT_AT);
    const int insert = FxReadSetting(inst, 1);
    if (insert > 0) inst->displayFlags |= FXDF_INSERT_AFTER;
    if (insert == 0) inst->displayFlags |= FXDF_INSERT_AT;
    if (FxReadSetting(inst, 4))
        inst->displayFlags |= FXDF_INVERT_FIELDS;
    else
        inst->displayFlags &= ~FXDF_INVERT_FIELDS;

    const int rendering = ReadInt(inst, "Preferences", "RenderingFlags", 1);
    if (rendering & 0x2) {
        inst->flags |= FXI_RENDER_8;
        inst->viewFlags |= 0x80000;
    }
    if (rendering & 0x4) {
        inst->flags |= FXI_RENDER_4;
        inst->viewFlags |= 0x40000;
    }
    inst->viewFlags |= FxPersonalityRow(inst->personality).initialFlags & 0xC0000;
    if (FxReadBoolKey(inst, "Preferences", "OneToOneAspectRatio", "FALSE"))
        inst->displayFlags |= FXDF_SQUARE_PIXELS;
    else
        inst->displayFlags &= ~FXDF_SQUARE_PIXELS;

    if (inst->hostKind == FX_HOST_EMBEDDED) {
        const char *s = Section(inst);
        inst->crop[0] = FxReadDouble(inst, s, "CropLeft");
        inst->crop[1] = FxReadDouble(inst, s, "CropTop");
        inst->crop[2] = FxReadDouble(inst, s, "CropBottom");
        inst->crop[3] = FxReadDouble(inst, s, "CropRight");
        inst->cropMode = FxReadSetting(inst, 9);
    }
}
