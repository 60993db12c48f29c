// Effect-wide editing: resetting attribute groups, duplicating an effect,
// single keyframes as script text, spin links, path matching, the clip
// length and the realtime limit.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "fxedit.h"
#include "fxscript.h"

FxMeshEffectCost g_fxMeshEffectCost = nullptr;

namespace {

bool Wraps(const FxKeyframe *kf)
{
    return kf->next->index <= kf->index;
}

bool Near(double a, double b)
{
    double d = a - b;
    return d > -0.00005 && d < 0.00005;
}

// Corners not convex: consecutive edge cross products of both signs.
bool CornersConvex(const FxKeyframe *kf)
{
    bool pos = false, neg = false;
    for (int i = 0; i < 4; ++i) {
        const double *a = kf->corners[i], *b = kf->corners[(i + 1) % 4], *c = kf->corners[(i + 2) % 4];
        double cross = (b[0] - a[0]) * (c[1] - b[1]) - (b[1] - a[1]) * (c[0] - b[0]);
        if (cross > 1e-8)
            pos = true;
        else if (cross < -1e-8)
            neg = true;
    }
    return !(pos && neg);
}

bool TwistSet(const FxKeyframe *kf)
{
    return kf->twist[0] != 0 || kf->twist[1] != 0 || kf->twist[2] != 0;
}

// Resets the groups whose bits are clear; with `test` only reports whether
// every such group is at its reset value.
bool ResetGroups(FxKeyframe *kf, uint32_t keep, bool test)
{
    bool same = true;
    auto put = [&](double &field, double value, bool exact = false) {
        if (!(exact ? field == value : Near(field, value)))
            same = false;
        if (!test)
            field = value;
    };
    auto clear = [&](int bit) { return !(keep & (1u << bit)); };
    if (clear(0))
        put(kf->position[0], kf->defaultX);
    if (clear(1))
        put(kf->position[1], kf->defaultY);
    if (clear(2))
        put(kf->position[2], FX_DEFAULT_Z);
    for (int a = 0; a < 3; ++a)
        if (clear(3 + a)) {
            put(kf->rotation[a], 0);
            if (kf->spins[a] != 0)
                same = false;
            if (!test)
                kf->spins[a] = 0;
        }
    if (!test && clear(3) && clear(4) && clear(5))
        kf->orientation = QuatFromEuler(kf->rotation[0], kf->rotation[1], kf->rotation[2]);
    double *rows[5] = { kf->offset, kf->extend, kf->skew, kf->twist, kf->scale };
    for (int r = 0; r < 5; ++r)
        for (int a = 0; a < 3; ++a)
            if (clear(6 + 3 * r + a))
                put(rows[r][a], r == 4 ? 1.0 : 0.0);
    if (clear(24))
        for (int a = 0; a < 3; ++a)
            if (kf->scale[a] > 1.0) {
                same = false;
                if (!test)
                    kf->scale[a] = 1.0;
            }
    if (!test)
        UpdateKeyframeCorners(kf);
    if (clear(26) && TwistSet(kf) && !CornersConvex(kf)) {
        same = false;
        if (!test) {
            kf->twist[0] = kf->twist[1] = kf->twist[2] = 0;
            UpdateKeyframeCorners(kf);
        }
    }
    return same;
}

void CutToHead(FxPath *path)
{
    FxKeyframe *head = path->head;
    for (FxKeyframe *kf = head->next; kf != head;) {
        FxKeyframe *next = kf->next;
        FreeKeyframe(kf);
        kf = next;
    }
    head->next = head->prev = head;
    head->index = 1;
    path->current = head;
}

}  // namespace

int ResetEffectAttributes(FxPath **slot, uint32_t keep, int wholeEffect)
{
    if (!slot || !*slot)
        return 0;
    if (wholeEffect && !(keep & KEEP_PATHS)) {
        while ((*slot)->next || (*slot)->prev)
            if (!DeletePath(slot, slot, 0))
                break;
    }
    for (FxPath *p = *slot; p; p = wholeEffect ? p->next : nullptr) {
        if (!p->head)
            continue;
        if (!(keep & KEEP_KEYFRAMES))
            CutToHead(p);
        for (FxKeyframe *kf = p->head;; kf = kf->next) {
            ResetGroups(kf, keep, false);
            if (Wraps(kf))
                break;
        }
    }
    return 1;
}

