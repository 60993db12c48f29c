// Keyframe attribute masks: a keyframe-shaped record whose non-zero fields
// select the matching keyframe fields for a reset, a copy, a comparison or
// an offset (anchor minus reference, then source plus offset).
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "fxedit.h"

int g_fxWarpInMasks = 0;

namespace {

constexpr size_t kBlockFrom = offsetof(FxKeyframe, fade);
constexpr size_t kBlockTo = offsetof(FxKeyframe, faceSheen) + sizeof(FxKeyframe::faceSheen);

FxTcb *Tcb(FxKeyframe *kf, int c)
{
    return c == 0 ? &kf->positionTcb : c == 1 ? &kf->rotationTcb : &kf->shapeTcb;
}
const FxTcb *Tcb(const FxKeyframe *kf, int c)
{
    return Tcb(const_cast<FxKeyframe *>(kf), c);
}
SpeedCurve *Speed(FxKeyframe *kf, int c)
{
    return c == 0 ? &kf->positionSpeed : c == 1 ? &kf->rotationSpeed : &kf->shapeSpeed;
}
const SpeedCurve *Speed(const FxKeyframe *kf, int c)
{
    return Speed(const_cast<FxKeyframe *>(kf), c);
}

// The 15 shear and scale values, in mask order.
double *Shear(FxKeyframe *kf, int i)
{
    double *rows[5] = { kf->offset, kf->extend, kf->skew, kf->twist, kf->scale };
    return &rows[i / 3][i % 3];
}
const double *Shear(const FxKeyframe *kf, int i)
{
    return Shear(const_cast<FxKeyframe *>(kf), i);
}

// Numeric fields of the attribute block that follow the plain rules
// (reset to a fixed value, copy, compare, a - b / s + o).
enum Kind { F_INT, F_DOUBLE };
struct PlainField {
    size_t offset;
    Kind kind;
    double reset;      // NAN: the attribute defaults record's value
};
const PlainField kPlain[] = {
    { offsetof(FxKeyframe, fade), F_INT, 0 },
    { offsetof(FxKeyframe, emboss) + 0, F_INT, 0 },
    { offsetof(FxKeyframe, emboss) + 4, F_INT, 0 },
    { offsetof(FxKeyframe, emboss) + 8, F_INT, 0 },
    { offsetof(FxKeyframe, luminance) + 0, F_INT, 0 },
    { offsetof(FxKeyframe, luminance) + 4, F_INT, 0 },
    { offsetof(FxKeyframe, tint) + 0, F_INT, 0 },
    { offsetof(FxKeyframe, tint) + 4, F_INT, 0 },
    { offsetof(FxKeyframe, tint) + 8, F_INT, 0 },
    { offsetof(FxKeyframe, mosaic) + 0, F_INT, 1 },
    { offsetof(FxKeyframe, mosaic) + 4, F_INT, 1 },
    { offsetof(FxKeyframe, blur) + 0, F_DOUBLE, 0 },
    { offsetof(FxKeyframe, blur) + 8, F_DOUBLE, 0 },
    { offsetof(FxKeyframe, crop) + 0, F_DOUBLE, NAN },
    { offsetof(FxKeyframe, crop) + 8, F_DOUBLE, NAN },
    { offsetof(FxKeyframe, crop) + 16, F_DOUBLE, NAN },
    { offsetof(FxKeyframe, crop) + 24, F_DOUBLE, NAN },
    { offsetof(FxKeyframe, shadowRect) + 0, F_DOUBLE, 0 },
    { offsetof(FxKeyframe, shadowRect) + 8, F_DOUBLE, 0 },
    { offsetof(FxKeyframe, shadowRect) + 16, F_DOUBLE, 0 },
    { offsetof(FxKeyframe, shadowRect) + 24, F_DOUBLE, 0 },
    { offsetof(FxKeyframe, shadowFade), F_DOUBLE, 50.0 },
    { offsetof(FxKeyframe, borderWidth), F_DOUBLE, 0 },
    { offsetof(FxKeyframe, softness), F_DOUBLE, NAN },
    { offsetof(FxKeyframe, borderMode), F_INT, 1 },
    { offsetof(FxKeyframe, posterize), F_INT, 0 },
    { offsetof(FxKeyframe, strobeValue), F_INT, 1 },
    { offsetof(FxKeyframe, procamp) + 0, F_DOUBLE, 1.0 },
    { offsetof(FxKeyframe, procamp) + 8, F_DOUBLE, 0 },
    { offsetof(FxKeyframe, procamp) + 16, F_DOUBLE, 1.0 },
    { offsetof(FxKeyframe, procamp) + 24, F_DOUBLE, 0 },
};

template <class T> T &At(FxKeyframe *kf, size_t off)
{
    return *reinterpret_cast<T *>(reinterpret_cast<char *>(kf) + off);
}
template <class T> const T &At(const FxKeyframe *kf, size_t off)
{
    return *reinterpret_cast<const T *>(reinterpret_cast<const char *>(kf) + off);
}

bool Selected(const FxKeyframe *mask, const PlainField &f)
{
    return f.kind == F_INT ? At<int32_t>(mask, f.offset) != 0 : At<double>(mask, f.offset) != 0.0;
}

// Colours: red in the low byte, then green, blue; alpha ends as 0.
uint32_t ColourDifference(uint32_t a, uint32_t b)
{
    uint32_t r = 0;
    for (int s = 0; s < 24; s += 8) {
        int d = int((a >> s) & 0xFF) - int((b >> s) & 0xFF);
        r |= uint32_t(d < 0 ? 0 : d) << s;
    }
    return r;
}
uint32_t ColourSum(uint32_t a, uint32_t b)
{
    uint32_t r = 0;
    for (int s = 0; s < 24; s += 8) {
        int d = int((a >> s) & 0xFF) + int((b >> s) & 0xFF);
        r |= uint32_t(d > 255 ? 255 : d) << s;
    }
    return r;
}

bool WarpValid(int n)
{
    return n >= 0 && n < g_fxWarps.count;
}

int WarpNumberOf(const GUID &id)
{
    for (int i = 0; i < g_fxWarps.count; ++i)
        if (IsEqualGUID(g_fxWarps.entries[i].id, id))
            return i;
    return -1;
}

bool AnyOrientation(const FxKeyframe *m)
{
    return m->orientation.w != 0 || m->orientation.x != 0 || m->orientation.y != 0 || m->orientation.z != 0;
}

void SyncEnd(FxKeyframe *kf)
{
    kf->endFrame = kf->startFrame + kf->delay;
    kf->endTime = kf->startTime + kf->delay;
}

// A keyframe set to another keyframe's warp with that warp's defaults, to
// stand in where the warps differ; null when none is needed or allocation
// fails (the caller then keeps the real keyframe).
FxKeyframe *WarpStandIn(const FxKeyframe *like)
{
    FxKeyframe *t = NewKeyframe();
    if (!t)
        return nullptr;
    t->warpId = like->warpId;
    t->warpNumber = -1;
    SetKeyframeFilter(t, like->warpNumber, 0);
    return t;
}

}  // namespace

