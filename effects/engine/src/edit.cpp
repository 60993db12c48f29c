// Path and keyframe editing: finding, hitting, inserting, removing,
// retiming, reversing and text-group spacing.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "fxedit.h"
#include "fxscript.h"

namespace {

bool Wraps(const FxKeyframe *kf)
{
    return kf->next->index <= kf->index;
}

FxKeyframe *CurrentOf(FxPath *path)
{
    return path->current ? path->current : path->head;
}

void Move(FxKeyframe *kf, int n)
{
    kf->startFrame += n;
    kf->endFrame += n;
    kf->startTime += n;
    kf->endTime += n;
}

// Moves `kf` and every later keyframe up to the wrap.
void MoveFrom(FxKeyframe *kf, int n)
{
    for (;; kf = kf->next) {
        Move(kf, n);
        if (Wraps(kf))
            break;
    }
}

void MovePath(FxPath *path, int n)
{
    if (path && path->head)
        MoveFrom(path->head, n);
}

}  // namespace

// ---------------------------------------------------------------- finding

FxKeyframe *FindKeyframeAtFrame(FxPath *path, int frame)
{
    if (!path || !path->head)
        return nullptr;
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        if (kf->endFrame >= frame)
            return kf->startFrame <= frame ? kf : nullptr;
        if (Wraps(kf))
            return nullptr;
    }
}

int KeyframeHoldsFrame(const FxKeyframe *kf, int frame)
{
    return kf && kf->startFrame <= frame && frame <= kf->endFrame;
}

static double CentreDistance2(const FxKeyframe *kf, POINT pt)
{
    double dx = double(pt.x) - kf->screenCentre[0], dy = double(pt.y) - kf->screenCentre[1];
    return dx * dx + dy * dy;
}

