// Objects from an animation-data record: FXD_OBJECT_DATA hands the effect
// the pictures of a record read through the animation-data library.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <vector>

#include "fxbind.h"
#include "fxedit.h"
#include "fxhost.h"
#include "fxscene.h"
#include "mobra.h"

namespace {

constexpr uint32_t PATH_HAS_IMAGE = 0x1;
constexpr uint32_t PATH_NO_OUTLINE = 0x4;
constexpr uint32_t PATH_BACKGROUND = 0x10;
constexpr int32_t BACKGROUND_NUMBER = 65535;

// The effect's own space: its view's virtual size, else the host frame.
void EffectSpace(FxInstance *inst, FxEffect *e, double *w, double *h)
{
    *w = inst->frameWidth > 0 ? inst->frameWidth : 640;
    *h = inst->frameHeight > 0 ? inst->frameHeight : 480;
    if (e->view && e->view->virtualWidth > 0 && e->view->virtualHeight > 0) {
        *w = e->view->virtualWidth;
        *h = e->view->virtualHeight;
    }
}

// Gives `path` object n's picture; false when it cannot be read.
bool TakePicture(FxPath *path, LONG_PTR record, int n, const MobraBox &box)
{
    if (box.width <= 0 || box.height <= 0) return false;
    const size_t bytes = size_t(box.width) * size_t(box.height) * 4;
    void *pixels = malloc(bytes);
    if (!pixels) return false;
    if (!g_fxMobra.mobraGetBmp(record, n, pixels)) {
        free(pixels);
        return false;
    }
    if (path->image.layerFlags[0] & 1) free(path->image.pixels);
    path->image.pixels = pixels;
    path->image.pixelSize = uint32_t(bytes);
    path->image.width = box.width;
    path->image.height = box.height;
    path->image.layerFlags[0] |= 1;
    path->pathFlags |= PATH_HAS_IMAGE;
    return true;
}

}  // namespace

INT_PTR FxAddObjectData(FxInstance *inst, const void *data, size_t size)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !data || !g_fxMobra.mobraCast || !g_fxMobra.mobraGetInfo || !g_fxMobra.mobraGetBox ||
        !g_fxMobra.mobraGetBmp)
        return 0;
    const LONG_PTR record = g_fxMobra.mobraCast(LONG_PTR(data), LONG_PTR(size));
    MobraInfo info = {};
    if (!record || !g_fxMobra.mobraGetInfo(record, &info) || info.count <= 0) return 0;
    double vw, vh;
    EffectSpace(inst, e, &vw, &vh);
    const double hf = info.width > 0 && info.width != vw ? vw / info.width : 1.0;
    const double vf = info.height > 0 && info.height != vh ? vh / info.height : 1.0;

    // Object n is the effect's path n: the effect's keyframes move it and
    // the record gives its picture.  Objects beyond the effect's paths
    // become paths of their own, standing where the record puts them.
    FxPath *path = e->first, *last = nullptr;
    int32_t lastFrame = 0;
    for (int n = 0; n < info.count; ++n) {
        MobraBox box;
        if (!g_fxMobra.mobraGetBox(record, n, &box)) continue;
        bool made = false;
        if (!path) {
            FxPath *slot = last;
            if (!AppendNewPath(last ? &slot : &e->first)) return 0;
            path = last ? last->next : e->first;
            if (!path) return 0;
            made = true;
        }
        TakePicture(path, record, n, box);
        if (!box.points) path->pathFlags |= PATH_NO_OUTLINE;
        if (g_fxMobra.mobraGetName) {
            char name[64] = {};
            if (g_fxMobra.mobraGetName(record, n, name) && name[0]) {
                name[63] = 0;
                std::memcpy(path->name, name, sizeof path->name);
            }
        }
        const double w = box.width * hf, h = box.height * vf;
        for (FxKeyframe *kf = path->head; kf; kf = kf->next == path->head ? nullptr : kf->next) {
            if (made) {
                kf->startFrame = box.start;
                kf->delay = box.delay;
                kf->position[0] = box.x * hf - vw / 2 + w / 2;
                kf->position[1] = box.y * vf - vh / 2 + h / 2;
            }
            if (made || kf->width <= 0 || kf->height <= 0) SetKeyframeSize(kf, w, h);
        }
        if (box.end > lastFrame) lastFrame = box.end;
        last = path;
        path = path->next;
    }
    // The effect needs storing again when the record runs past its end.
    if (e->endFrame && lastFrame > e->endFrame)
        e->flags |= FXB_FLAG_UNSTORED;
    else
        e->flags &= ~FXB_FLAG_UNSTORED;
    e->animationRecord = info.number;
    FxMarkChange(inst, 0x1000000);
    return 1;
}

