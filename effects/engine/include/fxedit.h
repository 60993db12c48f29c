// Editing an effect: finding and hitting keyframes, inserting and removing
// keyframes and paths, retiming, reversing, text-group spacing, and the
// attribute masks through which groups of keyframe fields are reset,
// copied and compared.
//
// Every operation keeps the ring invariants: indices 1..n from the head
// along `next`, start <= end within a keyframe, end(k) <= start(k + 1),
// frames and times moved together.
#pragma once

#include "fxeval.h"

// ---------------------------------------------------------------- finding

FxKeyframe *FindKeyframeAtFrame(FxPath *path, int frame);
int KeyframeHoldsFrame(const FxKeyframe *kf, int frame);
int PointInKeyframe(const FxKeyframe *kf, POINT pt);

constexpr int FX_HIT_NONE = 0;
constexpr int FX_HIT_KEYFRAME = 1;
constexpr int FX_HIT_PATH = 4;
constexpr uint32_t HIT_KEYFRAMES = 0x1;
constexpr uint32_t HIT_WORK = 0x4;
constexpr uint32_t HIT_SLOT_ONLY = 0x8;
constexpr uint32_t PATH_HIDDEN = 0x4;      // path flag: never hit
constexpr uint32_t PATH_NO_REHIT = 0x10;   // path flag: later hits not considered
constexpr uint32_t KF_HIT_SKIP = 0x10;     // keyframe flag: not hit
int HitTestPaths(POINT pt, FxPath *first, FxPath **slot, uint32_t flags);

// ---------------------------------------------------------------- keyframes

constexpr uint32_t INSERT_CURRENT = 0x1;
constexpr uint32_t INSERT_SHIFT = 0x2;
constexpr uint32_t INSERT_AFTER = 0x4;
int InsertKeyframeCopy(FxPath *path, int n, uint32_t flags);

constexpr uint32_t AT_BETWEEN = 0x1;
constexpr uint32_t AT_MAKE_CURRENT = 0x2;
constexpr uint32_t AT_NEW = 0x4;
int InsertKeyframeAtFrame(FxPath *path, int frame, FxKeyframe *kf, uint32_t flags);
FxKeyframe *UnlinkCurrentKeyframe(FxPath *path, int moveBack);
void RenumberRing(FxPath *path);

// FX script text of single keyframes.
int PasteKeyframeAtFrame(FxPath *path, int frame, const char *text);
int ApplyScriptToKeyframe(FxKeyframe *kf, const char *text);
FxPath *ParseEffectText(const char *text);

// ---------------------------------------------------------------- paths and timing

int DeletePath(FxPath **list, FxPath **slot, uint32_t flags);
void SetKeyframeDelay(FxKeyframe *kf, int n);
void SetKeyframeDuration(FxKeyframe *kf, int n);
void ShiftPathFrames(FxPath *path, int n);
void ShiftEffectFrames(FxPath *first, int n);
// Time put into (taken out of) every path at frame `at` for `frames`
// frames: keyframes from `at` on move later (earlier), a hold over `at`
// grows; taking out, keyframes inside the cut keep frame `at` and every
// keyframe stays after its predecessor.  1 when any keyframe changed.
int InsertEffectTime(FxPath *first, int at, int frames);
int RemoveEffectTime(FxPath *first, int at, int frames);
void ScalePathTiming(FxPath *path, double value, int mode);
void SetPathLength(FxPath *path, int frames);
void ScaleEffectTimes(FxPath *first, double factor);
void ScaleEffectLength(FxPath *first, int newLastFrame);
int ResetPath(FxPath *path);

// ---------------------------------------------------------------- orientation and spins

void ReversePath(FxPath *path);
void ReverseEffect(FxPath *first);
void NegatePathQuaternions(FxPath *path);

// ---------------------------------------------------------------- text groups

double GetKernAmount(FxPath *path);
void SetKernAmount(FxPath *path, double k);

// ---------------------------------------------------------------- attribute masks

// Change bits of a masked reset.
constexpr uint32_t FXA_INDEX = 0x1;
constexpr uint32_t FXA_TIMING = 0x2;
constexpr uint32_t FXA_ORIENTATION = 0x4;
constexpr uint32_t FXA_POSITION = 0x8;
constexpr uint32_t FXA_ATTRIBUTES = 0x10;
constexpr uint32_t FXA_TCB = 0x100;          // << channel
constexpr uint32_t FXA_SPEED_IN = 0x1000;    // << channel
constexpr uint32_t FXA_SPEED_OUT = 0x10000;  // << channel
constexpr uint32_t FXA_SPINS = 0x100000;
constexpr uint32_t FXA_SHAPE = 0x200000;
constexpr uint32_t FXA_IMAGE = 0x400000;