uint32_t MakeFullAttributeMask(FxKeyframe *m)
{
    memset(m, 0, sizeof *m);
    m->delay = 1;
    for (int c = 0; c < 3; ++c) {
        Tcb(m, c)->t = 1.0;
        Speed(m, c)->speedIn = 1;
    }
    m->position[0] = m->position[1] = m->position[2] = 1.0;
    m->orientation.z = 1.0;
    for (int i = 0; i < 15; ++i)
        *Shear(m, i) = 1.0;
    m->imageName[0] = 1;
    m->spins[0] = m->spins[1] = m->spins[2] = 1;
    memset(reinterpret_cast<char *>(m) + kBlockFrom, 1, kBlockTo - kBlockFrom);
    if (g_fxWarpInMasks)
        return 0x01010101u;
    m->warpFlags = 0;
    m->warpNumber = 0;
    memset(&m->warpId, 0, sizeof m->warpId);
    memset(m->warpParams, 0, sizeof m->warpParams);
    return 0;
}

static const FxKeyframe *OrFull(const FxKeyframe *mask, FxKeyframe *storage)
{
    if (mask)
        return mask;
    MakeFullAttributeMask(storage);
    return storage;
}

uint32_t ResetKeyframeAttributesByMask(FxKeyframe *kf, const FxKeyframe *mask)
{
    FxKeyframe full;
    const FxKeyframe *m = OrFull(mask, &full);
    const FxKeyframe *d = FxAttributeDefaults();
    uint32_t bits = 0;
    if (m->index) {
        kf->index = 1;
        bits |= FXA_INDEX;
    }
    if (m->startFrame) {
        kf->startFrame = 1;
        kf->startTime = 1.0;
        SyncEnd(kf);
        bits |= FXA_TIMING;
    }
    if (m->delay) {
        kf->delay = 0;
        SyncEnd(kf);
        bits |= FXA_TIMING;
    }
    if (m->identifier)
        kf->identifier = 0;
    if (m->defaultX != 0)
        kf->defaultX = 0;
    if (m->defaultY != 0)
        kf->defaultY = 0;
    for (int c = 0; c < 3; ++c) {
        if (Tcb(m, c)->t != 0) {
            *Tcb(kf, c) = FxTcb{ 0, 0, 0 };
            bits |= FXA_TCB << c;
        }
        if (Speed(m, c)->speedIn) {
            SpeedCurve *s = Speed(kf, c);
            s->speedIn = s->speedOut = 50;
            s->flags |= SPEED_STALE;
            bits |= (FXA_SPEED_IN | FXA_SPEED_OUT) << c;
        }
    }
    if (m->flags)
        kf->flags &= ~(KF_FLAT | KF_SPIN_LINKED);
    if (m->savedZ != 0) {
        kf->savedScale[0] = kf->savedScale[1] = kf->savedScale[2] = 0;
        kf->savedZ = FX_DEFAULT_Z;
    }
    if (m->imageName[0]) {
        kf->imageName[0] = 0;
        bits |= FXA_IMAGE;
    }
    const double positionReset[3] = { kf->defaultX, kf->defaultY, FX_DEFAULT_Z };
    for (int i = 0; i < 3; ++i)
        if (m->position[i] != 0) {
            kf->position[i] = positionReset[i];
            bits |= FXA_POSITION;
        }
    if (AnyOrientation(m)) {
        ResetKeyframeOrientation(kf);
        bits |= FXA_ORIENTATION;
    }
    for (int i = 0; i < 3; ++i)
        if (m->spins[i]) {
            kf->spins[i] = 0;
            bits |= FXA_SPINS;
        }
    double dw, dh;
    GetDefaultKeyframeSize(&dw, &dh);
    if (m->width != 0)
        kf->width = dw;
    if (m->height != 0)
        kf->height = dh;
    for (int i = 0; i < 15; ++i)
        if (*Shear(m, i) != 0) {
            *Shear(kf, i) = i >= 12 ? 1.0 : 0.0;
            bits |= FXA_SHAPE;
        }
    UpdateKeyframeCorners(kf);

    for (const PlainField &f : kPlain)
        if (Selected(m, f)) {
            if (f.kind == F_INT)
                At<int32_t>(kf, f.offset) = int32_t(f.reset);
            else
                At<double>(kf, f.offset) = std::isnan(f.reset) ? At<double>(d, f.offset) : f.reset;
            bits |= FXA_ATTRIBUTES;
        }
    struct Word {
        uint32_t FxKeyframe::*field;
        uint32_t reset;
    };
    const Word words[] = { { &FxKeyframe::shadowColour, 0 },   { &FxKeyframe::borderColour, d->borderColour },
                           { &FxKeyframe::monoFlags, 0 },      { &FxKeyframe::monoColour, MONO_NO_COLOUR },
                           { &FxKeyframe::strobeFlags, 0 } };
    for (const Word &w : words)
        if (m->*w.field) {
            kf->*w.field = w.reset;
            bits |= FXA_ATTRIBUTES;
        }
    if (m->cropMode) {
        kf->cropMode = d->cropMode;
        bits |= FXA_ATTRIBUTES;
    }
    if (m->warpNumber) {
        memset(&kf->warpId, 0, sizeof kf->warpId);
        bits |= FXA_ATTRIBUTES;
        if (!SetKeyframeFilter(kf, 0, 0) && WarpValid(kf->warpNumber)) {
            const FxWarpEntry &e = g_fxWarps.entries[kf->warpNumber];
            for (int i = 0; i < e.paramCount && i < 16; ++i) {
                if (m->warpParams[i] == 0)
                    continue;
                if (e.params[i].kind == 1) {
                    kf->warpParams[i] = e.params[i].defaultValue;
                    kf->warpFlags &= ~(1u << i);
                } else {
                    kf->warpParams[i] = e.params[i].computedValue;
                    kf->warpFlags |= 1u << i;
                }
            }
        }
    }
    for (int i = 0; i < 16; ++i)
        if (m->warpParams[i] != 0)
            bits |= FXA_ATTRIBUTES;
    if (m->attributeMode) {
        kf->attributeMode = d->attributeMode;
        bits |= FXA_ATTRIBUTES;
    }
    return bits;
}

