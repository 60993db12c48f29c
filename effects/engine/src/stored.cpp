// Laying stored paths (motion templates) onto the paths of an effect, as
// stored or relative to where each object already is.
#include <cstring>

#include "fxedit.h"

namespace {

bool Wraps(const FxKeyframe *kf)
{
    return kf->next->index <= kf->index;
}

constexpr size_t kBlockFrom = offsetof(FxKeyframe, fade);
constexpr size_t kBlockTo = offsetof(FxKeyframe, faceSheen) + sizeof(FxKeyframe::faceSheen);

void SetBlock(FxKeyframe *m, int value)
{
    memset(reinterpret_cast<char *>(m) + kBlockFrom, value, kBlockTo - kBlockFrom);
}

void ClearWarp(FxKeyframe *m)
{
    m->warpFlags = 0;
    m->warpNumber = 0;
    memset(m->warpParams, 0, sizeof m->warpParams);
}

FxKeyframe *LastOfRing(FxKeyframe *ring)
{
    FxKeyframe *k = ring;
    while (!Wraps(k))
        k = k->next;
    return k;
}

}  // namespace

FxKeyframe *DuplicateKeyframeRingMasked(FxKeyframe *ring, const FxKeyframe *record, const FxKeyframe *mask,
                                        int split)
{
    if (!ring)
        return nullptr;
    FxKeyframe m1, m2;
    bool splitting = record && !mask && split;
    if (splitting) {
        // Geometry, timing and speeds move by the offsets; the attribute
        // block and the spins come over as they are.
        MakeFullAttributeMask(&m1);
        SetBlock(&m1, 0);
        m1.spins[0] = m1.spins[1] = m1.spins[2] = 0;
        memset(&m2, 0, sizeof m2);
        SetBlock(&m2, 1);
        m2.spins[0] = m2.spins[1] = m2.spins[2] = 1;
        if (!g_fxWarpInMasks)
            ClearWarp(&m2);
    }
    FxKeyframe *head = nullptr;
    for (FxKeyframe *k = ring;; k = k->next) {
        FxKeyframe *nk = NewKeyframe();
        if (!nk)
            break;   // the ring made so far
        if (!record) {
            CopyKeyframeAttributes(nk, k, mask);
        } else if (splitting) {
            ApplyKeyframeOffsets(nk, k, record, &m1);
            CopyKeyframeAttributes(nk, k, &m2);
        } else {
            ApplyKeyframeOffsets(nk, k, record, mask);
        }
        nk->index = k->index;
        nk->startFrame = k->startFrame;
        nk->startTime = k->startTime;
        nk->endFrame = k->endFrame;
        nk->endTime = k->endTime;
        nk->delay = k->delay;
        if (!head) {
            head = nk;
        } else {
            FxKeyframe *last = head->prev;
            nk->prev = last;
            nk->next = head;
            last->next = nk;
            head->prev = nk;
        }
        if (Wraps(k))
            break;
    }
    return head;
}

FxKeyframe *ReverseKeyframeRing(FxKeyframe *ring)
{
    if (!ring)
        return nullptr;
    FxKeyframe *last = LastOfRing(ring);
    int S = ring->startFrame + last->endFrame;
    double T = ring->startTime + last->endTime;
    int n = last->index;
    FxKeyframe *k = ring;
    do {
        FxKeyframe *next = k->next;
        int sf = k->startFrame, ef = k->endFrame;
        double st = k->startTime, et = k->endTime;
        k->startFrame = S - ef;
        k->endFrame = S - sf;
        k->startTime = T - et;
        k->endTime = T - st;
        k->index = n + 1 - k->index;
        k->next = k->prev;
        k->prev = next;
        k = next;
    } while (k != ring);
    return last;
}

void RetimeKeyframeRing(FxKeyframe *first, double wrapShift, double shift, const FxKeyframe *tmpl)
{
    if (!first)
        return;
    bool wrapped = false;
    int k = 1;
    FxKeyframe *kf = first;
    do {
        if (kf != first && !wrapped && kf->index <= k - 1) {
            shift += wrapShift;
            wrapped = true;
        }
        kf->startTime += shift;
        kf->endTime += shift;
        kf->index = k++;
        kf->startFrame = FxRound(kf->startTime);
        kf->endFrame = FxRound(kf->endTime);
        if (tmpl) {
            kf->width = tmpl->width;
            kf->height = tmpl->height;
            kf->defaultX = tmpl->defaultX;
            kf->defaultY = tmpl->defaultY;
        }
        UpdateKeyframeCorners(kf);
        kf = kf->next;
    } while (kf != first);
}