INT_PTR FxAddImageObject(FxInstance *inst, const void *pixels, int width, int height)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e || !pixels || width <= 0 || height <= 0 || width > 8192 || height > 8192) return 0;
    FxPath *path = e->first;
    if (!path || path->image.pixels) {
        // The first path keeps its image: the new one goes on a new path.
        FxPath *slot = e->first;
        while (slot && slot->next) slot = slot->next;
        FxPath *tail = slot;
        if (!AppendNewPath(tail ? &slot : &e->first)) return 0;
        path = tail ? tail->next : e->first;
        if (!path) return 0;
    }
    const size_t bytes = size_t(width) * size_t(height) * 4;
    void *copy = malloc(bytes);
    if (!copy) return 0;
    std::memcpy(copy, pixels, bytes);
    if (path->image.layerFlags[0] & 1) free(path->image.pixels);
    path->image.pixels = copy;
    path->image.pixelSize = uint32_t(bytes);
    path->image.width = width;
    path->image.height = height;
    path->image.layerFlags[0] |= 1;
    path->pathFlags |= PATH_HAS_IMAGE;
    if (path->head) SetKeyframeSize(path->head, width, height);
    if (inst->mainWindow && IsWindow(inst->mainWindow)) PostMessageA(inst->mainWindow, WM_USER + 10, 0, 0x10002009);
    FxMarkChange(inst, 0x1000000);
    return 1;
}

// ---------------------------------------------------------------- objects as paths

namespace {

// Object n's outline from the record, in the shape space of its picture
// (0..100000 across the picture); false when it has none.
bool TakeOutline(FxPath *path, LONG_PTR record, int n, const MobraBox &box)
{
    if (!g_fxMobra.mobraGetPts || box.points <= 0 || box.points > 65536 || box.width <= 0 || box.height <= 0)
        return false;
    std::vector<int32_t> points(size_t(box.points) * 2);
    if (!g_fxMobra.mobraGetPts(record, n, points.data())) return false;
    for (size_t i = 0; i < points.size(); i += 2) {
        points[i] = int32_t(int64_t(points[i]) * SHAPE_DEFAULT_SIZE / box.width);
        points[i + 1] = int32_t(int64_t(points[i + 1]) * SHAPE_DEFAULT_SIZE / box.height);
    }
    return SetPathShape(path, points.data(), box.points, SHAPE_POLYLINE) == 1;
}

// A new path for object n of the record, standing where the record puts it.
FxPath *ObjectPath(FxPath **list, LONG_PTR record, int n, const MobraBox &box, double hf, double vf, double vw,
                   double vh)
{
    // AppendNewPath leaves its slot on the new path: the list keeps its head.
    FxPath *tail = *list;
    if (!AppendNewPath(&tail)) return nullptr;
    FxPath *path = tail;
    if (!*list) *list = path;
    FxKeyframe *kf = path->head;
    kf->startFrame = kf->endFrame = box.start;
    kf->startTime = kf->endTime = box.start;
    kf->delay = 0;
    if (box.delay > 0) SetKeyframeDelay(kf, box.delay);
    const double w = box.width * hf, h = box.height * vf;
    // The keyframe's position is the object's centre.
    kf->position[0] = box.x * hf - vw / 2 + w / 2;
    kf->position[1] = box.y * vf - vh / 2 + h / 2;
    SetKeyframeSize(kf, w, h);
    char name[64] = {};
    if (g_fxMobra.mobraGetName && g_fxMobra.mobraGetName(record, n, name)) {
        name[63] = 0;
        std::memcpy(path->name, name, sizeof path->name);
    }
    TakePicture(path, record, n, box);
    if (!TakeOutline(path, record, n, box)) path->pathFlags |= PATH_NO_OUTLINE;
    path->pathFlags |= PATH_HAS_IMAGE;
    CopyKeyframe(&path->work, kf);
    path->work.next = path->work.prev = &path->work;
    path->work.startFrame = -1;
    path->work.props.head = nullptr;
    return path;
}

}  // namespace

