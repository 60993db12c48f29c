// Effect model records: property lists, constructors, release, flags and
// lookups.  Geometry lives in geometry.cpp.
#include "fxmodel.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

FxGraphicsSlots g_fxGraphics = {};
FxWarpTable g_fxWarps = {};
void (*FxReleaseImageObject)(void *object) = nullptr;

// ---------------------------------------------------------------- properties

bool FxPropertyKeysMatch(uintptr_t a, uintptr_t b)
{
    if (a >= 0x10000 && b >= 0x10000)
        return strcmp(reinterpret_cast<const char *>(a), reinterpret_cast<const char *>(b)) == 0;
    return a == b;
}

static FxPropertyNode *FindNode(FxPropertyNode *head, uintptr_t key)
{
    for (FxPropertyNode *n = head; n; n = n->next)
        if (FxPropertyKeysMatch(n->key, key))
            return n;
    return nullptr;
}

int FxListSet(FxPropertyNode **head, uintptr_t key, uintptr_t value, FxPropertyDestroy destroy)
{
    if (!head)
        return 0;
    if (FxPropertyNode *n = FindNode(*head, key)) {
        n->value = value;
        n->destroy = destroy;
        return 1;
    }
    FxPropertyNode *n = static_cast<FxPropertyNode *>(calloc(1, sizeof(FxPropertyNode)));
    if (!n)
        return 0;
    n->key = key;
    n->value = value;
    n->destroy = destroy;
    n->next = *head;
    if (*head)
        (*head)->prev = n;
    *head = n;
    return 1;
}

uintptr_t FxListGet(FxPropertyNode *head, uintptr_t key)
{
    FxPropertyNode *n = FindNode(head, key);
    return n ? n->value : 0;
}

int FxListRemove(FxPropertyNode **head, uintptr_t key)
{
    if (!head)
        return 0;
    FxPropertyNode *n = FindNode(*head, key);
    if (!n)
        return 0;
    if (n->prev)
        n->prev->next = n->next;
    else
        *head = n->next;
    if (n->next)
        n->next->prev = n->prev;
    if (n->destroy)
        n->destroy(n->key, n->value);
    free(n);
    return 1;
}

void FxListFree(FxPropertyNode **head)
{
    FxPropertyNode *n = *head;
    *head = nullptr;
    while (n) {
        FxPropertyNode *next = n->next;
        if (n->destroy)
            n->destroy(n->key, n->value);
        free(n);
        n = next;
    }
}

static int KfSet(void *r, uintptr_t k, uintptr_t v, FxPropertyDestroy d)
{
    return r ? FxListSet(&static_cast<FxKeyframe *>(r)->props.head, k, v, d) : 0;
}
static uintptr_t KfGet(void *r, uintptr_t k)
{
    return r ? FxListGet(static_cast<FxKeyframe *>(r)->props.head, k) : 0;
}
static int KfRemove(void *r, uintptr_t k)
{
    return r ? FxListRemove(&static_cast<FxKeyframe *>(r)->props.head, k) : 0;
}
static int PathSet(void *r, uintptr_t k, uintptr_t v, FxPropertyDestroy d)
{
    return r ? FxListSet(&static_cast<FxPath *>(r)->props.head, k, v, d) : 0;
}
static uintptr_t PathGet(void *r, uintptr_t k)
{
    return r ? FxListGet(static_cast<FxPath *>(r)->props.head, k) : 0;
}
static int PathRemove(void *r, uintptr_t k)
{
    return r ? FxListRemove(&static_cast<FxPath *>(r)->props.head, k) : 0;
}

// ---------------------------------------------------------------- defaults

static double g_defaultWidth = 640, g_defaultHeight = 480;

FxKeyframe *FxAttributeDefaults()
{
    static FxKeyframe defaults = [] {
        FxKeyframe d;
        memset(&d, 0, sizeof d);
        d.borderColour = 0;
        d.softness = 0;
        return d;
    }();
    return &defaults;
}

void SetDefaultKeyframeSize(double width, double height)
{
    if (width > 0 && height > 0) {
        g_defaultWidth = width;
        g_defaultHeight = height;
    }
}

void GetDefaultKeyframeSize(double *width, double *height)
{
    *width = g_defaultWidth;
    *height = g_defaultHeight;
}

static bool IsIdentity(const Quat &q)
{
    return q.x == 0 && q.y == 0 && q.z == 0;
}