int EffectAttributesAreDefault(FxPath *first, uint32_t keep)
{
    for (FxPath *p = first; p; p = p->next) {
        if (!p->head)
            continue;
        for (FxKeyframe *kf = p->head;; kf = kf->next) {
            if (!ResetGroups(kf, keep, true))
                return 0;
            if (Wraps(kf))
                break;
        }
    }
    return 1;
}

FxPath *DuplicateEffect(FxPath *first)
{
    FxKeyframe mask;
    MakeFullAttributeMask(&mask);
    mask.index = mask.startFrame = mask.identifier = 1;
    mask.defaultX = mask.defaultY = mask.width = mask.height = 1;
    mask.flags = 1;
    mask.savedZ = 1;
    FxPath *copy = nullptr;
    for (FxPath *p = first; p; p = p->next) {
        FxPath *slot = nullptr;
        if (!AppendNewPath(&slot)) {
            FreeEffect(copy);
            return nullptr;
        }
        AppendPath(&copy, slot);
        slot->number = p->number;
        slot->pathFlags = p->pathFlags;
        slot->imageId = p->imageId;
        memcpy(slot->name, p->name, sizeof slot->name);
        CopyKeyframe(&slot->work, &p->work);
        if (!p->head)
            continue;
        FxKeyframe *prev = nullptr;
        for (FxKeyframe *kf = p->head;; kf = kf->next) {
            FxKeyframe *nk = prev ? NewKeyframe() : slot->head;
            if (!nk) {
                FreeEffect(copy);
                return nullptr;
            }
            CopyKeyframeAttributes(nk, kf, &mask);
            nk->endFrame = kf->endFrame;
            nk->endTime = kf->endTime;
            if (prev) {
                nk->prev = prev;
                nk->next = slot->head;
                prev->next = nk;
                slot->head->prev = nk;
            }
            if (kf == p->current)
                slot->current = nk;
            prev = nk;
            if (Wraps(kf))
                break;
        }
    }
    return copy;
}

int KeyframeToScript(FxKeyframe *kf, char **text)
{
    if (!kf || !text)
        return 0;
    *text = nullptr;
    FxPath *scratch = nullptr;
    if (!AppendNewPath(&scratch))
        return 0;
    CopyKeyframeAttributes(scratch->head, kf, nullptr);
    int size = WriteFxScriptText(scratch, nullptr, nullptr);
    int result = 0;
    if (size > 0 && (*text = static_cast<char *>(malloc(size))) != nullptr)
        result = WriteFxScriptText(scratch, nullptr, *text);
    FreeEffect(scratch);
    return result;
}

int CopyKeyframeAsScript(FxPath *path, int *indexSlot, char **text)
{
    if (!path || !indexSlot)
        return 0;
    FxKeyframe *kf = FindKeyframeByIndex(path, *indexSlot);
    if (!kf)
        return 0;
    *indexSlot = kf->startFrame;
    return KeyframeToScript(kf, text);
}

// ---------------------------------------------------------------- spins

int SyncKeyframeSpins(FxKeyframe *kf)
{
    if (!kf)
        return 0;
    int axis = kf->spins[0] ? 0 : kf->spins[1] ? 1 : -1;
    if (axis < 0)
        return 0;
    int other = 1 - axis;
    int linked = 0;
    auto link = [&](FxKeyframe *n) {
        n->rotationTcb.c = -1.0;
        n->flags |= KF_SPIN_LINKED;
        linked = 1;
    };
    // Two steps each way, never across the wrap nor past a linked keyframe.
    FxKeyframe *k = kf;
    for (int s = 0; s < 2 && k->prev->index < k->index; ++s) {
        k = k->prev;
        if (k->flags & KF_SPIN_LINKED)
            break;
        if (k->spins[other])
            link(k);
    }
    k = kf;
    for (int s = 0; s < 2 && !Wraps(k); ++s) {
        k = k->next;
        if (k->flags & KF_SPIN_LINKED)
            break;
        if (k->spins[other])
            link(k);
    }
    if (linked)
        link(kf);
    return linked;
}

