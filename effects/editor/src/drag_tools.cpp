// Drag tools: the tool chosen from the keys held, one drag step of a tool
// on the current keyframe, and the pick at a point of the view.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fxcorners.h"
#include "fxedit.h"
#include "fxeditor.h"
#include "fxmainview.h"
#include "fxmaths.h"
#include "fxscene.h"

namespace {

int g_axis = FX_AXIS_X | FX_AXIS_Y;
// The tool the keys held make active, and the editor it is for.
int g_active = 0;
FxInstance *g_activeInst = nullptr;

// Bits of the keys held.
enum : int { KEY_SHIFT = 0x10, KEY_CTRL = 0x20, KEY_ALT = 0x40, KEY_SPACE = 0x80, KEY_TAB = 0x100 };

bool Down(int vk)
{
    return (GetKeyState(vk) & 0x8000) != 0;
}

// The three permission bits of a tool (x, y, z); Spin uses Extend's.
uint32_t Permission(const FxInstance *inst, int tool)
{
    int index = 3 * (tool - FX_TOOL_MOVE);
    if (tool == FX_TOOL_SPIN) index = 9;
    if (tool < FX_TOOL_MOVE || tool > FX_TOOL_SPIN) return 0;
    return (FxOptionWord(inst) >> index) & 0x7;
}

bool IsTool(int tool)
{
    return tool >= FX_TOOL_MOVE && tool <= FX_TOOL_SPIN;
}

double Larger(int dx, int dy)
{
    return std::abs(dx) >= std::abs(dy) ? dx : dy;
}

Quat AxisRotation(int axis, double angle)
{
    const double s = std::sin(angle / 2), c = std::cos(angle / 2);
    Quat q = {c, 0, 0, 0};
    if (axis == FX_AXIS_X) q.x = s;
    if (axis == FX_AXIS_Y) q.y = s;
    if (axis == FX_AXIS_Z) q.z = s;
    return q;
}

void Rotate(FxKeyframe *k, int axis, double angle)
{
    Quat q = k->orientation;
    if (q.x == 0 && q.y == 0 && q.z == 0) q = {1, 0, 0, 0};
    for (int a : {FX_AXIS_X, FX_AXIS_Y, FX_AXIS_Z})
        if (axis & a) q = QuatMultiply(q, AxisRotation(a, angle));
    const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    if (n > 0) q = {q.w / n, q.x / n, q.y / n, q.z / n};
    k->orientation = q;
    QuatToEuler(k->rotation, q);
}

bool QuadAccepted(const FxKeyframe *k)
{
    double xs[4], ys[4];
    for (int i = 0; i < 4; ++i) {
        xs[i] = k->corners[i][0];
        ys[i] = k->corners[i][1];
    }
    if (g_fxGraphics.TestFourCorner) {
        RECT bounds;
        return g_fxGraphics.TestFourCorner(&bounds, xs, ys) > 0;
    }
    return IsConvexQuad(xs, ys) != 0;
}

void SpinPreview(FxInstance *inst, FxKeyframe *k, int axisIndex, int sign)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxView *view = fx ? fx->view : nullptr;
    if (!view || !view->window) return;
    static const int kOffsets[12] = {8, 20, 35, 50, 100, 180, 260, 310, 325, 340, 352, 0};
    const double base = k->rotation[axisIndex];
    const double degree = 0.01745329424738884;
    for (int i = 0; i < 12; ++i) {
        k->rotation[axisIndex] = base + sign * kOffsets[i] * degree;
        k->orientation = QuatFromEuler(k->rotation[0], k->rotation[1], k->rotation[2]);
        FxEditContext ctx = {fx->first, fx->current, k, fx->currentFrame};
        DrawScene(view, &ctx, 0x23000);
        if (i < 11) Sleep(40);
    }
    k->rotation[axisIndex] = base;
    k->orientation = QuatFromEuler(k->rotation[0], k->rotation[1], k->rotation[2]);
}

}  // namespace

int FxDragAxis()
{
    return g_axis;
}

int FxCurrentTool(FxInstance *inst)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!ed) return FX_NO_TOOL;
    if (g_activeInst == inst && g_active) return g_active;
    return ed->tool;
}

void FxSetCurrentTool(FxInstance *inst, int tool)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!ed) return;
    ed->tool = tool;
    g_activeInst = inst;
    g_active = tool;
}