void ResetKeyframeOrientation(FxKeyframe *kf)
{
    if (!kf || IsIdentity(kf->orientation))
        return;
    kf->orientation = Quat{ 1, 0, 0, 0 };
    kf->rotation[0] = kf->rotation[1] = kf->rotation[2] = 0;
}

void ResetKeyframeAttributes(FxKeyframe *kf)
{
    if (!kf)
        return;
    const FxKeyframe *d = FxAttributeDefaults();
    size_t from = offsetof(FxKeyframe, positionTcb);
    size_t to = offsetof(FxKeyframe, corners) + sizeof kf->corners;
    memcpy(reinterpret_cast<char *>(kf) + from, reinterpret_cast<const char *>(d) + from, to - from);

    kf->position[0] = kf->defaultX;
    kf->position[1] = kf->defaultY;
    kf->position[2] = FX_DEFAULT_Z;
    kf->shapeSegment.count = FX_SHAPE_VALUES;
    // Segments and speed curves start stale: the first use builds them.
    kf->positionSegment.flags |= SEGMENT_STALE;
    kf->rotationSegment.flags |= SEGMENT_STALE;
    kf->shapeSegment.flags |= SEGMENT_STALE;
    for (SpeedCurve *c : { &kf->positionSpeed, &kf->rotationSpeed, &kf->shapeSpeed }) {
        c->speedIn = c->speedOut = 50;
        c->flags |= SPEED_STALE;
    }
    for (int i = 0; i < 3; ++i)
        kf->scale[i] = kf->savedScale[i] = 1.0;
    kf->savedZ = FX_DEFAULT_Z;
    ResetKeyframeOrientation(kf);
    kf->borderWidth = 0;
    kf->borderColour = d->borderColour;
    kf->softness = d->softness;
    kf->borderMode = 1;
    kf->mosaic[0] = kf->mosaic[1] = 1;
    kf->shadowColour = 0;
    kf->shadowFade = 50.0;
    kf->procamp[0] = 1.0;
    kf->procamp[2] = 1.0;
    kf->strobeValue = 1;
    kf->monoColour = MONO_NO_COLOUR;
    kf->warpFlags |= WARP_NONE;
    // Selecting another warp first makes warp 0's defaults load every time.
    SetKeyframeFilter(kf, 1, 1);
    SetKeyframeFilter(kf, 0, 1);
    kf->kerning = 1.0f;
    kf->kerningSpare = 0.0f;
    UpdateKeyframeCorners(kf);
}

int SetKeyframeFilter(FxKeyframe *kf, int n, int load)
{
    if (!kf)
        return 0;
    if (n == -2) {
        n = -1;
        for (int i = 0; i < g_fxWarps.count; ++i)
            if (IsEqualGUID(g_fxWarps.entries[i].id, kf->warpId)) {
                n = i;
                break;
            }
        load = 0;
    }
    if (n == kf->warpNumber || n < 0 || n >= g_fxWarps.count)
        return 0;
    kf->warpNumber = n;
    const FxWarpEntry &e = g_fxWarps.entries[n];
    if (load)
        kf->warpId = e.id;
    int count = e.paramCount < 16 ? e.paramCount : 16;
    for (int i = 0; i < count; ++i) {
        if (e.params[i].kind == 1) {
            kf->warpParams[i] = e.params[i].defaultValue;
            kf->warpFlags &= ~(1u << i);
        } else {
            kf->warpParams[i] = e.params[i].computedValue;
            kf->warpFlags |= 1u << i;
        }
    }
    return 1;
}

void ComposeKeyframeOrientation(FxKeyframe *kf)
{
    kf->spinQuat = QuatFromEuler(kf->spinAngles[0], kf->spinAngles[1], kf->spinAngles[2]);
    kf->composedQuat = QuatMultiply(kf->spinQuat, kf->orientation);
    QuatToEuler(kf->composedAngles, kf->composedQuat);
}

FxKeyframe *NewKeyframe()
{
    FxKeyframe *kf = static_cast<FxKeyframe *>(calloc(1, sizeof(FxKeyframe)));
    if (!kf)
        return nullptr;
    kf->index = 1;
    kf->startFrame = kf->endFrame = 1;
    kf->startTime = kf->endTime = 1.0;
    kf->orientation = Quat{ 1, 0, 0, 0 };
    kf->position[2] = FX_DEFAULT_Z;
    kf->width = g_defaultWidth;
    kf->height = g_defaultHeight;
    kf->next = kf->prev = kf;
    ResetKeyframeAttributes(kf);
    kf->props.set = KfSet;
    kf->props.get = KfGet;
    kf->props.remove = KfRemove;
    return kf;
}