int SyncPathSpins(FxPath *path)
{
    if (!path || !path->head)
        return 0;
    std::vector<FxKeyframe *> wasLinked;
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        if (kf->flags & KF_SPIN_LINKED)
            wasLinked.push_back(kf);
        kf->flags &= ~KF_SPIN_LINKED;
        if (Wraps(kf))
            break;
    }
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        SyncKeyframeSpins(kf);
        if (Wraps(kf))
            break;
    }
    // A continuity that only the link gave goes with the link; one the
    // user set on an unlinked keyframe stays.
    for (FxKeyframe *kf : wasLinked)
        if (!(kf->flags & KF_SPIN_LINKED))
            kf->rotationTcb.c = 0.0;
    return wasLinked.empty() ? 0 : 1;
}

void MatchPathsById(FxPath *oldList, FxPath *newList)
{
    for (FxPath *o = oldList; o; o = o->next)
        o->pathFlags |= PATH_UNMATCHED;
    for (FxPath *n = newList; n; n = n->next) {
        if ((n->imageId & 0xFF) == 0)
            continue;
        for (FxPath *o = oldList; o; o = o->next) {
            if (!(o->pathFlags & PATH_UNMATCHED) || o->imageId != n->imageId)
                continue;
            o->pathFlags &= ~PATH_UNMATCHED;
            n->image = o->image;
            memset(&o->image, 0, sizeof o->image);
            n->imageObject = o->imageObject;
            o->imageObject = nullptr;
            break;
        }
    }
}

// ---------------------------------------------------------------- clip length

namespace {

void ScaleToTarget(FxPath *first, int oldLength, int newLength)
{
    int E = GetEffectLastFrame(first);
    double T = GetEffectLastTime(first);
    int most = GetMaxKeyframeCount(first);
    int target = oldLength == E ? newLength : int(double(newLength) * T / oldLength);
    if (target < most)
        target = most;
    if (T > 1.0)
        ScaleEffectTimes(first, (target - 1) / (T - 1));
}

void ShiftAll(FxPath *first, int n)
{
    for (FxPath *p = first; p; p = p->next) {
        if (!p->head)
            continue;
        for (FxKeyframe *kf = p->head;; kf = kf->next) {
            kf->startFrame += n;
            kf->endFrame += n;
            kf->startTime += n;
            kf->endTime += n;
            if (Wraps(kf))
                break;
        }
    }
}

}  // namespace

int SetEffectClipLength(FxPath *first, int mode, int oldLength, int newLength)
{
    if (!first || newLength == 0 || newLength == oldLength)
        return 0;
    int E = GetEffectLastFrame(first);
    if (oldLength == 0)
        oldLength = E;
    if (oldLength <= 1 || newLength == oldLength)
        return 1;
    int m = 0;
    for (FxPath *p = first; p; p = p->next)
        if (p->head && (m == 0 || p->head->startFrame < m))
            m = p->head->startFrame;
    switch (mode) {
    case 2:
        ShiftAll(first, newLength - oldLength);
        break;
    case 0:
        ScaleToTarget(first, oldLength, newLength);
        break;
    case 3:
        if (m > 1 && E >= oldLength) {
            if (oldLength - m + 1 <= newLength) {
                ShiftAll(first, newLength - oldLength);
            } else {
                ShiftAll(first, 1 - m);
                ScaleToTarget(first, oldLength - m + 1, newLength);
            }
        } else if (m > 1) {
            if (E - m + 1 <= newLength) {
                int h = (oldLength - newLength) / 2;
                if (oldLength - E < h)
                    h = 2 * h - oldLength + E;
                if (h > m - 1)
                    h = m - 1;
                ShiftAll(first, -h);
            } else {
                ShiftAll(first, 1 - m);
                ScaleToTarget(first, E - m + 1, newLength);
            }
        } else if (E >= oldLength) {
            ScaleToTarget(first, oldLength, newLength);
        } else if (E > newLength) {
            ShiftAll(first, 1 - m);
            ScaleToTarget(first, E - m + 1, newLength);
        }
        break;
    default:
        break;
    }
    return 1;
}