int PointInKeyframe(const FxKeyframe *kf, POINT pt)
{
    if (!kf)
        return 0;
    if (CentreDistance2(kf, pt) < 100)
        return 1;
    double minX = kf->screenCorners[0][0], maxX = minX, minY = kf->screenCorners[0][1], maxY = minY;
    for (int i = 1; i < 4; ++i) {
        minX = std::fmin(minX, kf->screenCorners[i][0]);
        maxX = std::fmax(maxX, kf->screenCorners[i][0]);
        minY = std::fmin(minY, kf->screenCorners[i][1]);
        maxY = std::fmax(maxY, kf->screenCorners[i][1]);
    }
    double x = pt.x, y = pt.y;
    if (x < minX || x > maxX || y < minY || y > maxY)
        return 0;
    // Even-odd rule over the four edges.
    bool inside = false;
    for (int i = 0, j = 3; i < 4; j = i++) {
        double xi = kf->screenCorners[i][0], yi = kf->screenCorners[i][1];
        double xj = kf->screenCorners[j][0], yj = kf->screenCorners[j][1];
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside ? 1 : 0;
}

int HitTestPaths(POINT pt, FxPath *first, FxPath **slot, uint32_t flags)
{
    FxPath *slotPath = slot ? *slot : nullptr;
    FxKeyframe *bestKf = nullptr;
    FxPath *bestPath = nullptr;
    int bestKind = FX_HIT_NONE;
    double bestD = 0;
    auto consider = [&](FxPath *path, FxKeyframe *kf, int kind) {
        double d = CentreDistance2(kf, pt);
        if (bestKind == FX_HIT_NONE) {
            bestKf = kf, bestPath = path, bestKind = kind, bestD = d;
            return;
        }
        if (path->pathFlags & PATH_NO_REHIT)
            return;
        bool better = d < bestD;
        if (!better && d == bestD)
            better = (path == slotPath && bestPath != slotPath) || (path == bestPath && kf == path->current);
        if (better)
            bestKf = kf, bestPath = path, bestKind = kind, bestD = d;
    };
    for (FxPath *path = first; path; path = path->next) {
        if (path->pathFlags & PATH_HIDDEN)
            continue;
        if ((flags & HIT_KEYFRAMES) && path->head && (!(flags & HIT_SLOT_ONLY) || path == slotPath)) {
            for (FxKeyframe *kf = path->head;; kf = kf->next) {
                if (!(kf->flags & KF_HIT_SKIP) && PointInKeyframe(kf, pt))
                    consider(path, kf, FX_HIT_KEYFRAME);
                if (Wraps(kf))
                    break;
            }
        }
        if ((flags & HIT_WORK) && PointInKeyframe(&path->work, pt))
            consider(path, &path->work, FX_HIT_PATH);
    }
    if (bestKind == FX_HIT_NONE)
        return FX_HIT_NONE;
    if (slot)
        *slot = bestPath;
    if (bestKind == FX_HIT_KEYFRAME)
        bestPath->current = bestKf;
    return bestKind;
}

// ---------------------------------------------------------------- keyframes

void RenumberRing(FxPath *path)
{
    if (!path || !path->head)
        return;
    int i = 1;
    FxKeyframe *kf = path->head;
    do {
        kf->index = i++;
        kf = kf->next;
    } while (kf != path->head);
}

static void LinkAfter(FxKeyframe *at, FxKeyframe *kf)
{
    kf->prev = at;
    kf->next = at->next;
    at->next->prev = kf;
    at->next = kf;
}

int InsertKeyframeCopy(FxPath *path, int n, uint32_t flags)
{
    if (!path || !path->head)
        return 0;
    FxKeyframe *cur = CurrentOf(path);
    FxKeyframe *copy = NewKeyframe();
    if (!copy)
        return 0;
    bool ownPixels = cur->bufferFlags & 1;
    CopyKeyframe(copy, cur);
    if (ownPixels) {
        copy->pixels = nullptr;
        copy->pixelSize = 0;
    }
    FxKeyframe *after = cur->next;   // the successor before the copy goes in
    cur->spins[0] = cur->spins[1] = cur->spins[2] = 0;
    if (flags & INSERT_AFTER) {
        LinkAfter(cur, copy);
    } else {
        LinkAfter(cur->prev, copy);
        if (cur == path->head)
            path->head = copy;
    }
    if (flags & (INSERT_AFTER | INSERT_CURRENT))
        path->current = copy;
    RenumberRing(path);
    cur->delay = 0;
    cur->endFrame = cur->startFrame;
    cur->endTime = cur->startTime;
    if (flags & INSERT_SHIFT) {
        // The keyframe after the copied one (the copy itself when it went
        // after) moves by n, every further one by n + 1.
        FxKeyframe *k = (flags & INSERT_AFTER) ? copy : after;
        if (k != path->head) {
            Move(k, n);
            for (k = k->next; k != path->head; k = k->next)
                Move(k, n + 1);
        }
    }
    return 1;
}

int InsertKeyframeAtFrame(FxPath *path, int frame, FxKeyframe *kf, uint32_t flags)
{
    if (!path || !path->head || !kf || frame < 0)
        return 0;
    FxKeyframe *head = path->head, *last = LastKeyframe(path);
    if ((flags & AT_BETWEEN) && !(frame > head->endFrame && frame < last->startFrame))
        return 0;
    FxKeyframe *before = nullptr;   // insert before this one; null appends
    for (FxKeyframe *k = head;; k = k->next) {
        if (k->endFrame >= frame) {
            if (frame >= k->startFrame)
                return 0;   // the frame is held already
            before = k;
            break;
        }
        if (Wraps(k))
            break;
    }
    FxKeyframe *nk = kf;
    if (flags & AT_NEW) {
        nk = NewKeyframe();
        if (!nk)
            return 0;
        CopyKeyframeAttributes(nk, kf, nullptr);
        nk->width = head->width;
        nk->height = head->height;
        nk->defaultX = head->defaultX;
        nk->defaultY = head->defaultY;
        AttachPathImage(nk, path);
        UpdateKeyframeCorners(nk);
    }
    // Timing: the hold keeps its length in time.
    nk->endTime = nk->endTime - nk->startTime + frame;
    nk->startTime = frame;
    nk->startFrame = frame;
    int end = FxRound(nk->endTime);
    nk->endFrame = end < frame ? frame : end;
    if (nk->endTime < nk->startTime)
        nk->endTime = nk->startTime;
    nk->delay = int(nk->endTime - nk->startTime);

    if (before) {
        LinkAfter(before->prev, nk);
        if (before == head)
            path->head = nk;
    } else {
        LinkAfter(last, nk);
    }
    RenumberRing(path);
    if (flags & AT_MAKE_CURRENT)
        path->current = nk;
    return 1;
}

FxKeyframe *UnlinkCurrentKeyframe(FxPath *path, int moveBack)
{
    if (!path || !path->head || path->head->next == path->head)
        return nullptr;
    FxKeyframe *cur = CurrentOf(path);
    cur->prev->next = cur->next;
    cur->next->prev = cur->prev;
    if (cur != path->head) {
        path->current = cur->prev;
    } else {
        FxKeyframe *h = cur->next;
        path->head = path->current = h;
        if (moveBack)
            MovePath(path, cur->startFrame - h->startFrame);
    }
    RenumberRing(path);
    cur->next = cur->prev = cur;
    cur->index = 1;
    return cur;
}

FxPath *ParseEffectText(const char *text)
{
    if (!text)
        return nullptr;
    FxPath *list = nullptr;
    if (!AppendNewPath(&list))
        return nullptr;
    if (!parsefx(text, list, nullptr, FXS_MEMORY)) {
        FreeEffect(list);
        return nullptr;
    }
    return list;
}

int ApplyScriptToKeyframe(FxKeyframe *kf, const char *text)
{
    if (!kf)
        return 0;
    FxPath *parsed = ParseEffectText(text);
    if (!parsed)
        return 0;
    CopyKeyframeAttributes(kf, parsed->head, nullptr);
    FreeEffect(parsed);
    return 1;
}

int PasteKeyframeAtFrame(FxPath *path, int frame, const char *text)
{
    if (!path || !path->head)
        return 0;
    FxKeyframe *kf = FindKeyframeAtFrame(path, frame);
    bool made = false;
    if (!kf) {
        kf = NewKeyframe();
        if (!kf)
            return 0;
        made = true;
    }
    if (text && !ApplyScriptToKeyframe(kf, text)) {
        if (made)
            FreeKeyframe(kf);
        return 0;
    }
    if (!made)
        return 1;
    int result = InsertKeyframeAtFrame(path, frame, kf, 0);
    if (!result)
        FreeKeyframe(kf);
    return result;
}

// ---------------------------------------------------------------- paths and timing

int DeletePath(FxPath **list, FxPath **slot, uint32_t flags)
{
    if (!slot || !*slot)
        return 0;
    FxPath *path = *slot;
    FxPath *first = list && *list ? *list : path;
    while (first->prev)
        first = first->prev;
    if (!first->next && !(flags & 1))
        return 0;
    FxPath *repl = path->next ? path->next : path->prev;
    *slot = repl;
    if (list && *list == path)
        *list = repl;
    if (path->prev)
        path->prev->next = path->next;
    if (path->next)
        path->next->prev = path->prev;
    if (first == path)
        first = path->next;
    FreePath(path);
    // The effect starts at frame 1 again.
    int m = 0;
    for (FxPath *p = first; p; p = p->next)
        if (p->head && (m == 0 || p->head->startFrame < m))
            m = p->head->startFrame;
    if (m >= 2)
        for (FxPath *p = first; p; p = p->next)
            MovePath(p, -(m - 1));
    return 1;
}

void SetKeyframeDelay(FxKeyframe *kf, int n)
{
    if (!kf)
        return;
    int delay = n < 0 ? 0 : n;
    int change = delay - (kf->endFrame - kf->startFrame);
    kf->delay = delay;
    kf->endFrame += change;
    kf->endTime += change;
    if (!Wraps(kf))
        MoveFrom(kf->next, change);
}

void SetKeyframeDuration(FxKeyframe *kf, int n)
{
    if (!kf || kf->prev->index >= kf->index)
        return;   // the head has no transition into it
    int change = (n < 1 ? 1 : n) - (kf->startFrame - kf->prev->endFrame);
    MoveFrom(kf, change);
}

void ShiftPathFrames(FxPath *path, int n)
{
    if (!path || !path->head)
        return;
    if (path->head->startFrame + n < 1)
        n = 1 - path->head->startFrame;
    MovePath(path, n);
}

void ShiftEffectFrames(FxPath *first, int n)
{
    for (FxPath *p = first; p; p = p->next)
        ShiftPathFrames(p, n);
}

// Moves one keyframe's start and end (frames and times) by n.
static void MoveKeyframe(FxKeyframe *kf, int n)
{
    kf->startFrame += n;
    kf->endFrame += n;
    kf->startTime += n;
    kf->endTime += n;
}

int InsertEffectTime(FxPath *first, int at, int frames)
{
    if (frames <= 0 || at < 1)
        return 0;
    int moved = 0;
    for (FxPath *p = first; p; p = p->next) {
        if (!p->head)
            continue;
        FxKeyframe *kf = p->head;
        do {
            if (kf->startFrame >= at) {
                MoveKeyframe(kf, frames);
                moved = 1;
            } else if (kf->endFrame >= at) {
                // A hold over the frame grows by the time put in.
                kf->endFrame += frames;
                kf->endTime += frames;
                kf->delay = kf->endFrame - kf->startFrame;
                moved = 1;
            }
            kf = kf->next;
        } while (kf != p->head);
    }
    return moved;
}

int RemoveEffectTime(FxPath *first, int at, int frames)
{
    if (frames <= 0 || at < 1)
        return 0;
    const int cut = at + frames;   // the first frame kept after the cut
    int moved = 0;
    for (FxPath *p = first; p; p = p->next) {
        if (!p->head)
            continue;
        FxKeyframe *kf = p->head;
        do {
            const int start = kf->startFrame, end = kf->endFrame;
            // Frames of [at, cut) go; a keyframe inside them keeps frame at.
            int newStart = start >= cut ? start - frames : (start >= at ? at : start);
            int newEnd = end >= cut ? end - frames : (end >= at ? at : end);
            if (kf != p->head && newStart <= kf->prev->endFrame)
                newStart = kf->prev->endFrame + 1;
            if (newEnd < newStart)
                newEnd = newStart;
            if (newStart != start || newEnd != end) {
                kf->startTime += newStart - start;
                kf->endTime += newEnd - end;
                kf->startFrame = newStart;
                kf->endFrame = newEnd;
                kf->delay = newEnd - newStart;
                moved = 1;
            }
            kf = kf->next;
        } while (kf != p->head);
    }
    return moved;
}

// Frames from the new times; starts after their predecessor's end; delays
// from the frames.
static void SettleFrames(FxPath *path)
{
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        kf->startFrame = FxRound(kf->startTime);
        kf->endFrame = FxRound(kf->endTime);
        if (kf != path->head && kf->startFrame <= kf->prev->endFrame) {
            kf->startFrame = kf->prev->endFrame + 1;
            kf->startTime = kf->startFrame;
        }
        if (kf->endFrame < kf->startFrame)
            kf->endFrame = kf->startFrame;
        if (kf->endTime < kf->startTime)
            kf->endTime = kf->startTime;
        kf->delay = kf->endFrame - kf->startFrame;
        if (Wraps(kf))
            break;
    }
}