FxKeyframe *CopyKeyframeAttributes(FxKeyframe *dst, FxKeyframe *src, const FxKeyframe *mask)
{
    if (!dst || !src)
        return dst;
    FxKeyframe full;
    const FxKeyframe *m = OrFull(mask, &full);
    if (m->index)
        dst->index = src->index;
    if (m->startFrame) {
        dst->startFrame = src->startFrame;
        dst->startTime = src->startTime;
        SyncEnd(dst);
    }
    if (m->delay) {
        dst->delay = src->delay;
        SyncEnd(dst);
    }
    if (m->identifier)
        dst->identifier = src->identifier;
    if (m->defaultX != 0)
        dst->defaultX = src->defaultX;
    if (m->defaultY != 0)
        dst->defaultY = src->defaultY;
    for (int c = 0; c < 3; ++c) {
        if (Tcb(m, c)->t != 0)
            *Tcb(dst, c) = *Tcb(src, c);
        if (Speed(m, c)->speedIn)
            *Speed(dst, c) = *Speed(src, c);
    }
    if (m->flags)
        dst->flags = src->flags;
    if (m->savedZ != 0) {
        memcpy(dst->savedScale, src->savedScale, sizeof dst->savedScale);
        dst->savedZ = src->savedZ;
    }
    if (m->imageName[0] && dst != src)
        memcpy(dst->imageName, src->imageName, sizeof dst->imageName);
    for (int i = 0; i < 3; ++i)
        if (m->position[i] != 0)
            dst->position[i] = src->position[i];
    if (AnyOrientation(m)) {
        dst->orientation = src->orientation;
        memcpy(dst->rotation, src->rotation, sizeof dst->rotation);
    }
    for (int i = 0; i < 3; ++i)
        if (m->spins[i])
            dst->spins[i] = src->spins[i];
    if (m->width != 0)
        dst->width = src->width;
    if (m->height != 0)
        dst->height = src->height;
    for (int i = 0; i < 15; ++i)
        if (*Shear(m, i) != 0)
            *Shear(dst, i) = *Shear(src, i);
    UpdateKeyframeCorners(dst);

    for (const PlainField &f : kPlain)
        if (Selected(m, f)) {
            if (f.kind == F_INT)
                At<int32_t>(dst, f.offset) = At<int32_t>(src, f.offset);
            else
                At<double>(dst, f.offset) = At<double>(src, f.offset);
        }
    for (uint32_t FxKeyframe::*w : { &FxKeyframe::shadowColour, &FxKeyframe::borderColour, &FxKeyframe::monoFlags,
                                      &FxKeyframe::monoColour, &FxKeyframe::strobeFlags })
        if (m->*w)
            dst->*w = src->*w;
    if (m->cropMode)
        dst->cropMode = src->cropMode;
    if (m->warpNumber) {
        // The identifier names the warp; the number is looked up again.
        src->warpNumber = WarpNumberOf(src->warpId);
        dst->warpId = src->warpId;
        SetKeyframeFilter(dst, src->warpNumber, 0);
    }
    if (dst->warpNumber == src->warpNumber) {
        if (m->warpFlags)
            dst->warpFlags = src->warpFlags;
        for (int i = 0; i < 16; ++i)
            if (m->warpParams[i] != 0)
                dst->warpParams[i] = src->warpParams[i];
    }
    if (m->attributeMode)
        dst->attributeMode = src->attributeMode;
    return dst;
}

