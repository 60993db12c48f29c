// The attribute panel's page side: the refresh of every open page from a
// change mask (UpdateEditor's page step) and the page handlers that the
// panel offers a command after position, placement and spline: the time
// page, the filter, video and tool controls (FxPageCommandDispatch), the
// warp rows and the character page.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "fxedit.h"
#include "fxeditor.h"
#include "fxpages.h"
#include "fxregdlg.h"

namespace {

constexpr double kDegrees = 57.29578;

void SetWhole(HWND page, int id, double v)
{
    if (HWND c = GetDlgItem(page, id)) SendMessageA(c, WM_USER + 0x121, 4096, LPARAM(long(v)));
}

void SetFloat(HWND page, int id, double v)
{
    FxSetItemNumber(page, id, double(float(v)));
}

void SetMaxFloat(HWND page, int id, double v)
{
    HWND c = GetDlgItem(page, id);
    if (!c) return;
    const float f = float(v);
    LPARAM bits = 0;
    std::memcpy(&bits, &f, sizeof f);
    SendMessageA(c, WM_USER + 0x121, 6146, bits);
}

void Check(HWND page, int id, bool on)
{
    if (GetDlgItem(page, id)) CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

void Enable(HWND page, int id, bool on)
{
    if (HWND c = GetDlgItem(page, id)) EnableWindow(c, on);
}

bool IsFirst(const FxPath *p, const FxKeyframe *k)
{
    return k == p->head || !k->prev || k->prev->index >= k->index;
}

bool IsLast(const FxPath *p, const FxKeyframe *k)
{
    return !k->next || k->next == p->head || k->next->index <= k->index;
}

FxEffect *Effect(FxInstance *inst)
{
    return FxCurrentEffect(inst);
}

// ---------------------------------------------------------------- position and placement

void RefreshPosition(FxInstance *inst, HWND w, uint32_t mask, FxPath *p, FxKeyframe *k)
{
    if (mask & FXU_KEYFRAME) {
        if (HWND c = GetDlgItem(w, 3230)) SendMessageA(c, WM_USER + 0x121, 4099, LPARAM(long(k->defaultX)));
        if (HWND c = GetDlgItem(w, 3235)) SendMessageA(c, WM_USER + 0x121, 4099, LPARAM(long(k->defaultY)));
    }
    if (mask & FXU_POSITION)
        for (int i = 0; i < 3; ++i) SetWhole(w, 3230 + 5 * i, k->position[i]);
    if ((mask & (FXU_POSITION | FXU_SCENE)) && p->orientToPath) mask |= FXU_ORIENTATION;
    if (mask & 0x20000C) {
        // The bounding box of the projected corners, in view units
        // centred on 0, shown in the host's pixels.
        double l = k->normCorners[0][0], r = l, t = k->normCorners[0][1], b = t;
        for (int i = 1; i < 4; ++i) {
            l = std::fmin(l, k->normCorners[i][0]);
            r = std::fmax(r, k->normCorners[i][0]);
            t = std::fmin(t, k->normCorners[i][1]);
            b = std::fmax(b, k->normCorners[i][1]);
        }
        const double vw = inst->frameWidth > 0 ? inst->frameWidth : 720;
        const double vh = inst->frameHeight > 0 ? inst->frameHeight : 576;
        const double width = r - l, height = b - t;
        SetFloat(w, 3280, (l + 0.5) * vw);
        SetFloat(w, 3285, (t + 0.5) * vh);
        SetFloat(w, 3725, width * vw);
        SetFloat(w, 3727, height * vh);
        SetFloat(w, 3729, (l + width + 0.5) * vw);
        SetFloat(w, 3731, (t + height + 0.5) * vh);
        for (int i = 0; i < 3; ++i) SetWhole(w, 3520 + 5 * i, k->offset[i]);
    }
    if (mask & FXU_SPINS)
        for (int i = 0; i < 3; ++i) SetFloat(w, 3260 + 5 * i, k->spins[i]);
    if (mask & FXU_ORIENTATION) {
        bool flip = false;
        if (!IsLast(p, k)) {
            const Quat &a = k->orientation, &c = k->next->orientation;
            flip = 1.0 - (a.w * c.w + a.x * c.x + a.y * c.y + a.z * c.z) >= 0.00005;
        }
        Enable(w, 3247, flip);
        Check(w, 3252, p->orientToPath != 0);
        const bool free = IsFirst(p, k) || !p->orientToPath;
        for (int i = 0; i < 3; ++i) {
            Enable(w, 3245 + 5 * i, free && (inst->features & (0x8u << i)));
            SetFloat(w, 3245 + 5 * i, k->rotation[i] * kDegrees);
        }
    }
}

void RefreshPlacement(FxInstance *inst, HWND w, uint32_t mask, FxKeyframe *k)
{
    if (!(mask & FXU_PLACEMENT)) return;
    for (int i = 0; i < 2; ++i) {
        SetFloat(w, 3535 + 5 * i, k->extend[i]);
        SetFloat(w, 3545 + 5 * i, k->skew[i]);
        SetFloat(w, 3555 + 5 * i, k->twist[i]);
    }
    SetFloat(w, 3580, k->extend[2]);
    SetFloat(w, 3590, k->skew[2]);
    SetFloat(w, 3585, k->twist[2]);
    for (int i = 0; i < 3; ++i) SetFloat(w, 3565 + 5 * i, k->scale[i]);
    FxEditorState *ed = FxEditorOf(inst);
    const uint32_t lock = ed ? ed->lockFlags : 0;
    Check(w, 3567, !(lock & 0x2));
    Check(w, 3518, (lock & 0x1) != 0);
    if (HWND view = GetDlgItem(w, 3506)) SendMessageA(view, FXM_REFRESH, 0, 0);
}

// ---------------------------------------------------------------- spline and tools

void RefreshSpline(FxInstance *inst, HWND w, uint32_t mask, FxPath *p, FxKeyframe *k)
{
    FxEditorState *ed = FxEditorOf(inst);
    const int c = ed ? ed->splineChannel : 0;
    const FxTcb *tcb[3] = {&k->positionTcb, &k->rotationTcb, &k->shapeTcb};
    const SpeedCurve *speed[3] = {&k->positionSpeed, &k->rotationSpeed, &k->shapeSpeed};
    if (mask & (0x100u << c)) {
        SetFloat(w, 3410, tcb[c]->t);
        SetFloat(w, 3420, tcb[c]->c);
        SetFloat(w, 3430, tcb[c]->b);
        Enable(w, 3420, !(c == 1 && (k->flags & 0x2)));
    }
    if ((mask & (0x1000u << c)) && !IsFirst(p, k)) SetFloat(w, 3460, speed[c]->speedIn);
    if ((mask & (0x10000u << c)) && !IsLast(p, k)) SetFloat(w, 3470, speed[c]->speedOut);
    if (mask & (0x11000u << c))
        if (HWND view = GetDlgItem(w, 3450)) SendMessageA(view, FXM_REFRESH, WPARAM(c), 0);
    if (mask & FXU_KEYFRAME) {
        Enable(w, 3460, !IsFirst(p, k));
        Enable(w, 3470, !IsLast(p, k));
        for (int i = 0; i < 3; ++i)
            if (HWND t = GetDlgItem(w, 3406 + i)) ShowWindow(t, i == c ? SW_SHOW : SW_HIDE);
    }
}

void RefreshTools(FxInstance *inst, HWND w, uint32_t mask, FxEffect *fx, FxPath *p, FxKeyframe *k)
{
    if (mask & 0x200009) Check(w, 3070, CheckKeyframeFlat(k, (inst->editorOptions >> 30) & 1) != 0);
    if (mask & 0x1000002) Enable(w, 3062, !FindKeyframeAtFrame(p, fx->currentFrame));
    if (mask & FXU_TOOL) {
        FxEditorState *ed = FxEditorOf(inst);
        for (int id = 3073; id <= 3080; ++id) Check(w, id, ed && ed->tool == id);
        const uint32_t v = FxViewFlags(inst);
        Check(w, 3093, (v & 0x200) && (v & 0x800));
        Check(w, 3092, (v & 0x200) && !(v & 0x800));
        Check(w, 3094, (v & 0x100) != 0);
        Check(w, 3095, (v & 0x400) != 0);
        Check(w, 3091, (v & 0x80) != 0);
        Check(w, 3096, (v & 0x10) != 0);
        Enable(w, 3057, true);
    }
}

// ---------------------------------------------------------------- time

int EffectLength(const FxEffect *fx)
{
    int last = 0;
    for (const FxPath *q = fx->first; q; q = q->next) {
        const FxKeyframe *k = q->head;
        if (!k) continue;
        do {
            const int end = k->endFrame > k->startFrame ? k->endFrame : k->startFrame;
            if (end > last) last = end;
            k = k->next;
        } while (k && k != q->head);
    }
    return last;
}

void PathSpan(const FxPath *q, int *first, int *last)
{
    *first = *last = 0;
    const FxKeyframe *k = q->head;
    if (!k) return;
    *first = k->startFrame;
    do {
        const int end = k->endFrame > k->startFrame ? k->endFrame : k->startFrame;
        if (end > *last) *last = end;
        k = k->next;
    } while (k && k != q->head);
}

void RefreshTime(FxInstance *inst, HWND w, uint32_t mask, bool frame, FxEffect *fx, FxPath *p)
{
    Check(w, 4300, p->pathFlags & 0x10000);
    if (mask & 0x3) {
        int first, last;
        PathSpan(p, &first, &last);
        SetWhole(w, 3310, first);
        SetWhole(w, 3315, last);
        SetWhole(w, 3165, last - first + 1);
    }
    int count = 0, number = 0;
    for (FxPath *q = fx->first; q; q = q->next) {
        ++count;
        if (q == p) number = count;
    }
    HWND scroller = GetDlgItem(w, 3335);
    if ((mask & FXU_KEYFRAME) && scroller) {
        const int max = count - 4 > 0 ? count - 4 : 0;
        if (HWND sc = scroller) SendMessageA(sc, WM_USER + 0x121, 4098, max);
        if (max) {
            int pos = int(SendMessageA(scroller, WM_USER + 0x120, 0x1000, 0));
            if (number <= pos) pos = number - 2;
            else if (number > pos + 4) pos = number - 3;
            if (pos < 0) pos = 0;
            if (pos > max) pos = max;
            SendMessageA(scroller, WM_USER + 0x121, 4096, pos);
        }
    }
    if (!(mask & 0x1000022)) return;
    const int length = EffectLength(fx);
    const int total = fx->endFrame > 0 ? fx->endFrame : inst->hostDuration > 0 ? inst->hostDuration : length;
    int scales[5] = {250, 500, 1000, 2000, 4000};
    HWND row0 = GetDlgItem(w, 3341);
    const int p_ = inst->personality;
    if ((p_ == 1 || p_ == 2 || p_ == 7) && total > 0 && row0) {
        RECT r;
        GetClientRect(row0, &r);
        const int k = int((long long)r.right * 1000 / total);
        if (k > 100) {
            scales[0] = k / 4;
            scales[1] = k / 2;
            scales[2] = k;
            scales[3] = 2 * k;
            scales[4] = 4 * k;
        }
    }
    int pick = 2;
    if (HWND s = GetDlgItem(w, 3300)) pick = int(SendMessageA(s, WM_USER + 0x120, 0x1000, 0));
    if (pick < 0 || pick > 4) pick = 2;
    const int page = row0 ? int(SendMessageA(row0, TBR_PAGE, 0, 0)) : 0;
    int hmax = (length > total ? length : total) - page;
    if (hmax < 1) hmax = 1;
    if (HWND h = GetDlgItem(w, 3330)) {
        SendMessageA(h, WM_USER + 0x121, 4097, 1);
        SendMessageA(h, WM_USER + 0x121, 4098, hmax);
    }
    int hpos = 1;
    if (HWND h = GetDlgItem(w, 3330)) hpos = int(SendMessageA(h, WM_USER + 0x120, 0x1000, 0));
    SetWhole(w, 3345, total);
    Check(w, 3320, (fx->flags & 0x80000000u) != 0);
    // The rows: from the scroller's position, or from the current path on
    // the tool dialog frame.
    FxPath *q = fx->first;
    if (frame) {
        q = p;
    } else {
        const int start = scroller ? int(SendMessageA(scroller, WM_USER + 0x120, 0x1000, 0)) : 0;
        for (int i = 0; q && i < start; ++i) q = q->next;
    }
    for (int i = 0; i < 4; ++i, q = q ? q->next : nullptr) {
        HWND row = GetDlgItem(w, 3341 + i);
        if (!row) continue;
        SendMessageA(row, WM_SETREDRAW, FALSE, 0);
        if (q) {
            int first, last;
            PathSpan(q, &first, &last);
            SendMessageA(row, TBR_STYLE, q == p ? 5 : 6, 0x8000);
            SendMessageA(row, TBR_SCROLL, hpos, 0);
            SendMessageA(row, TBR_LENGTH, total, 0);
            SendMessageA(row, TBR_SCALE, scales[pick], 0);
            SendMessageA(row, TBR_SPAN, 0, MAKELPARAM(first, last));
            SendMessageA(row, TBR_FRAME, fx->currentFrame, 0);
            char name[80];
            if (q->name[0])
                lstrcpynA(name, q->name, sizeof name);
            else
                std::snprintf(name, sizeof name, "Path  %d", q->number);
            SetWindowTextA(row, name);
        } else {
            SetWindowTextA(row, "");
            SendMessageA(row, TBR_SPAN, 0, 0);
            SendMessageA(row, TBR_STYLE, 6, 0x8000);
        }
        SendMessageA(row, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(row, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
        Check(w, 3321 + i, q && ((fx->flags & 0x80000000u) || !(q->pathFlags & 0x2)));
        Check(w, 3326 + i, q && !(q->pathFlags & 0x8));
        Check(w, 3351 + i, q && (q->pathFlags & 0x4));
        for (int base : {3321, 3326, 3351}) Enable(w, base + i, q != nullptr);
    }
}

// ---------------------------------------------------------------- filters

void RefreshFilter(FxInstance *inst, HWND w, FxKeyframe *k)
{
    SetWhole(w, 3625, k->fade);
    for (int i = 0; i < 3; ++i) SetWhole(w, 3605 + 5 * i, k->emboss[i]);
    SetWhole(w, 3630, k->luminance[0]);
    SetWhole(w, 3635, k->luminance[1]);
    for (int i = 0; i < 3; ++i) SetWhole(w, 3640 + 5 * i, k->tint[i]);
    SetWhole(w, 3685, k->mosaic[0]);
    SetWhole(w, 3690, k->mosaic[1]);
    if (k->mosaic[0] != k->mosaic[1]) Check(w, 3692, false);
    SetFloat(w, 3655, k->blur[0]);
    SetFloat(w, 3660, k->blur[1]);
    if (k->blur[0] != k->blur[1]) Check(w, 3662, false);
    const double *c = k->crop;
    const struct {
        int id;
        double v, max;
    } crops[] = {{3665, c[1], 100 - c[3]}, {3670, c[3], 100 - c[1]}, {3675, c[0], 100 - c[2]}, {3680, c[2], 100 - c[0]}};
    for (const auto &e : crops) {
        SetMaxFloat(w, e.id, e.max);
        SetFloat(w, e.id, e.v);
    }
    const bool equal = c[0] == c[1] && c[1] == c[2] && c[2] == c[3];
    if (!equal) Check(w, 3677, false);
    if (Checked(w, 3677))
        for (int id : {3647, 3652, 3637, 3682}) Check(w, id, true);
    if (Checked(w, 3647) && Checked(w, 3652) && Checked(w, 3637) && Checked(w, 3682)) Check(w, 3677, true);
    Check(w, 3672, k->cropMode != 0);
    for (int id : {3665, 3670, 3675, 3680}) Enable(w, id, k->cropMode == 0);
    const bool border = !(k->borderColour & 0x80000000u);
    Check(w, 3612, border);
    if (GetDlgItem(w, 3612)) {
        Enable(w, 3620, border);
        Enable(w, 3617, border);
    }
    SetWhole(w, 3620, k->borderWidth);
    SetWhole(w, 3600, k->softness);
    const bool tenfold = inst->personality == 2;
    SetWhole(w, 3710, k->shadowRect[0]);
    SetWhole(w, 3700, tenfold ? k->shadowRect[1] / 10 : k->shadowRect[1]);
    if (tenfold ? k->shadowRect[1] != 10 * k->shadowRect[0] : k->shadowRect[1] != k->shadowRect[0])
        Check(w, 3712, false);
    SetWhole(w, 3715, k->shadowRect[2]);
    SetWhole(w, 3705, k->shadowRect[3]);
    SetWhole(w, 3720, k->shadowFade);
    Check(w, 3725, (k->attributeMode & FXK_CHROMA_MASK) != 0);
    SetWhole(w, 3815, k->strobeValue);
    for (int i = 0; i < 3; ++i) Check(w, 3805 + i, k->strobeFlags == uint32_t(i));
    if (HWND combo = GetDlgItem(w, 3737)) SendMessageA(combo, CB_SETCURSEL, FxKeyframeBlendMode(k), 0);
    const int kind = FxKeyframeClipKind(k);
    Check(w, 3808, kind != 2);
    Check(w, 3809, kind == 2);
}

void RefreshVideo(HWND w, FxKeyframe *k)
{
    SetWhole(w, 3685, k->mosaic[0]);
    SetWhole(w, 3690, k->mosaic[1]);
    SetWhole(w, 3810, k->posterize);
    for (int i = 0; i < 4; ++i) SetFloat(w, 3820 + 5 * i, k->procamp[i]);
    Check(w, 3800, k->monoFlags & 0x1);
    Check(w, 3801, k->monoFlags & 0x2);
    const bool colour = !(k->monoColour & 0x80000000u);
    Check(w, 3803, colour);
    Enable(w, 3802, colour);
    char text[16];
    std::snprintf(text, sizeof text, "%06X", k->monoColour & 0xFFFFFF);
    SetDlgItemTextA(w, 3802, text);
    SetWhole(w, 3815, k->strobeValue);
    for (int i = 0; i < 3; ++i) Check(w, 3805 + i, k->strobeFlags == uint32_t(i));
}

void RefreshWarp(HWND w, FxPath *p, FxKeyframe *k)
{
    const bool on = !(k->warpFlags & 0x80000000u);
    Check(w, 9003, on);
    for (int id : {9000, 5000, 9001}) Enable(w, id, on);
    // Every keyframe of the path follows the keyframe's warp.
    for (FxKeyframe *q = p->head; q;) {
        if (q != k) {
            q->warpFlags = (q->warpFlags & 0x7FFFFFFFu) | (k->warpFlags & 0x80000000u);
            q->warpNumber = k->warpNumber;
            q->warpId = k->warpId;
        }
        q = q->next;
        if (q == p->head) break;
    }
    const int n = k->warpNumber;
    const FxWarpEntry *entry = n >= 0 && n < g_fxWarps.count && g_fxWarps.entries ? &g_fxWarps.entries[n] : nullptr;
    const intptr_t shown = reinterpret_cast<intptr_t>(GetPropA(w, "Halvard's warp select prop"));
    if (entry && shown != n) {
        SetPropA(w, "Halvard's warp select prop", reinterpret_cast<HANDLE>(intptr_t(n)));
        SetWhole(w, 9000, n);
        if (HWND sc = GetDlgItem(w, 5000)) {
            SendMessageA(sc, WM_USER + 0x121, 4098, entry->paramCount >= 7 ? entry->paramCount - 6 : 0);
            SendMessageA(sc, WM_USER + 0x121, 4096, 0);
        }
    }
    int from = 0;
    if (HWND sc = GetDlgItem(w, 5000)) from = int(SendMessageA(sc, WM_USER + 0x120, 0x1000, 0));
    for (int r = 0; r < 7; ++r) {
        const int idx = from + r;
        const bool used = entry && idx < entry->paramCount && idx < 16 && entry->params[idx].kind != 0;
        const int id = 9010 + 10 * r;
        if (HWND c = GetDlgItem(w, id)) ShowWindow(c, used ? SW_SHOW : SW_HIDE);
        if (HWND e = GetDlgItem(w, id + 1)) ShowWindow(e, used ? SW_SHOW : SW_HIDE);
        if (used) {
            SetFloat(w, id, k->warpParams[idx]);
            Enable(w, id, on);
        }
    }
}

// The slot a page window holds (the DVE page answers for several).
bool Holds(FxEditorState *ed, int slot, HWND w)
{
    return ed->pages[slot] == w;
}

}  // namespace

void FxRefreshPages(FxInstance *inst, uint32_t mask)
{
    FxEditorState *ed = FxEditorOf(inst);
    FxEffect *fx = Effect(inst);
    FxPath *p = fx ? fx->current : nullptr;
    FxKeyframe *k = p ? p->current : nullptr;
    if (!ed || !k) return;
    // Each open window once, with every role it plays.
    HWND seen[FXP_COUNT + 1] = {};
    int n = 0;
    auto visit = [&](HWND w, bool frame) {
        if (!w || !IsWindow(w)) return;
        for (int i = 0; i < n; ++i)
            if (seen[i] == w) return;
        seen[n++] = w;
        if (Holds(ed, FXP_POSITION, w)) RefreshPosition(inst, w, mask, p, k);
        if (Holds(ed, FXP_SHAPE, w) || GetDlgItem(w, 3565)) RefreshPlacement(inst, w, mask, k);
        if (Holds(ed, FXP_SPLINE, w)) RefreshSpline(inst, w, mask, p, k);
        if (Holds(ed, FXP_TOOLS, w)) RefreshTools(inst, w, mask, fx, p, k);
        if (Holds(ed, FXP_TIME, w) || frame) RefreshTime(inst, w, mask, frame, fx, p);
        if ((mask & FXU_PAGE) && Holds(ed, FXP_FILTER, w)) RefreshFilter(inst, w, k);
        if ((mask & FXU_PAGE) && Holds(ed, FXP_FILTER2, w)) RefreshVideo(w, k);
        if ((mask & FXU_PAGE) && Holds(ed, FXP_WARP, w)) RefreshWarp(w, p, k);
        if ((mask & FXU_PAGE) && (Holds(ed, FXP_CHAR, w) || Holds(ed, FXP_MESH, w))) {
            SetFloat(w, 11000, k->kerning);
            SetFloat(w, 11030, k->kerningSpare);
            SetWhole(w, 11020, k->faceSheen[0]);
            SetWhole(w, 11010, k->faceSheen[1]);
        }
    };
    for (int slot = 0; slot < FXP_COUNT; ++slot) visit(ed->pages[slot], false);
    visit(ed->toolDialog, true);
}

int FxPanelPageCommand(FxInstance *inst, HWND page, int id, HWND control, int code, double value, uint32_t *update,
                       uint32_t *refresh, int *tool)
{
    FxEffect *fx = Effect(inst);
    FxPath *p = fx ? fx->current : nullptr;
    FxKeyframe *k = p ? p->current : nullptr;
    if (!fx || !p || !k) return 0;
    *update = *refresh = 0;
    *tool = 0;
    // The time page and the tool dialog frame.
    switch (id) {
    case 3165:
        if (value >= 1) {
            SetPathLength(p, int(value));
            *update = FXU_FRAMES | FXU_SCENE;
            *refresh = 0x4100;
        }
        return 1;
    case 3310: {
        int first, last;
        PathSpan(p, &first, &last);
        if (value >= 1 && int(value) != first) {
            ShiftPathFrames(p, int(value) - first);
            *update = FXU_FRAMES | FXU_SCENE;
            *refresh = 0x4100;
        }
        return 1;
    }
    case 3315: {
        int first, last;
        PathSpan(p, &first, &last);
        if (int(value) > first && int(value) != last) {
            SetPathLength(p, int(value) - first + 1);
            *update = FXU_FRAMES | FXU_SCENE;
            *refresh = 0x4100;
        }
        return 1;
    }
    case 3320:
    case 3325: {
        const bool on = Checked(page, id);
        fx->flags = on ? fx->flags | 0x80000000u : fx->flags & ~0x80000000u;
        if (id == 3320) FxSetViewFlags(inst, on ? FxViewFlags(inst) | 0x1000 : FxViewFlags(inst) & ~0x1000u);
        *update = FXU_FRAMES | FXU_SCENE;
        *refresh = 0x100;
        return 1;
    }
    case 3350:
        fx->flags = Checked(page, id) ? fx->flags | 0x40000000u : fx->flags & ~0x40000000u;
        *update = FXU_FRAMES;
        return 1;
    case 3330:
    case 3335:
    case 3300:
        *update = FXU_FRAMES | FXU_NO_SNAPSHOT;
        return 1;
    case 3345: {
        const int end = int(value);
        fx->endFrame = end == inst->hostDuration ? 0 : end;
        *update = FXU_FRAMES;
        *refresh = 0x4100;
        return 1;
    }
    case 3360: {
        // "Clip Length Options...": the method the effect follows when it is
        // fitted to the host's clip; Cancel keeps the one it has.
        HWND owner = GetAncestor(page, GA_ROOT);
        const int method = int(DialogBoxParamA(GetFxInstance(), MAKEINTRESOURCEA(FX_DLG_CLIP_LENGTH), owner,
                                               ClipLenDlg, reinterpret_cast<LPARAM>(inst)));
        if (method >= 0 && method <= 3 && method != FxClipLengthMethod(fx)) {
            FxSetClipLengthMethod(fx, method);
            *update = FXU_FRAMES;
            *refresh = 0x100;
        }
        return 1;
    }
    case 4300:
        p->pathFlags = Checked(page, id) ? p->pathFlags | 0x10000 : p->pathFlags & ~0x10000u;
        *update = FXU_FRAMES;
        return 1;
    default:
        break;
    }
    if ((id >= 3321 && id <= 3324) || (id >= 3326 && id <= 3329) || (id >= 3351 && id <= 3354)) {
        int start = 0;
        if (HWND sc = GetDlgItem(page, 3335)) start = int(SendMessageA(sc, WM_USER + 0x120, 0x1000, 0));
        const int row = id >= 3351 ? id - 3351 : id >= 3326 ? id - 3326 : id - 3321;
        FxPath *q = (page == FxEditorOf(inst)->toolDialog) ? p : fx->first;
        if (q == fx->first)
            for (int i = 0; q && i < start; ++i) q = q->next;
        for (int i = 0; q && i < row; ++i) q = q->next;
        if (!q) return 1;
        const uint32_t bit = id >= 3351 ? 0x4 : id >= 3326 ? 0x8 : 0x2;
        const bool on = Checked(page, id);
        // Leave On Screen and Include in Render are checked while the bit is clear.
        const bool set = bit == 0x4 ? on : !on;
        q->pathFlags = set ? q->pathFlags | bit : q->pathFlags & ~bit;
        *update = FXU_FRAMES | FXU_SCENE;
        *refresh = 0x100;
        return 1;
    }
    // The preview's scale goes to the preview itself.
    if (id == 3500 || id == 3507) {
        if (HWND view = GetDlgItem(page, 3506))
            SendMessageA(view, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
        return 1;
    }
    // The character page: the keyframe's kerning and face sheen.
    switch (id) {
    case 11000: k->kerning = float(value); break;
    case 11030: k->kerningSpare = float(value); break;
    case 11020: k->faceSheen[0] = int32_t(value); break;
    case 11010: k->faceSheen[1] = int32_t(value); break;
    default: break;
    }
    if (id == 11000 || id == 11010 || id == 11020 || id == 11030) {
        *update = FXU_PAGE | FXU_SCENE;
        *refresh = 0x100;
        return 1;
    }
    // The warp rows: a positioner's value into the keyframe's parameter.
    if (id >= 9010 && id <= 9076 && (id - 9010) % 10 == 0) {
        int from = 0;
        if (HWND sc = GetDlgItem(page, 5000)) from = int(SendMessageA(sc, WM_USER + 0x120, 0x1000, 0));
        const int idx = from + (id - 9010) / 10;
        const int n = k->warpNumber;
        if (n < 0 || n >= g_fxWarps.count || idx >= 16) return 1;
        k->warpParams[idx] = value;
        *update = FXU_PAGE | FXU_SCENE;
        *refresh = 0x100;
        return 1;
    }
    if (id == 9003) {
        k->warpFlags = Checked(page, 9003) ? k->warpFlags & 0x7FFFFFFFu : k->warpFlags | 0x80000000u;
        *update = FXU_PAGE | FXU_SCENE;
        *refresh = 0x100;
        return 1;
    }
    if (id == 9000 && code != 0) {
        const int n = int(value);
        if (n >= 0 && n < g_fxWarps.count)
            for (FxKeyframe *q = p->head; q;) {
                SetKeyframeFilter(q, n, 1);
                q = q->next;
                if (q == p->head) break;
            }
        *update = FXU_PAGE | FXU_SCENE;
        *refresh = 0x100;
        return 1;
    }
    if (id == 5000) {
        *update = FXU_PAGE | FXU_NO_SNAPSHOT;
        return 1;
    }
    // Tool, view, tool bar, filter and video controls.
    FxPageCommand cmd;
    FxInitPageCommand(&cmd, inst, page, id, code == 4 || code == 8 || code == 10 ? FXN_VALUE : code, value);
    (void)control;
    if (!FxPageCommandDispatch(&cmd)) return 0;
    *update = cmd.editor;
    *refresh = cmd.redraw;
    *tool = cmd.tool;
    return 1;
}