void ScalePathTiming(FxPath *path, double value, int mode)
{
    if (!path || !path->head)
        return;
    double t0 = path->head->startTime, t1 = LastKeyframe(path)->endTime, L = t1 - t0;
    if (L <= 0)
        return;   // a path without extent has nothing to scale
    double d = value;
    if (mode == 1 && t0 + d < 1)
        d = 1 - t0;
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        for (double *t : { &kf->startTime, &kf->endTime }) {
            if (mode == 1)
                *t += (t1 - *t) / L * d;
            else
                *t += (*t - t0) / L * value;
        }
        if (Wraps(kf))
            break;
    }
    SettleFrames(path);
}

void SetPathLength(FxPath *path, int frames)
{
    if (!path || !path->head)
        return;
    ScalePathTiming(path, double(path->head->startFrame - LastKeyframe(path)->endFrame + frames - 1), 2);
}

void ScaleEffectTimes(FxPath *first, double factor)
{
    for (FxPath *p = first; p; p = p->next) {
        if (!p->head)
            continue;
        for (FxKeyframe *kf = p->head;; kf = kf->next) {
            kf->startTime = (kf->startTime - 1) * factor + 1;
            kf->endTime = (kf->endTime - 1) * factor + 1;
            kf->startFrame = FxRound(kf->startTime);
            kf->endFrame = FxRound(kf->endTime);
            if (kf != p->head && kf->startFrame <= kf->prev->startFrame)
                kf->startFrame = kf->prev->startFrame + 1;
            if (kf->endFrame < kf->startFrame)
                kf->endFrame = kf->startFrame;
            kf->delay = kf->endFrame - kf->startFrame;
            if (Wraps(kf))
                break;
        }
    }
}