// The process-wide switch that puts the warp fields into full masks.
extern int g_fxWarpInMasks;
uint32_t MakeFullAttributeMask(FxKeyframe *mask);
uint32_t ResetKeyframeAttributesByMask(FxKeyframe *kf, const FxKeyframe *mask);
FxKeyframe *CopyKeyframeAttributes(FxKeyframe *dst, FxKeyframe *src, const FxKeyframe *mask);
int CompareKeyframeAttributes(const FxKeyframe *a, const FxKeyframe *b, const FxKeyframe *mask);
FxKeyframe *MakeKeyframeOffsets(FxKeyframe *record, const FxKeyframe *anchor, const FxKeyframe *reference,
                                const FxKeyframe *mask);
FxKeyframe *ApplyKeyframeOffsets(FxKeyframe *dst, const FxKeyframe *src, const FxKeyframe *record,
                                 const FxKeyframe *mask);

// ---------------------------------------------------------------- groups of attributes

// Keep bits of ResetEffectAttributes: a set bit keeps its group.
constexpr uint32_t KEEP_KEYFRAMES = 1u << 28;   // keyframes after the head stay
constexpr uint32_t KEEP_PATHS = 1u << 29;       // other paths stay (whole effect)
int ResetEffectAttributes(FxPath **slot, uint32_t keep, int wholeEffect);
int EffectAttributesAreDefault(FxPath *first, uint32_t keep);
FxPath *DuplicateEffect(FxPath *first);

// Script text of one keyframe; *text is malloc'ed and the caller frees it.
int CopyKeyframeAsScript(FxPath *path, int *indexSlot, char **text);
int KeyframeToScript(FxKeyframe *kf, char **text);

// Spin links between neighbours turning about x and y.
int SyncKeyframeSpins(FxKeyframe *kf);
int SyncPathSpins(FxPath *path);
constexpr uint32_t PATH_UNMATCHED = 1u << 28;
void MatchPathsById(FxPath *oldList, FxPath *newList);

int SetEffectClipLength(FxPath *first, int mode, int oldLength, int newLength);

// ---------------------------------------------------------------- realtime limit

// The mesh-effect cost of a warp (the warp module's); empty: every warp costs 0.
typedef int (*FxMeshEffectCost)(const GUID &warp, const double params[16], double a, double b);
extern FxMeshEffectCost g_fxMeshEffectCost;
constexpr int FX_REALTIME_LIMIT = 1500;
FxPath *FindPathStartingAt(FxPath *first, int frame);
FxPath *FindNextPathInChain(FxPath *first, FxPath *const *excluded, int count, int from, int to);
int PathRealtimeCost(FxPath *path, int from, int to);
int CheckRealtimeLimit(FxPath *first);

// ---------------------------------------------------------------- stored paths

// Options of a stored-path application.
struct FxApplyOptions {
    uint32_t flags;
    int32_t count;
    int32_t relative;     // non-zero: placed relative to the target
    int32_t startFrame;
    int32_t length;       // non-zero: the stored paths are stretched to it
    int32_t stagger;      // frames added per full round of the stored paths
};
constexpr uint32_t APPLY_REVERSE = 0x1;
constexpr uint32_t APPLY_ALL = 0x2;
constexpr uint32_t APPLY_OVERWRITE = 0x4;
constexpr uint32_t APPLY_AFTER = 0x8;
constexpr uint32_t APPLY_TEXT_GROUP = 0x10;
constexpr uint32_t APPLY_FROM_DEFAULT = 0x20;
constexpr uint32_t APPLY_NO_WARPS = 1u << 29;
constexpr uint32_t APPLY_STEP = 1u << 30;
constexpr uint32_t APPLY_CYCLE = 1u << 31;

FxKeyframe *DuplicateKeyframeRingMasked(FxKeyframe *ring, const FxKeyframe *record, const FxKeyframe *mask,
                                        int split);
FxKeyframe *ReverseKeyframeRing(FxKeyframe *ring);
void RetimeKeyframeRing(FxKeyframe *first, double wrapShift, double shift, const FxKeyframe *tmpl);
int ApplyStoredPath(FxPath *first, FxPath *current, FxPath *stored, const FxApplyOptions *options,
                    const FxKeyframe *mask);
int ApplyRegistryPath(FxPath *first, FxPath *current, FxPath *stored, const FxApplyOptions *options);
