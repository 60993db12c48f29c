// Control handlers of the tool dialog pages: tool and view buttons, tool
// bar buttons, filter and video page controls (see fxpages.h).
#include "fxpages.h"

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "fxbind.h"
#include "fxdata.h"
#include "fxedit.h"
#include "fxeditor.h"
#include "fxoutput.h"

namespace {

FxPath *CurrentPathOf(FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    return fx ? fx->current : nullptr;
}

bool Checked(HWND page, int id)
{
    HWND c = page ? GetDlgItem(page, id) : nullptr;
    return c && SendMessageA(c, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetCheck(HWND page, int id, bool on)
{
    HWND c = page ? GetDlgItem(page, id) : nullptr;
    if (c) SendMessageA(c, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Crop margin controls, their keyframe slots (left, right, top, bottom) and
// their "Modify selected edges together" buttons.
struct CropEdge {
    int control, slot, select;
};
constexpr CropEdge kCropEdges[4] = {{3665, 1, 3647}, {3670, 3, 3652}, {3675, 0, 3637}, {3680, 2, 3682}};

uint32_t ViewFlags(FxInstance *inst)
{
    FxEffect *fx = FxCurrentEffect(inst);
    return fx && fx->view ? fx->view->flags : inst->viewFlags;
}

void SetViewFlags(FxInstance *inst, uint32_t flags)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (fx && fx->view) fx->view->flags = flags;
    inst->viewFlags = flags;
}

int FirstStartFrame(FxPath *first)
{
    int lowest = 0;
    for (FxPath *p = first; p; p = p->next)
        if (p->head && (lowest == 0 || p->head->startFrame < lowest)) lowest = p->head->startFrame;
    return lowest;
}

int LastFrame(FxPath *first)
{
    int last = 0;
    for (FxPath *p = first; p; p = p->next)
        if (FxKeyframe *k = LastKeyframe(p)) if (k->endFrame > last) last = k->endFrame;
    return last;
}

}  // namespace

int FxKeyframeBlendMode(const FxKeyframe *kf)
{
    return kf ? int((uint32_t(kf->attributeMode) >> FXK_BLEND_SHIFT) & 0xFF) : 0;
}

int FxKeyframeClipKind(const FxKeyframe *kf)
{
    return kf ? int((uint32_t(kf->attributeMode) >> FXK_CLIP_KIND_SHIFT) & 0xFF) : 0;
}

void FxInitPageCommand(FxPageCommand *cmd, FxInstance *inst, HWND page, int id, int code, double value)
{
    std::memset(cmd, 0, sizeof *cmd);
    cmd->id = id;
    cmd->page = page;
    cmd->code = code;
    cmd->dvalue = value;
    cmd->value = int(std::lround(value));
    cmd->inst = inst;
    FxPath *p = CurrentPathOf(inst);
    cmd->kf = p ? p->current : nullptr;
}

void FxAddEditRedraw(FxPageCommand *cmd)
{
    if (cmd->editor & 0x8) cmd->redraw |= 0x85100;
    if (cmd->editor & 0x4) cmd->redraw |= 0x11000;
    if (cmd->editor & 0x200000) cmd->redraw |= 0x45000;
    if (cmd->editor & 0x100000) cmd->redraw |= 0x20000;
}

// ---------------------------------------------------------------- attribute groups

FxKeyframe *FxNewGroupMask(int group)
{
    auto *mask = static_cast<FxKeyframe *>(std::calloc(1, sizeof(FxKeyframe)));
    if (!mask) return nullptr;
    switch (group) {
    case 0: for (double &d : mask->position) d = 1.0; break;
    case 1: mask->orientation.w = 1.0; break;
    case 2: for (double &d : mask->offset) d = 1.0; break;
    case 3: for (double &d : mask->extend) d = 1.0; break;
    case 4: for (double &d : mask->skew) d = 1.0; break;
    case 5: for (double &d : mask->twist) d = 1.0; break;
    case 6: for (double &d : mask->scale) d = 1.0; break;
    default: for (int32_t &n : mask->spins) n = 1; break;
    }
    return mask;
}

int FxApplyGroup(FxPath *path, FxKeyframe *from, int group, int direction)
{
    if (!path || !from || !path->head) return 0;
    FxKeyframe *mask = FxNewGroupMask(group);
    if (!mask) return 0;
    int changed = 0;
    FxKeyframe *k = path->head;
    do {
        const bool take = k != from && (direction == 0 || (direction > 0 && k->index > from->index) ||
                                         (direction < 0 && k->index < from->index));
        if (take) {
            CopyKeyframeAttributes(k, from, mask);
            ++changed;
        }
        k = k->next;
    } while (k && k != path->head);
    std::free(mask);
    // The copies change the curves of the whole path.
    if (changed) RefreshPath(path);
    return changed;
}

int FxAttributeMenu(FxPageCommand *cmd, int group)
{
    FxInstance *inst = cmd->inst;
    FxPath *path = CurrentPathOf(inst);
    FxKeyframe *kf = cmd->kf;
    HMENU bar = LoadMenuA(GetFxInstance(), MAKEINTRESOURCEA(3003));
    HMENU menu = bar ? GetSubMenu(bar, 0) : nullptr;
    if (!menu || !path || !kf) {
        if (bar) DestroyMenu(bar);
        return 0;
    }
    // Cut, copy and paste belong to the main menu; the defaults only to the
    // crop button.
    for (UINT id : {3052u, 3053u, 3054u, 3000u, 3001u}) DeleteMenu(menu, id, MF_BYCOMMAND);
    char text[256] = "";
    if (LoadStringA(GetFxInstance(), UINT(100 + group), text, sizeof text))
        ModifyMenuA(menu, 3057, MF_BYCOMMAND | MF_STRING, 3057, text);
    const bool alone = kf->next == kf || !kf->next;
    const bool after = !alone && kf->next->index > kf->index;
    const bool before = !alone && kf->prev && kf->prev->index < kf->index;
    EnableMenuItem(menu, 3002, MF_BYCOMMAND | (alone ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(menu, 3003, MF_BYCOMMAND | (after ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(menu, 3004, MF_BYCOMMAND | (before ? MF_ENABLED : MF_GRAYED));
    CleanMenu(menu);
    POINT at;
    GetCursorPos(&at);
    HWND owner = cmd->page ? cmd->page : inst->mainWindow;
    const int chosen = int(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr));
    DestroyMenu(bar);
    switch (chosen) {
    case 3002:
    case 3003:
    case 3004:
        if (FxApplyGroup(path, kf, group, chosen == 3002 ? 0 : chosen == 3003 ? 1 : -1)) {
            cmd->redraw |= 0x40002140;
            cmd->editor |= 0x1FFFFFF;
        }
        break;
    case 3057: {
        FxKeyframe *mask = FxNewGroupMask(group);
        if (!mask) break;
        ResetKeyframeAttributesByMask(kf, mask);
        std::free(mask);
        // Position, orientation, the shape groups, spins.
        static const uint32_t kEditBits[8] = {0x8, 0x4, 0x200000, 0x200000, 0x200000, 0x200000, 0x200000, 0x100000};
        cmd->editor |= kEditBits[group & 7];
        FxAddEditRedraw(cmd);
        cmd->redraw |= 0x40002140;
        break;
    }
    default:
        break;
    }
    return chosen;
}

// ---------------------------------------------------------------- tool and view buttons

int FxToolButtonCommand(FxPageCommand *cmd)
{
    FxInstance *inst = cmd->inst;
    FxEffect *fx = FxCurrentEffect(inst);
    const int id = cmd->id;
    const bool mine = id == 3048 || (id >= 3065 && id <= 3080) || (id >= 3091 && id <= 3097) ||
                      (id >= 3120 && id <= 3127) || id == 3220 || id == 3221 || id == 3247;
    if (!mine || !fx) return 0;
    FxPath *path = fx->current;
    FxKeyframe *kf = cmd->kf;

    // Tool buttons: a click makes the tool current; a right click offers
    // the attribute menu of the tool's group.
    if ((id >= 3073 && id <= 3080) || (id >= 3120 && id <= 3127)) {
        const int index = id >= 3120 ? id - 3120 : id - 3073;
        if (cmd->code == FXN_CLICK) cmd->tool = 3073 + index;
        else if (cmd->code == FXN_CONTEXT) FxAttributeMenu(cmd, index);
        return 1;
    }
    // View buttons.
    if (id >= 3091 && id <= 3097) {
        uint32_t v = ViewFlags(inst);
        switch (id) {
        case 3091: v ^= 0x80; cmd->redraw |= 0x10; break;
        case 3092:
            if ((v & 0x200) && !(v & 0x800)) v &= ~0x200u;
            else v = (v | 0x200) & ~0x800u;
            cmd->redraw |= 0x2010;
            break;
        case 3093:
            v ^= 0x800;
            v = (v & 0x800) ? (v | 0x200) : (v & ~0x200u);
            cmd->redraw |= 0x2010;
            break;
        case 3094: v ^= 0x100; cmd->redraw |= 0x2010; break;
        case 3095: v ^= 0x400; cmd->redraw |= 0x2010; break;
        case 3096: v ^= 0x10; cmd->redraw |= 0x10; break;
        default: return 1;  // 3097 does nothing
        }
        SetViewFlags(inst, v);
        cmd->editor |= 0x4000000;
        return 1;
    }
    if (id == 3220 || id == 3221 || id == 3247) {
        if (path && kf && kf->next && kf->next->index > kf->index) {
            NegatePathQuaternions(path);
            cmd->redraw |= 0x11000;
            cmd->editor |= 0x4;
        }
        return 1;
    }
    switch (id) {
    case 3048: {
        const int start = FirstStartFrame(fx->first);
        if (start == 0) return 1;
        if (start != 1) ShiftEffectFrames(fx->first, 1 - start);
        int length = fx->endFrame > 0 ? fx->endFrame : inst->hostDuration > 0 ? inst->hostDuration : LastFrame(fx->first);
        if (length > 0) ScaleEffectLength(fx->first, length);
        cmd->redraw |= 0x40004140;
        cmd->editor |= 0x1FFFFFF;
        return 1;
    }
    case 3065:
        if (!kf) return 1;
        kf->position[0] = kf->defaultX;
        kf->position[1] = kf->defaultY;
        kf->position[2] = 1000.0;
        ResetKeyframeOrientation(kf);
        for (int &s : kf->spins) s = 0;
        cmd->editor |= 0x8 | 0x4 | 0x100000;
        cmd->redraw |= 0x85100 | 0x11000 | 0x20000;
        return 1;
    case 3066:
        if (!kf) return 1;
        for (int i = 0; i < 3; i++) kf->extend[i] = kf->skew[i] = kf->twist[i] = 0.0;
        UpdateKeyframeCorners(kf);
        cmd->redraw |= 0x45000;
        cmd->editor |= 0x200000;
        return 1;
    case 3067:
        if (!kf) return 1;
        ResetKeyframeAttributes(kf);
        cmd->redraw |= 0xD5100;
        cmd->editor |= 0x20000C;
        return 1;
    case 3068:
        if (!path) return 1;
        ResetPath(path);
        if (inst->hostKind == 0x2C930000u && inst->mainWindow) PostMessageA(inst->mainWindow, 1036, 0, 0);
        cmd->redraw |= 0x40004008;
        cmd->editor |= 0x1FFFFFF;
        return 1;
    case 3069: {
        if (!kf) return 1;
        SIZE size = {inst->frameWidth, inst->frameHeight};
        if (size.cx <= 0 || size.cy <= 0) return 1;
        InitKeyframeFromSize(kf, &size);
        cmd->redraw |= 0x100D5110;
        cmd->editor |= 0x20000C;
        return 1;
    }
    case 3070:
        if (!kf) return 1;
        ToggleKeyframeFlat(kf, (inst->features & 0x40000000u) != 0);
        cmd->redraw |= 0x100C5100;
        cmd->editor |= 0x200008;
        return 1;
    default:
        // 3071 and 3072 (path orientation fixes) and the rest of the range
        // have nothing to do on this build's engine.
        return 1;
    }
}

// ---------------------------------------------------------------- tool bar

int FxToolBarCommand(FxPageCommand *cmd)
{
    FxInstance *inst = cmd->inst;
    FxEffect *fx = FxCurrentEffect(inst);
    const int id = cmd->id;
    if (!((id >= 3081 && id <= 3086) || id == 3130 || id == 3138 || id == 3139 || id == 3140 || id == 3143))
        return 0;
    if (id >= 3081 && id <= 3086) {
        if (inst && inst->mainWindow) PostMessageA(inst->mainWindow, WM_COMMAND, id, 0);
        return 1;
    }
    if (!fx) return 1;
    FxPath *path = fx->current;
    switch (id) {
    case 3130:
        if (cmd->value < 1) return 1;  // frames count from 1
        fx->currentFrame = cmd->value;
        fx->flags &= ~FXE_FOLLOW_KEYFRAME;
        cmd->redraw |= 0x80002000;
        cmd->editor |= 0x1000000;
        return 1;
    case 3138:
    case 3139: {
        if (!path || !path->head) return 1;
        if (fx->currentFrame < path->head->startFrame) return 1;
        // The keyframe whose frame range holds the current frame: the last
        // one starting at or before it.
        FxKeyframe *at = path->head;
        for (FxKeyframe *k = path->head->next; k && k != path->head; k = k->next)
            if (k->startFrame <= fx->currentFrame) at = k;
        FxKeyframe *to = nullptr;
        if (id == 3138 && at->next != path->head) to = at->next;
        if (id == 3139 && at != path->head) to = at->prev;
        if (!to || to->startFrame == fx->currentFrame) return 1;
        path->current = to;
        cmd->kf = to;
        fx->currentFrame = to->startFrame;
        cmd->redraw |= 0x40002800;
        cmd->editor |= 0x1000000;
        return 1;
    }
    case 3140:
        fx->flags ^= FXE_FOLLOW_KEYFRAME;
        if ((fx->flags & FXE_FOLLOW_KEYFRAME) && path && path->current) fx->currentFrame = path->current->startFrame;
        cmd->redraw |= 0x40002000;
        cmd->editor |= 0x1000000;
        return 1;
    case 3143: {
        if (Checked(cmd->page, 3143)) return 1;
        char text[128];
        HMODULE module = GetModuleHandleA("Tarvofx.dll");
        char format[96] = "";
        if (!module || !LoadStringA(module, 129, format, sizeof format))
            std::strcpy(format, "Use frame %d as the Thumbnail frame?");
        std::snprintf(text, sizeof text, format, fx->currentFrame);
        HWND owner = cmd->page ? cmd->page : inst->mainWindow;
        const int answer = g_fxTundrix.iErrMessageBox
                               ? g_fxTundrix.iErrMessageBox(owner, text, "Thumbnail", MB_YESNO | MB_ICONQUESTION)
                               : MessageBoxA(owner, text, "Thumbnail", MB_YESNO | MB_ICONQUESTION);
        if (answer != IDYES) {
            SetCheck(cmd->page, 3143, false);
            return 1;
        }
        fx->thumbnailFrame = fx->currentFrame;
        SetCheck(cmd->page, 3143, true);
        cmd->editor |= 0x41000001;
        if (fx->renderFile[0] && !(fx->flags & FXE_RENDER_STALE)) FxRenewThumbnail(inst, nullptr, nullptr, 0);
        return 1;
    }
    }
    return 1;
}

int FxRenewThumbnail(FxInstance *inst, const char *file, const SIZE *size, int frame)
{
    FxEffect *fx = FxCurrentEffect(inst);
    if (!fx) return 0;
    if (!file || !file[0]) file = fx->renderFile;
    SIZE s = size && size->cx > 0 && size->cy > 0 ? *size : SIZE{inst->frameWidth, inst->frameHeight};
    if (frame < 1) frame = fx->thumbnailFrame;
    if (!file[0] || s.cx <= 0 || s.cy <= 0 || frame < 1) return 0;
    // Without the codec library or the graphics core the movie stays as it is.
    if (!g_fxVexacodec.ChangeThumbnail || !g_fxGraphics.CreateLayer || !g_fxGraphics.DeleteLayer) return 0;
    Layer *layer = g_fxGraphics.CreateLayer(s.cx, s.cy, 1);
    if (!layer) return 0;
    FxRenderSource source = {};
    source.view = fx->view;
    source.first = fx->first;
    source.currentFrame = fx->currentFrame;
    source.length = fx->endFrame;
    source.instance = inst;
    int ok = 0;
    if (source.view && RenderRangeToLayer(&source, layer, s.cx, s.cy, 0, frame))
        ok = g_fxVexacodec.ChangeThumbnail(reinterpret_cast<LONG_PTR>(file), reinterpret_cast<LONG_PTR>(layer)) != 0;
    g_fxGraphics.DeleteLayer(layer);
    return ok;
}

// ---------------------------------------------------------------- filter and video pages

int FxFilterCommand(FxPageCommand *cmd)
{
    const int id = cmd->id;
    if (id < 3600 || id > 3840) return 0;
    FxKeyframe *kf = cmd->kf;
    if (!kf) return 0;
    HWND page = cmd->page;
    const double v = cmd->dvalue;
    const int n = cmd->value;
    bool edited = true;

    // Crop margins and their links.
    for (const CropEdge &e : kCropEdges) {
        if (id == e.control) {
            kf->crop[e.slot] = v;
            if (Checked(page, 3677)) {
                for (const CropEdge &o : kCropEdges) kf->crop[o.slot] = v;
            } else if (Checked(page, e.select)) {
                for (const CropEdge &o : kCropEdges)
                    if (Checked(page, o.select)) kf->crop[o.slot] = v;
            }
            cmd->editor |= 0x10;
            cmd->redraw |= 0x40000000;
            return 1;
        }
        if (id == e.select) return 1;  // the check state is read when a margin changes
    }
    switch (id) {
    case 3677: {
        const bool on = Checked(page, 3677);
        for (const CropEdge &e : kCropEdges) SetCheck(page, e.select, on);
        return 1;
    }
    case 3655: kf->blur[0] = v; if (Checked(page, 3662)) kf->blur[1] = v; break;
    case 3660: kf->blur[1] = v; if (Checked(page, 3662)) kf->blur[0] = v; break;
    case 3685: kf->mosaic[0] = n; if (Checked(page, 3692)) kf->mosaic[1] = n; break;
    case 3690: kf->mosaic[1] = n; if (Checked(page, 3692)) kf->mosaic[0] = n; break;
    case 3710: {
        kf->shadowRect[0] = v;
        // Personality 2 keeps the shadow's vertical offset ten times larger.
        if (Checked(page, 3712)) kf->shadowRect[1] = cmd->inst && cmd->inst->personality == 2 ? v * 10.0 : v;
        break;
    }
    case 3700: {
        const bool tenfold = cmd->inst && cmd->inst->personality == 2;
        kf->shadowRect[1] = tenfold ? v * 10.0 : v;
        if (Checked(page, 3712)) kf->shadowRect[0] = v;
        break;
    }
    case 3725:
        if (Checked(page, 3725)) kf->attributeMode |= FXK_CHROMA_MASK;
        else kf->attributeMode &= ~int32_t(FXK_CHROMA_MASK);
        break;
    case 3672: kf->cropMode = Checked(page, 3672) ? 1 : 0; break;
    case 3737: {
        HWND combo = page ? GetDlgItem(page, 3737) : nullptr;
        LRESULT sel = combo ? SendMessageA(combo, CB_GETCURSEL, 0, 0) : CB_ERR;
        if (sel == CB_ERR || sel < 0 || sel > 0xFF) return 1;
        kf->attributeMode = int32_t((uint32_t(kf->attributeMode) & ~(0xFFu << FXK_BLEND_SHIFT)) |
                                    (uint32_t(sel) << FXK_BLEND_SHIFT));
        break;
    }
    case 3800:
    case 3801: {
        const uint32_t bit = id == 3800 ? 0x1 : 0x2;
        if (Checked(page, id)) kf->monoFlags |= bit;
        else kf->monoFlags &= ~bit;
        break;
    }
    case 3803:
        if (Checked(page, 3803)) kf->monoColour &= 0x7FFFFFFFu;
        else kf->monoColour |= 0x80000000u;
        break;
    case 3805:
    case 3806:
    case 3807: {
        // None of the three checked (a group being changed over) counts as
        // both fields, never as a field number outside the three.
        uint32_t field = 0;
        for (int i = 0; i < 3; i++)
            if (Checked(page, 3805 + i)) {
                field = uint32_t(i);
                break;
            }
        kf->strobeFlags = field;
        break;
    }
    case 3808:
    case 3809: {
        const uint32_t kind = id == 3808 ? 0 : 2;
        kf->attributeMode = int32_t((uint32_t(kf->attributeMode) & ~(0xFFu << FXK_CLIP_KIND_SHIFT)) |
                                    (kind << FXK_CLIP_KIND_SHIFT));
        break;
    }
    case 3810: kf->posterize = n; break;
    case 3815: kf->strobeValue = n; break;
    case 3820: kf->procamp[0] = v; break;
    case 3825: kf->procamp[1] = v; break;
    case 3830: kf->procamp[2] = v; break;
    case 3835: kf->procamp[3] = v; break;
    default:
        // 3617 and 3707 (colour pickers) and the value controls the panel
        // serves itself.
        edited = false;
        break;
    }
    if (!edited) return 0;
    cmd->editor |= 0x10;
    cmd->redraw |= 0x40000000;
    return 1;
}

int FxPageCommandDispatch(FxPageCommand *cmd)
{
    if (!cmd || !cmd->inst) return 0;
    if (FxToolButtonCommand(cmd)) return 1;
    if (FxToolBarCommand(cmd)) return 1;
    return FxFilterCommand(cmd);
}