void ScaleEffectLength(FxPath *first, int newLastFrame)
{
    double T = GetEffectLastTime(first);
    if (T <= 1.0)
        return;
    int target = newLastFrame;
    int most = GetMaxKeyframeCount(first);
    if (most > target)
        target = most;
    ScaleEffectTimes(first, (target - 1) / (T - 1));
}

int ResetPath(FxPath *path)
{
    if (!path || !path->head)
        return 0;
    FxKeyframe *head = path->head;
    int changed = 0;
    if (head->next != head) {
        changed = 1;
        for (FxKeyframe *kf = head->next; kf != head;) {
            FxKeyframe *next = kf->next;
            FreeKeyframe(kf);
            kf = next;
        }
    } else {
        FxKeyframe *fresh = NewKeyframe();
        if (fresh) {
            fresh->defaultX = head->defaultX;
            fresh->defaultY = head->defaultY;
            ResetKeyframeAttributes(fresh);
            changed = !CompareKeyframeAttributes(head, fresh, nullptr) || head->startFrame != 1 ||
                      head->endFrame != 1;
            FreeKeyframe(fresh);
        }
    }
    head->next = head->prev = head;
    path->current = head;
    ResetKeyframeAttributes(head);
    head->index = 1;
    head->startFrame = head->endFrame = 1;
    head->startTime = head->endTime = 1.0;
    head->delay = 0;
    return changed;
}