int AppendNewPath(FxPath **slot)
{
    if (!slot)
        return 0;
    FxPath *p = static_cast<FxPath *>(calloc(1, sizeof(FxPath)));
    if (!p)
        return 0;
    p->number = 1;
    p->props.set = PathSet;
    p->props.get = PathGet;
    p->props.remove = PathRemove;
    FxKeyframe *kf = NewKeyframe();
    if (!kf) {
        free(p);
        return 0;
    }
    p->head = p->current = kf;
    CopyKeyframe(&p->work, kf);
    p->work.next = p->work.prev = &p->work;
    p->work.startFrame = -1;
    p->work.flags |= KF_WORK;
    p->work.props = kf->props;
    p->work.props.head = nullptr;
    if (FxPath *last = *slot) {
        while (last->next)
            last = last->next;
        last->next = p;
        p->prev = last;
        p->number = last->number + 1;
    }
    *slot = p;
    return 1;
}

static void AddLayerRef(Layer *l)
{
    if (l && g_fxGraphics.AddRefCountLayer)
        g_fxGraphics.AddRefCountLayer(l);
}

static void DropLayer(Layer **l)
{
    if (*l && g_fxGraphics.PixmoorAreYouThere && g_fxGraphics.DeleteLayer && g_fxGraphics.PixmoorAreYouThere())
        g_fxGraphics.DeleteLayer(*l);
    *l = nullptr;
}

void CopyKeyframe(FxKeyframe *dst, const FxKeyframe *src)
{
    if (!dst || !src || dst == src)
        return;
    ReleaseKeyframeLayers(dst);
    // The ring links stay: a keyframe copied over inside a ring keeps its
    // place in that ring.
    FxKeyframe *next = dst->next, *prev = dst->prev;
    memcpy(dst, src, offsetof(FxKeyframe, secondFlags));
    dst->next = next;
    dst->prev = prev;
    // A keyframe holds one reference on each of its layers.
    AddLayerRef(dst->pathLayer);
    AddLayerRef(dst->ownLayer);
    dst->ownedBuffer = nullptr;
    dst->bufferFlags &= ~1u;
    dst->secondFlags &= ~KF2_COPY_CLEARS;
}

static FxKeyframe g_clipboard;

// The clipboard holds a keyframe's state, never its resources: image,
// layers, owned buffer and properties stay with the keyframe that owns
// them, so that neither copy frees or releases what the other holds.
static void KeepResources(FxKeyframe *dst, const FxKeyframe *owner)
{
    dst->pixels = owner->pixels;
    dst->pixelSize = owner->pixelSize;
    dst->pathLayer = owner->pathLayer;
    dst->ownLayer = owner->ownLayer;
    dst->bufferFlags = owner->bufferFlags;
    dst->ownedBuffer = owner->ownedBuffer;
    dst->tickCount = owner->tickCount;
    dst->tickCapacity = owner->tickCapacity;
    dst->props = owner->props;
}

void CopyKeyframeToClipboard(const FxKeyframe *kf)
{
    if (!kf)
        return;
    g_clipboard = *kf;
    FxKeyframe empty;
    memset(&empty, 0, sizeof empty);
    KeepResources(&g_clipboard, &empty);
}

void PasteKeyframeFromClipboard(FxKeyframe *kf)
{
    if (!kf)
        return;
    FxKeyframe own = *kf;
    *kf = g_clipboard;
    KeepResources(kf, &own);
}

// ---------------------------------------------------------------- release

void ReleaseKeyframeLayers(FxKeyframe *kf)
{
    if (!kf)
        return;
    if (kf->bufferFlags & 1)
        free(kf->pixels);
    kf->pixels = nullptr;
    kf->pixelSize = 0;
    kf->bufferFlags &= ~1u;
    free(kf->ownedBuffer);
    kf->ownedBuffer = nullptr;
    DropLayer(&kf->pathLayer);
    DropLayer(&kf->ownLayer);
}

void ReleasePathResources(FxPath *path)
{
    if (!path)
        return;
    if (path->imageObject && FxReleaseImageObject)
        FxReleaseImageObject(path->imageObject);
    path->imageObject = nullptr;
    if (path->image.layerFlags[0] & 1)
        free(path->image.pixels);
    path->image.pixels = nullptr;
    free(path->image.pixels2);
    path->image.pixels2 = nullptr;
    path->image.pixelSize = 0;
    for (int i = 0; i < 3; ++i) {
        DropLayer(&path->image.layers[i]);
        path->image.layerFlags[i] = 0;
    }
    ReleaseKeyframeLayers(&path->work);
    FxKeyframe *kf = path->head;
    if (!kf)
        return;
    do {
        ReleaseKeyframeLayers(kf);
        if (kf->next->index <= kf->index)
            break;
        kf = kf->next;
    } while (true);
}