int SelectDragTool(FxInstance *inst, int key)
{
    FxEditorState *ed = FxEditorOf(inst);
    if (!ed) return FX_NO_TOOL;
    int mods = 0;
    if (Down(VK_SHIFT)) mods |= KEY_SHIFT;
    if (Down(VK_CONTROL)) mods |= KEY_CTRL;
    if (Down(VK_MENU)) mods |= KEY_ALT;
    if (Down(VK_SPACE)) mods |= KEY_SPACE;
    if (Down(VK_TAB)) mods |= KEY_TAB;
    int digits = 0;
    if (Down('1')) digits |= FX_AXIS_X;
    if (Down('2')) digits |= FX_AXIS_Y;
    if (Down('3') || Down(VK_RBUTTON)) digits |= FX_AXIS_Z;
    const bool zKey = key == '3' || key == VK_RBUTTON;
    const bool zAllowed = (FxOptionWord(inst) & 04444444) != 0;

    // The chosen tool (bar, pop-up menu, right double-click) holds while
    // no modifier or only Ctrl is down; the modifier combinations of the
    // tools the permission word allows take over while they are held.
    const int chosen = ed->tool;
    int tool;
    if (mods == 0 || mods == KEY_CTRL) {
        if (!IsTool(chosen))
            tool = FX_NO_TOOL;
        else if (zKey && !zAllowed && (chosen == FX_TOOL_MOVE || chosen == FX_TOOL_SCALE))
            tool = FX_TOOL_MOVE;
        else
            tool = chosen;
        if ((digits & FX_AXIS_Z) && Down(VK_LBUTTON) && Permission(inst, FX_TOOL_SCALE)) tool = FX_TOOL_SCALE;
    } else if (mods == KEY_ALT && Permission(inst, FX_TOOL_ROTATE)) {
        tool = FX_TOOL_ROTATE;
    } else if (mods == (KEY_CTRL | KEY_ALT) && Permission(inst, FX_TOOL_OFFSET)) {
        tool = FX_TOOL_OFFSET;
    } else if (mods == (KEY_SPACE | KEY_CTRL) && Permission(inst, FX_TOOL_EXTEND)) {
        tool = FX_TOOL_EXTEND;
    } else if (mods == (KEY_SPACE | KEY_CTRL | KEY_SHIFT) && Permission(inst, FX_TOOL_SCALE)) {
        tool = FX_TOOL_SCALE;
    } else {
        tool = FX_NO_TOOL;
    }
    // The axes: the digits held (none: x and y), as far as the tool allows.
    int axis = digits ? digits : (FX_AXIS_X | FX_AXIS_Y);
    if (IsTool(tool)) {
        axis &= int(Permission(inst, tool));
        if (!axis && tool != FX_TOOL_MOVE) tool = FX_NO_TOOL;
        if (!axis) axis = FX_AXIS_X | FX_AXIS_Y;
    }
    g_axis = axis;
    const int before = FxCurrentTool(inst);
    g_activeInst = inst;
    g_active = tool;
    if (tool != before) UpdateEditor(inst, FXU_TOOL);
    return tool;
}