// ---------------------------------------------------------------- orientation and spins

void ReversePath(FxPath *path)
{
    if (!path || !path->head)
        return;
    FxKeyframe *head = path->head, *last = LastKeyframe(path);
    int S = head->startFrame + last->endFrame;
    double T = head->startTime + last->endTime;
    int count = 1;
    for (FxKeyframe *k = head; !Wraps(k); k = k->next)
        ++count;
    int n = count;
    FxKeyframe **ring = static_cast<FxKeyframe **>(malloc(sizeof(FxKeyframe *) * count));
    if (!ring)
        return;
    FxKeyframe *kf = head;
    for (int i = 0; i < count; ++i, kf = kf->next)
        ring[i] = kf;
    // The turns made on the transition into a keyframe are made, reversed,
    // on the transition into its predecessor.
    int spins0[3] = { ring[0]->spins[0], ring[0]->spins[1], ring[0]->spins[2] };
    for (int i = 0; i + 1 < count; ++i)
        for (int a = 0; a < 3; ++a)
            ring[i]->spins[a] = -ring[i + 1]->spins[a];
    for (int a = 0; a < 3; ++a)
        ring[count - 1]->spins[a] = -spins0[a];
    for (int i = 0; i < count; ++i) {
        FxKeyframe *k = ring[i];
        for (FxTcb *t : { &k->positionTcb, &k->rotationTcb, &k->shapeTcb })
            t->b = -t->b;
        for (SpeedCurve *c : { &k->positionSpeed, &k->rotationSpeed, &k->shapeSpeed }) {
            uint16_t in = c->speedIn;
            c->speedIn = c->speedOut;
            c->speedOut = in;
            c->flags |= SPEED_STALE;
        }
        int sf = k->startFrame, ef = k->endFrame;
        double st = k->startTime, et = k->endTime;
        k->startFrame = S - ef;
        k->endFrame = S - sf;
        k->startTime = T - et;
        k->endTime = T - st;
        k->index = n + 1 - k->index;
        FxKeyframe *nx = k->next;
        k->next = k->prev;
        k->prev = nx;
        k->positionSegment.flags |= SEGMENT_STALE;
        k->rotationSegment.flags |= SEGMENT_STALE;
        k->shapeSegment.flags |= SEGMENT_STALE;
    }
    free(ring);
    path->head = last;
    RefreshPath(path);
}