void FreeKeyframe(FxKeyframe *kf)
{
    if (!kf)
        return;
    ReleaseKeyframeLayers(kf);
    FxListFree(&kf->props.head);
    free(kf);
}

void FreePath(FxPath *path)
{
    if (!path)
        return;
    ReleasePathResources(path);
    FxKeyframe *kf = path->head;
    while (kf) {
        FxKeyframe *next = kf->next->index > kf->index ? kf->next : nullptr;
        FreeKeyframe(kf);
        kf = next;
    }
    FxListFree(&path->work.props.head);
    FreeBufferRecord(path->orientCurve);
    FxListFree(&path->props.head);
    free(path);
}

void FreeEffect(FxPath *first)
{
    while (first) {
        FxPath *next = first->next;
        FreePath(first);
        first = next;
    }
}

void AttachPathImage(FxKeyframe *kf, FxPath *path)
{
    if (!kf || !path)
        return;
    kf->identifier = path->imageId;
    ReleaseKeyframeLayers(kf);
    kf->pixels = path->image.pixels;
    kf->pixelSize = path->image.pixelSize;
    kf->pathLayer = path->image.layers[0];
    AddLayerRef(kf->pathLayer);
}

void AttachPathImageToAll(FxPath *path)
{
    if (!path || !path->head)
        return;
    FxKeyframe *kf = path->head;
    do {
        AttachPathImage(kf, path);
        if (kf->next->index <= kf->index)
            break;
        kf = kf->next;
    } while (true);
}

// ---------------------------------------------------------------- flags and lookups

void SetKeyframeRingFlags(FxKeyframe *kf, uint32_t bits)
{
    if (!kf)
        return;
    FxKeyframe *k = kf;
    do {
        k->flags |= bits;
        k = k->next;
    } while (k && k != kf);
}

void SetPathFlags(FxPath *path, uint32_t bits)
{
    if (!path)
        return;
    SetKeyframeRingFlags(path->head, bits);
    path->work.flags |= bits;
}

void ClearPathFlags(FxPath *path, uint32_t bits)
{
    if (!path)
        return;
    if (FxKeyframe *kf = path->head) {
        FxKeyframe *k = kf;
        do {
            k->secondFlags &= ~bits;
            k = k->next;
        } while (k && k != kf);
    }
    path->work.secondFlags &= ~bits;
}

FxKeyframe *FindKeyframeByIndex(FxPath *path, int index)
{
    if (!path || !path->head)
        return nullptr;
    FxKeyframe *kf = path->head;
    do {
        if (kf->index == index)
            return kf;
        if (kf->next->index <= kf->index)
            return nullptr;
        kf = kf->next;
    } while (true);
}

FxKeyframe *LastKeyframe(FxPath *path)
{
    if (!path || !path->head)
        return nullptr;
    FxKeyframe *kf = path->head;
    while (kf->next->index > kf->index)
        kf = kf->next;
    return kf;
}

int CountPaths(FxPath *first)
{
    int n = 0;
    for (; first; first = first->next)
        ++n;
    return n;
}

void AppendPath(FxPath **list, FxPath *path)
{
    if (!list || !path)
        return;
    path->next = nullptr;
    if (!*list) {
        path->prev = nullptr;
        *list = path;
        return;
    }
    FxPath *last = *list;
    while (last->next)
        last = last->next;
    last->next = path;
    path->prev = last;
}

int GetEffectLastFrame(FxPath *first)
{
    int best = 0;
    for (; first; first = first->next)
        if (FxKeyframe *kf = LastKeyframe(first))
            if (kf->endFrame > best)
                best = kf->endFrame;
    return best;
}

double GetEffectLastTime(FxPath *first)
{
    double best = 0;
    for (; first; first = first->next)
        if (FxKeyframe *kf = LastKeyframe(first))
            if (kf->endTime > best)
                best = kf->endTime;
    return best;
}

int GetMaxKeyframeCount(FxPath *first)
{
    int best = 0;
    for (; first; first = first->next)
        if (FxKeyframe *kf = LastKeyframe(first))
            if (kf->index > best)
                best = kf->index;
    return best;
}