int AddAnimationObjects(FxInstance *inst, void *record, FxEffect *e, uint32_t options)
{
    if (!inst) return 0;
    if (!e) {
        if (inst->mainWindow && IsWindow(inst->mainWindow)) ShowWindow(inst->mainWindow, SW_SHOW);
        return 0;
    }
    bool fromHost = false;
    if (!record) {
        record = reinterpret_cast<void *>(FxGetHostData(inst, FX_HOST_ANIMATION_DATA));
        if (!record) return 0;
        options |= 0x2;
        fromHost = true;
    }
    if (!g_fxMobra.mobraGetInfo || !g_fxMobra.mobraGetBox || !g_fxMobra.mobraGetBmp) return 0;
    LONG_PTR handle = 0;
    if (options & 0x2) {
        if (g_fxMobra.mobraCast) handle = g_fxMobra.mobraCast(LONG_PTR(record), 0);
    } else if (g_fxMobra.mobraOpen) {
        handle = g_fxMobra.mobraOpen(static_cast<LPCSTR>(record));
    }
    MobraInfo info = {};
    if (!handle || !g_fxMobra.mobraGetInfo(handle, &info) || info.count <= 0) return 0;
    double vw, vh;
    EffectSpace(inst, e, &vw, &vh);
    const double hf = info.width > 0 && info.width != vw ? vw / info.width : 1.0;
    const double vf = info.height > 0 && info.height != vh ? vh / info.height : 1.0;

    // The same record again (without 0x8), and the rebuild after an undo
    // step (16): the paths keep their keyframes and take the objects'
    // pictures and names again, which a parsed text never carries.
    if ((options & 16) || (!(options & 0x8) && info.number == e->animationRecord && e->first)) {
        FxPath *path = e->first;
        for (int n = 0; n < info.count && path; ++n) {
            MobraBox box;
            if (!g_fxMobra.mobraGetBox(handle, n, &box)) continue;
            if (!(path->image.layerFlags[0] & 1) || !path->image.pixels) TakePicture(path, handle, n, box);
            path = path->next;
        }
        return 0;
    }

    FxPath *list = nullptr;
    for (int n = 0; n < info.count; ++n) {
        MobraBox box;
        if (!g_fxMobra.mobraGetBox(handle, n, &box)) continue;
        if (!ObjectPath(&list, handle, n, box, hf, vf, vw, vh)) {
            FreeEffect(list);
            return 0;
        }
    }
    if (!list) return 0;
    // The effect's paths are replaced whole.
    if (inst->host.hooks.rendererPaths && e->view && e->view->link) inst->host.hooks.rendererPaths(&inst->host, e, 0);
    FxEffect *effect = e;
    FxPath *old = effect->first;
    effect->first = list;
    FreeEffect(old);
    for (FxPath *p = list; p; p = p->next)
        if (p->number == BACKGROUND_NUMBER) p->pathFlags |= PATH_BACKGROUND;
    effect->current = (list->pathFlags & PATH_BACKGROUND) && list->next ? list->next : list;
    if (inst->host.hooks.rendererPaths && e->view && e->view->link) inst->host.hooks.rendererPaths(&inst->host, e, 1);
    effect->animationRecord = info.number;
    if (fromHost) FxCallHost(inst, FXN_EFFECT_LOADED, WPARAM(record), record);
    FxMarkChange(inst, 0x1000000);
    return 1;
}