namespace {

int GroupStart(FxPath *path, FxPath **start)
{
    int group = (path->imageId >> 8) & 0xFF;
    FxPath *first = path;
    while ((first->imageId & 0xFF) != 0 && first->prev && ((first->prev->imageId >> 8) & 0xFF) == group)
        first = first->prev;
    int n = 0;
    for (FxPath *p = first; p && ((p->imageId >> 8) & 0xFF) == group && (p == first || (p->imageId & 0xFF) != 0);
         p = p->next)
        ++n;
    *start = first;
    return n;
}

}  // namespace

int ApplyStoredPath(FxPath *first, FxPath *current, FxPath *stored, const FxApplyOptions *o, const FxKeyframe *mask)
{
    if (!o || !first || !current || !stored)
        return 0;
    uint32_t f = o->flags;
    FxPath *target;
    int count;
    if (f & APPLY_ALL) {
        target = first;
        count = CountPaths(first);
    } else if ((f & APPLY_TEXT_GROUP) &&
               ((current->imageId != 0xFFFF && (current->imageId & 0xFF) != 0) ||
                (current->next && (current->next->imageId & 0xFF) != 0))) {
        count = GroupStart(current, &target);
    } else {
        target = current;
        count = o->count;
    }
    if (count <= 0)
        return 0;

    if (o->length != 0) {
        int L = o->length;
        int most = GetMaxKeyframeCount(stored);
        if (most > L)
            L = most;
        double T = GetEffectLastTime(stored);
        if (T > 1.0)
            ScaleEffectTimes(stored, (L - 1) / (T - 1));
    }

    int repeat = 0;
    FxPath *source = stored;
    for (int done = 0; done < count && target && source && source->head; ++done) {
        // 1. The anchor.
        FxKeyframe *anchor;
        if (f & APPLY_OVERWRITE) {
            ResetPath(target);
            anchor = target->head;
        } else if (f & APPLY_AFTER) {
            anchor = LastKeyframe(target);
        } else {
            anchor = target->head;
        }
        // 2. Relative placement.
        FxKeyframe record;
        bool relative = o->relative != 0;
        if (relative) {
            bool one = ((f & APPLY_AFTER) != 0) != ((f & APPLY_REVERSE) != 0);
            FxKeyframe *reference = one ? source->head : LastKeyframe(source);
            FxKeyframe saved;
            if (f & APPLY_FROM_DEFAULT) {
                memcpy(&saved, reference, sizeof saved);
                ResetKeyframeAttributes(reference);
            }
            memset(&record, 0, sizeof record);
            MakeKeyframeOffsets(&record, anchor, reference, mask);
            if (f & APPLY_FROM_DEFAULT)
                memcpy(reference, &saved, sizeof saved);
        }
        // 3. The warp-in-masks switch.
        g_fxWarpInMasks = (f & APPLY_NO_WARPS) ? 0 : 1;
        // 4. The new ring.
        FxKeyframe *ring = DuplicateKeyframeRingMasked(source->head, relative ? &record : nullptr, mask, 1);
        if (!ring)
            return 0;
        if (f & APPLY_REVERSE)
            ring = ReverseKeyframeRing(ring);
        FxKeyframe *ringLast = ring->prev;
        // 5. Splice.
        double wrapShift = 0, baseShift = 0;
        if ((f & APPLY_OVERWRITE) || anchor->next == anchor) {
            target->head = target->current = ring;
        } else {
            FxKeyframe *before = anchor->prev, *after = anchor->next;
            before->next = ring;
            ring->prev = before;
            ringLast->next = after;
            after->prev = ringLast;
            if (target->head == anchor)
                target->head = ring;
            if (target->current == anchor)
                target->current = ring;
            if (f & APPLY_AFTER) {
                wrapShift = anchor->endTime - ring->startTime;
            } else {
                wrapShift = ringLast->endTime;
                baseShift = anchor->startTime - 1.0;
            }
        }
        // 6. Timing.
        double shift = double(o->stagger) * repeat + (o->startFrame > 1 ? o->startFrame - 1 : 0) + baseShift;
        RetimeKeyframeRing(target->head, wrapShift, shift, anchor);
        // 7. The anchor goes.
        FreeKeyframe(anchor);
        // 8. Image and work keyframe.
        AttachPathImageToAll(target);
        if (!target->current)
            target->current = target->head;
        CopyKeyframe(&target->work, target->current);
        // 9. The next stored path.
        if (f & APPLY_STEP) {
            source = source->next;
            if (!source) {
                if (!(f & APPLY_CYCLE))
                    break;
                source = stored;
                ++repeat;
            }
        }
        // 10. The next target.
        target = target->next ? target->next : first;
    }
    return 0;
}

int ApplyRegistryPath(FxPath *first, FxPath *current, FxPath *stored, const FxApplyOptions *options)
{
    return ApplyStoredPath(first, current, stored, options, nullptr);
}