// ---------------------------------------------------------------- realtime limit

FxPath *FindPathStartingAt(FxPath *first, int frame)
{
    FxPath *containing = nullptr, *after = nullptr;
    for (FxPath *p = first; p; p = p->next) {
        if (!p->head)
            continue;
        int s = p->head->startFrame, e = LastKeyframe(p)->endFrame;
        if (s == frame)
            return p;
        if (s <= frame && frame <= e) {
            if (!containing || e < LastKeyframe(containing)->endFrame)
                containing = p;
        } else if (s > frame && (!after || s < after->head->startFrame)) {
            after = p;
        }
    }
    return containing ? containing : after;
}

FxPath *FindNextPathInChain(FxPath *first, FxPath *const *excluded, int count, int from, int to)
{
    FxPath *best = nullptr;
    for (FxPath *p = first; p; p = p->next) {
        if (!p->head)
            continue;
        bool skip = false;
        for (int i = 0; i < count && !skip; ++i)
            skip = excluded[i] == p;
        int s = p->head->startFrame;
        if (skip || s < from || s >= to)
            continue;
        if (!best || s < best->head->startFrame)
            best = p;
    }
    return best;
}

int PathRealtimeCost(FxPath *path, int from, int to)
{
    if (!path || !path->head)
        return 0;
    if (path->head->warpFlags & WARP_NONE)
        return 40;
    int s = path->head->startFrame, e = LastKeyframe(path)->endFrame;
    int lo = from > s ? from : s, hi = to < e ? to : e;
    int mid = (lo + hi) / 2;
    FxKeyframe *kf = nullptr;
    for (FxKeyframe *k = path->head;; k = k->next) {
        if (k->startFrame <= mid)
            kf = k;
        if (Wraps(k))
            break;
    }
    if (!kf)
        return 1200;
    if (kf->warpFlags & WARP_NONE)
        return 40;
    double params[16];
    FxKeyframe *next = Wraps(kf) ? kf : kf->next;
    double span = next->startFrame - kf->endFrame;
    double u = span > 0 ? (mid - kf->endFrame) / span : 0;
    if (u < 0)
        u = 0;
    if (u > 1)
        u = 1;
    for (int i = 0; i < 16; ++i)
        params[i] = kf->warpParams[i] + (next->warpParams[i] - kf->warpParams[i]) * u;
    return g_fxMeshEffectCost ? g_fxMeshEffectCost(kf->warpId, params, 1.0, 1.0) : 0;
}

int CheckRealtimeLimit(FxPath *first)
{
    if (!first || !first->head)
        return 1;
    int spanEnd = GetEffectLastFrame(first);
    int largest = 0;
    int frame = 1;
    std::vector<FxPath *> chain;
    while (frame <= spanEnd) {
        FxPath *p = FindPathStartingAt(first, frame);
        if (!p)
            break;
        int chainEnd = LastKeyframe(p)->endFrame;
        chain.assign(1, p);
        int sum = PathRealtimeCost(p, frame, chainEnd);
        // The paths that start while the chain's first one plays run with it.
        while (chain.size() < 2048) {
            FxPath *q = FindNextPathInChain(first, chain.data(), int(chain.size()), frame, chainEnd + 1);
            if (!q)
                break;
            chain.push_back(q);
            sum += PathRealtimeCost(q, frame, chainEnd);
        }
        if (sum > largest)
            largest = sum;
        int next = chainEnd + 1;
        frame = next > frame ? next : frame + 1;
    }
    return largest <= FX_REALTIME_LIMIT ? 1 : 0;
}
