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
constexpr uint32_t PATH_HIDDEN = 0x2;      // path flag: never hit
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