int CompareKeyframeAttributes(const FxKeyframe *a, const FxKeyframe *b, const FxKeyframe *mask)
{
    if (!a || !b)
        return 0;
    FxKeyframe full;
    const FxKeyframe *m = OrFull(mask, &full);
    if (m->index && a->index != b->index)
        return 0;
    if (m->startFrame && (a->startFrame != b->startFrame || a->startTime != b->startTime))
        return 0;
    if (m->delay && a->delay != b->delay)
        return 0;
    if (m->identifier && a->identifier != b->identifier)
        return 0;
    if (m->defaultX != 0 && a->defaultX != b->defaultX)
        return 0;
    if (m->defaultY != 0 && a->defaultY != b->defaultY)
        return 0;
    for (int c = 0; c < 3; ++c) {
        if (Tcb(m, c)->t != 0 && memcmp(Tcb(a, c), Tcb(b, c), sizeof(FxTcb)) != 0)
            return 0;
        if (Speed(m, c)->speedIn &&
            (Speed(a, c)->speedIn != Speed(b, c)->speedIn || Speed(a, c)->speedOut != Speed(b, c)->speedOut))
            return 0;
    }
    if (m->flags && a->flags != b->flags)
        return 0;
    if (m->savedZ != 0 && (memcmp(a->savedScale, b->savedScale, sizeof a->savedScale) != 0 || a->savedZ != b->savedZ))
        return 0;
    if (m->imageName[0] && strncmp(a->imageName, b->imageName, FX_IMAGE_NAME) != 0)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (m->position[i] != 0 && a->position[i] != b->position[i])
            return 0;
    if (AnyOrientation(m)) {
        const Quat &p = a->orientation, &q = b->orientation;
        float dot = float(p.w * q.w + p.x * q.x + p.y * q.y + p.z * q.z);
        if (!(1.0f - dot < 0.00005f))
            return 0;
    }
    for (int i = 0; i < 3; ++i)
        if (m->spins[i] && a->spins[i] != b->spins[i])
            return 0;
    if (m->width != 0 && a->width != b->width)
        return 0;
    if (m->height != 0 && a->height != b->height)
        return 0;
    for (int i = 0; i < 15; ++i)
        if (*Shear(m, i) != 0 && *Shear(a, i) != *Shear(b, i))
            return 0;
    for (const PlainField &f : kPlain)
        if (Selected(m, f)) {
            bool same = f.kind == F_INT ? At<int32_t>(a, f.offset) == At<int32_t>(b, f.offset)
                                        : At<double>(a, f.offset) == At<double>(b, f.offset);
            if (!same)
                return 0;
        }
    for (uint32_t FxKeyframe::*w : { &FxKeyframe::shadowColour, &FxKeyframe::borderColour, &FxKeyframe::monoFlags,
                                      &FxKeyframe::monoColour, &FxKeyframe::strobeFlags })
        if (m->*w && a->*w != b->*w)
            return 0;
    if (m->cropMode && a->cropMode != b->cropMode)
        return 0;
    if (m->warpNumber && a->warpNumber != b->warpNumber)
        return 0;
    if (m->warpFlags && a->warpFlags != b->warpFlags)
        return 0;
    for (int i = 0; i < 16; ++i)
        if (m->warpParams[i] != 0 && a->warpParams[i] != b->warpParams[i])
            return 0;
    if (m->attributeMode && a->attributeMode != b->attributeMode)
        return 0;
    return 1;
}