void ReverseEffect(FxPath *first)
{
    for (FxPath *p = first; p; p = p->next)
        ReversePath(p);
}

void NegatePathQuaternions(FxPath *path)
{
    if (!path || !path->head)
        return;
    for (FxKeyframe *kf = path->head;; kf = kf->next) {
        kf->orientation = Quat{ -kf->orientation.w, -kf->orientation.x, -kf->orientation.y, -kf->orientation.z };
        if (Wraps(kf))
            break;
    }
}

// ---------------------------------------------------------------- text groups

namespace {

bool InGroupRun(const FxPath *p, int group)
{
    return p && ((p->imageId >> 8) & 0xFF) == group;
}

// The run of paths of `path`'s text group: its first path and its size.
FxPath *GroupOf(FxPath *path, int *n)
{
    int group = (path->imageId >> 8) & 0xFF;
    FxPath *first = path;
    while ((first->imageId & 0xFF) != 0 && InGroupRun(first->prev, group))
        first = first->prev;
    // A later path with low byte 0 starts the next group.
    int count = 0;
    for (FxPath *p = first; InGroupRun(p, group) && (p == first || (p->imageId & 0xFF) != 0); p = p->next)
        ++count;
    *n = count;
    return first;
}

}  // namespace

double GetKernAmount(FxPath *path)
{
    if (!path || !path->current)
        return 0;
    int n;
    FxPath *first = GroupOf(path, &n);
    if (n < 2)
        return 0;
    int index = path->current->index;
    double sum = 0;
    int used = 0;
    FxPath *p = first;
    for (int i = 0; i < n; ++i, p = p->next) {
        FxKeyframe *kf = FindKeyframeByIndex(p, index);
        if (kf)
            p->current = kf;
        int w = n - 1 - 2 * i;
        if (w == 0 || !p->current)
            continue;
        sum += -(p->current->position[0] - p->current->defaultX) / (w / 2.0);
        ++used;
    }
    return used ? sum / used : 0;
}

void SetKernAmount(FxPath *path, double k)
{
    if (!path || (k > -0.00005 && k < 0.00005))
        return;
    int n;
    FxPath *p = GroupOf(path, &n);
    for (int i = 0; i < n; ++i, p = p->next)
        if (p->current)
            p->current->position[0] -= (n - 1 - 2 * i) / 2.0 * k;
}