int ApplyDragStep(FxInstance *inst, int tool, int axis, int dx, int dy, uint32_t *redraw, uint32_t *editor)
{
    FxEffect *fx = FxCurrentEffect(inst);
    FxPath *path = fx ? fx->current : nullptr;
    FxKeyframe *k = path ? path->current : nullptr;
    if (tool == -1) tool = FxCurrentTool(inst);
    if (!k || !IsTool(tool)) return 0;
    if (axis == (FX_AXIS_X | FX_AXIS_Y)) {
        if (std::abs(dx) > 2 * std::abs(dy))
            axis = FX_AXIS_X;
        else if (std::abs(dy) > 2 * std::abs(dx))
            axis = FX_AXIS_Y;
    }
    uint32_t r = 0, e = 0;
    bool changed = false;
    switch (tool) {
    case FX_TOOL_MOVE:
        if (axis & FX_AXIS_X) k->position[0] += dx;
        if (axis & FX_AXIS_Y) k->position[1] += dy;
        if (axis & FX_AXIS_Z) k->position[2] -= dy;
        changed = (dx && (axis & FX_AXIS_X)) || (dy && (axis & (FX_AXIS_Y | FX_AXIS_Z)));
        r = 0x80100;
        e = 0x8;
        break;
    case FX_TOOL_ROTATE: {
        const double angle = Larger(dx, dy) * 0.001;
        if (angle != 0) {
            Rotate(k, axis, angle);
            changed = true;
        }
        r = 0x10000;
        e = 0x4;
        break;
    }
    case FX_TOOL_OFFSET:
        for (auto &c : k->corners) {
            if (axis & FX_AXIS_X) c[0] += dx;
            if (axis & FX_AXIS_Y) c[1] += dy;
            if (axis & FX_AXIS_Z) c[2] -= dy;
        }
        if (axis & FX_AXIS_X) k->offset[0] += dx;
        if (axis & FX_AXIS_Y) k->offset[1] += dy;
        if (axis & FX_AXIS_Z) k->offset[2] -= dy;
        changed = dx || dy;
        r = 0xC0100;
        e = 0x200008;
        break;
    case FX_TOOL_EXTEND:
    case FX_TOOL_TWIST: {
        double *v = tool == FX_TOOL_EXTEND ? k->extend : k->twist;
        const double scale = tool == FX_TOOL_EXTEND ? 1.0 : 0.001;
        if (axis & FX_AXIS_X) v[0] += dx * scale;
        if (axis & FX_AXIS_Y) v[1] += dy * scale;
        if (axis & FX_AXIS_Z) v[2] -= dy * scale;
        UpdateKeyframeCorners(k);
        changed = dx || dy;
        r = 0x40000;
        e = 0x200000;
        break;
    }
    case FX_TOOL_SKEW: {
        // The whole keyframe is kept: a folded quad puts it back.
        FxKeyframe *saved = static_cast<FxKeyframe *>(std::malloc(sizeof(FxKeyframe)));
        if (!saved) return 0;
        std::memcpy(saved, k, sizeof *k);
        if (axis & FX_AXIS_X) k->skew[0] += dx;
        if (axis & FX_AXIS_Y) k->skew[1] += dy;
        UpdateKeyframeCorners(k);
        const bool flat = k->normCorners[0][0] == 0 && k->normCorners[0][1] == 0;
        if (!flat && !QuadAccepted(k)) {
            std::memcpy(k, saved, sizeof *k);
        } else {
            changed = dx || dy;
        }
        std::free(saved);
        r = 0x40000;
        e = 0x200000;
        break;
    }
    case FX_TOOL_SCALE: {
        const double step = Larger(dx, dy) * 0.005;
        double limit = 1000.0;
        if (!(FxOptionWord(inst) & 0x1000038)) {
            double x, y, w, h;
            GetCornerBounds(k, &x, &y, &w, &h);
            const double lw = w != 0 ? std::fabs(k->width / w) : 1000.0;
            const double lh = h != 0 ? std::fabs(k->height / h) : 1000.0;
            limit = lw < lh ? lw : lh;
        }
        if (step != 0 && k->scale[0] + step <= limit) {
            for (double &s : k->scale) {
                s += step;
                if (s < 0) s = 0;
            }
            changed = true;
        }
        r = 0x40000;
        e = 0x200000;
        break;
    }
    case FX_TOOL_SPIN: {
        const double d = Larger(dx, dy);
        const int index = (axis & FX_AXIS_X) ? 0 : (axis & FX_AXIS_Y) ? 1 : 2;
        if (d >= 100 || d <= -100) {
            const int sign = d > 0 ? 1 : -1;
            k->spins[index] += sign;
            SpinPreview(inst, k, index, sign);
            changed = true;
        }
        r = 0x20000;
        e = 0x100000;
        break;
    }
    default:
        return 0;
    }
    if (redraw) *redraw |= r | 0x5000;
    if (editor) *editor |= e;
    return changed ? 1 : 0;
}

int PickAtPoint(FxInstance *inst, FxEffect *effect, POINT point)
{
    if (!effect || !effect->first) return 0;
    const uint32_t flags = (FxViewFlags(inst) & 0x100) ? HIT_KEYFRAMES : (HIT_KEYFRAMES | HIT_WORK | HIT_SLOT_ONLY);
    FxPath *slot = effect->current ? effect->current : effect->first;
    const int kind = HitTestPaths(point, effect->first, &slot, flags);
    if (kind == FX_HIT_NONE) return 0;
    effect->current = slot;
    if (kind == FX_HIT_PATH && slot) {
        const int frame = effect->currentFrame;
        if (slot->current && KeyframeHoldsFrame(slot->current, frame)) {
            // stays
        } else if (FxKeyframe *at = FindKeyframeAtFrame(slot, frame)) {
            slot->current = at;
        } else if (FxKeyframe *last = LastKeyframe(slot); last && frame > last->endFrame) {
            slot->current = last;
        }
    }
    if (inst->mainWindow && IsWindow(inst->mainWindow)) SendMessageA(inst->mainWindow, FXM_REFRESH, 0, 0x800);
    return kind;
}