FxKeyframe *MakeKeyframeOffsets(FxKeyframe *o, const FxKeyframe *a, const FxKeyframe *b, const FxKeyframe *mask)
{
    if (!o || !a || !b)
        return o;
    FxKeyframe full;
    const FxKeyframe *m = OrFull(mask, &full);
    if (m->index)
        o->index = a->index - b->index;
    if (m->startFrame) {
        double d = a->startTime - b->startTime;
        o->startTime += d;
        o->endTime += d;
        o->startFrame = FxRound(o->startTime);
        o->endFrame = FxRound(o->endTime);
    }
    if (m->delay) {
        int d = a->delay - b->delay;
        o->delay = d < 0 ? 0 : d;
    }
    for (int c = 0; c < 3; ++c) {
        if (Tcb(m, c)->t != 0) {
            Tcb(o, c)->t = Tcb(a, c)->t - Tcb(b, c)->t;
            Tcb(o, c)->c = Tcb(a, c)->c - Tcb(b, c)->c;
            Tcb(o, c)->b = Tcb(a, c)->b - Tcb(b, c)->b;
        }
        if (Speed(m, c)->speedIn) {
            Speed(o, c)->speedIn = uint16_t(Speed(a, c)->speedIn - Speed(b, c)->speedIn);
            Speed(o, c)->speedOut = uint16_t(Speed(a, c)->speedOut - Speed(b, c)->speedOut);
            Speed(o, c)->flags |= SPEED_STALE;
        }
    }
    for (int i = 0; i < 3; ++i)
        if (m->position[i] != 0)
            o->position[i] = a->position[i] - b->position[i];
    if (AnyOrientation(m)) {
        o->orientation = QuatMultiply(a->orientation, QuatConjugate(b->orientation));
        QuatToEuler(o->rotation, o->orientation);
    }
    for (int i = 0; i < 3; ++i)
        if (m->spins[i])
            o->spins[i] = a->spins[i] - b->spins[i];
    if (m->width != 0)
        o->width = a->width - b->width;
    if (m->height != 0)
        o->height = a->height - b->height;
    for (int i = 0; i < 15; ++i)
        if (*Shear(m, i) != 0)
            *Shear(o, i) = *Shear(a, i) - *Shear(b, i);
    UpdateKeyframeCorners(o);

    for (const PlainField &f : kPlain)
        if (Selected(m, f)) {
            if (f.kind == F_INT)
                At<int32_t>(o, f.offset) = At<int32_t>(a, f.offset) - At<int32_t>(b, f.offset);
            else
                At<double>(o, f.offset) = At<double>(a, f.offset) - At<double>(b, f.offset);
        }
    if (m->cropMode)
        o->cropMode = (a->cropMode != 0) != (b->cropMode != 0);
    for (uint32_t FxKeyframe::*w : { &FxKeyframe::shadowColour, &FxKeyframe::borderColour, &FxKeyframe::monoColour })
        if (m->*w)
            o->*w = ColourDifference(a->*w, b->*w);
    if (m->monoFlags)
        o->monoFlags = a->monoFlags & ~b->monoFlags;
    if (m->strobeFlags)
        o->strobeFlags = a->strobeFlags;
    if (m->warpNumber) {
        o->warpId = b->warpId;
        o->warpNumber = -1;
        SetKeyframeFilter(o, b->warpNumber, 0);
    }
    if (o->warpNumber == b->warpNumber) {
        FxKeyframe *standIn = a->warpNumber != b->warpNumber ? WarpStandIn(b) : nullptr;
        const FxKeyframe *aa = standIn ? standIn : a;
        if (m->warpFlags)
            o->warpFlags = aa->warpFlags & ~b->warpFlags;
        for (int i = 0; i < 16; ++i)
            if (m->warpParams[i] != 0)
                o->warpParams[i] = aa->warpParams[i] - b->warpParams[i];
        FreeKeyframe(standIn);
    }
    if (m->attributeMode)
        o->attributeMode = a->attributeMode - b->attributeMode;
    return o;
}

FxKeyframe *ApplyKeyframeOffsets(FxKeyframe *dst, const FxKeyframe *s, const FxKeyframe *o, const FxKeyframe *mask)
{
    if (!dst || !s || !o)
        return dst;
    FxKeyframe full;
    const FxKeyframe *m = OrFull(mask, &full);
    if (m->index)
        dst->index = s->index + o->index;
    if (m->startFrame) {
        dst->startTime = s->startTime + o->startTime;
        dst->endTime = s->endTime + o->endTime;
        dst->startFrame = FxRound(dst->startTime);
        dst->endFrame = FxRound(dst->endTime);
    }
    if (m->delay) {
        int d = s->delay + o->delay;
        dst->delay = d < 0 ? 0 : d;
        SyncEnd(dst);
    }
    for (int c = 0; c < 3; ++c) {
        if (Tcb(m, c)->t != 0) {
            Tcb(dst, c)->t = Tcb(s, c)->t + Tcb(o, c)->t;
            Tcb(dst, c)->c = Tcb(s, c)->c + Tcb(o, c)->c;
            Tcb(dst, c)->b = Tcb(s, c)->b + Tcb(o, c)->b;
        }
        if (Speed(m, c)->speedIn) {
            Speed(dst, c)->speedIn = uint16_t(Speed(s, c)->speedIn + Speed(o, c)->speedIn);
            Speed(dst, c)->speedOut = uint16_t(Speed(s, c)->speedOut + Speed(o, c)->speedOut);
            Speed(dst, c)->flags |= SPEED_STALE;
        }
    }
    for (int i = 0; i < 3; ++i)
        if (m->position[i] != 0)
            dst->position[i] = s->position[i] + o->position[i];
    if (AnyOrientation(m)) {
        dst->orientation = QuatMultiply(o->orientation, s->orientation);
        QuatToEuler(dst->rotation, dst->orientation);
    }
    for (int i = 0; i < 3; ++i)
        if (m->spins[i])
            dst->spins[i] = s->spins[i] + o->spins[i];
    if (m->width != 0)
        dst->width = s->width + o->width;
    if (m->height != 0)
        dst->height = s->height + o->height;
    for (int i = 0; i < 15; ++i)
        if (*Shear(m, i) != 0)
            *Shear(dst, i) = *Shear(s, i) + *Shear(o, i);
    UpdateKeyframeCorners(dst);

    for (const PlainField &f : kPlain)
        if (Selected(m, f)) {
            if (f.kind == F_INT)
                At<int32_t>(dst, f.offset) = At<int32_t>(s, f.offset) + At<int32_t>(o, f.offset);
            else
                At<double>(dst, f.offset) = At<double>(s, f.offset) + At<double>(o, f.offset);
        }
    if (m->cropMode)
        dst->cropMode = (s->cropMode != 0 || o->cropMode != 0) ? 1 : 0;
    for (uint32_t FxKeyframe::*w : { &FxKeyframe::shadowColour, &FxKeyframe::borderColour, &FxKeyframe::monoColour })
        if (m->*w)
            dst->*w = ColourSum(s->*w, o->*w);
    if (m->monoFlags)
        dst->monoFlags = s->monoFlags | o->monoFlags;
    if (m->strobeFlags)
        dst->strobeFlags = s->strobeFlags;
    if (m->warpNumber) {
        dst->warpId = o->warpId;
        SetKeyframeFilter(dst, o->warpNumber, 0);
    }
    if (dst->warpNumber == o->warpNumber) {
        FxKeyframe *standIn = s->warpNumber != o->warpNumber ? WarpStandIn(o) : nullptr;
        const FxKeyframe *ss = standIn ? standIn : s;
        if (m->warpFlags)
            dst->warpFlags = ss->warpFlags | o->warpFlags;
        for (int i = 0; i < 16; ++i)
            if (m->warpParams[i] != 0)
                dst->warpParams[i] = ss->warpParams[i] + o->warpParams[i];
        FreeKeyframe(standIn);
    }
    if (m->attributeMode)
        dst->attributeMode = s->attributeMode + o->attributeMode;
    return dst;
}
