// The effect model: paths (objects) made of rings of keyframes, the named
// properties hung on both, constructors with their defaults, release, and
// the geometric operations that keep a keyframe's corners consistent with
// its size and shear values.
//
// Units: frames are whole numbers counted from 1, times are doubles in
// frames, angles are radians, positions and sizes are in virtual view
// units, percentages 0..100.  The model takes no lock: a path is used by
// one thread at a time.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "fxmaths.h"
#include "pixmoor.h"

// ---------------------------------------------------------------- properties

// A key is a string pointer, or a small number below 0x10000.
typedef void (*FxPropertyDestroy)(uintptr_t key, uintptr_t value);

struct FxPropertyNode {
    FxPropertyNode *next, *prev;
    uintptr_t key;
    uintptr_t value;
    FxPropertyDestroy destroy;
};

typedef int (*FxPropertySet)(void *record, uintptr_t key, uintptr_t value, FxPropertyDestroy destroy);
typedef uintptr_t (*FxPropertyGet)(void *record, uintptr_t key);
typedef int (*FxPropertyRemove)(void *record, uintptr_t key);

// A property list with its three operations stored beside it.
struct FxPropertyList {
    FxPropertyNode *head;
    FxPropertySet set;
    FxPropertyGet get;
    FxPropertyRemove remove;
};

// List operations behind the per-record ones.
int FxListSet(FxPropertyNode **head, uintptr_t key, uintptr_t value, FxPropertyDestroy destroy);
uintptr_t FxListGet(FxPropertyNode *head, uintptr_t key);
int FxListRemove(FxPropertyNode **head, uintptr_t key);
// Calls every destroy callback in list order and empties the list.
void FxListFree(FxPropertyNode **head);
bool FxPropertyKeysMatch(uintptr_t a, uintptr_t b);

// ---------------------------------------------------------------- records

constexpr int FX_IMAGE_NAME = 264;
constexpr uint32_t KF_FLAT = 0x1;
constexpr uint32_t KF_SPIN_LINKED = 0x2;
constexpr uint32_t KF_NO_HIT = 0x10;
constexpr uint32_t KF_WORK = 0x2000000;       // flags of a path's work keyframe
constexpr uint32_t KF2_FRACTIONAL = 0x4;      // second flags: evaluated at a fractional time
constexpr uint32_t KF2_COPY_CLEARS = 0x2 | 0x10 | 0x40;
constexpr uint32_t WARP_NONE = 0x80000000u;   // warp flags: no warp
constexpr uint32_t MONO_NO_COLOUR = 0x80000000u;
constexpr double FX_DEFAULT_Z = 1000.0;
constexpr double FX_FLAT_Z = 5000.0;

struct FxKeyframe {
    FxKeyframe *next, *prev;
    int32_t index;
    int32_t startFrame;
    double startTime;
    int32_t endFrame;
    double endTime;
    int32_t delay;
    int32_t identifier;
    double defaultX, defaultY;
    char imageName[FX_IMAGE_NAME];
    double width, height;
    uint32_t flags;

    // --- attribute defaults record covers positionTcb .. corners
    FxTcb positionTcb, rotationTcb, shapeTcb;
    SpeedCurve positionSpeed, rotationSpeed, shapeSpeed;
    SplineSegment positionSegment, rotationSegment;
    SplineSegmentN shapeSegment;
    SegmentStepper curveStepper;
    Vec3 positionDerivative;
    double savedScale[3];
    double savedZ;
    int32_t fade;
    int32_t emboss[3];          // elevation, azimuth, radius
    int32_t luminance[2];       // brightness, contrast
    int32_t tint[3];            // amount, hue, saturation
    int32_t mosaic[2];          // width, height
    double blur[2];
    double crop[4];             // left, right, top, bottom (percent)
    int32_t cropMode;
    double borderWidth;
    int32_t borderMode;
    uint32_t borderColour;
    double softness;
    double shadowRect[4];       // left, top, width, height (percent)
    uint32_t shadowColour;
    double shadowFade;
    uint32_t monoFlags;
    uint32_t monoColour;
    int32_t posterize;
    int32_t strobeValue;
    uint32_t strobeFlags;
    double procamp[4];          // video gain, video setup, chroma gain, hue
    uint32_t warpFlags;         // bit n < 16: parameter n held; bit 31: no warp
    int32_t warpNumber;
    GUID warpId;
    double warpParams[16];
    int32_t attributeMode;
    float kerning;
    float kerningSpare;
    int32_t faceSheen[2];       // size, angle
    int32_t spins[3];
    double spinAngles[3];
    double rotation[3];         // Euler angles, radians
    double composedAngles[3];
    Quat spinQuat;
    Quat composedQuat;
    double offset[3];
    double extend[3];
    double skew[3];
    double twist[3];
    double scale[3];            // scale and corners are the 15 shape values
    double corners[4][3];       // top-left, top-right, bottom-right, bottom-left
    // --- end of the attribute defaults record
    Quat orientation;
    double position[3];
    int32_t screenPos[2];
    // Projection results (written by the projection).
    double screenCorners[4][2];
    double normCorners[4][2];
    int32_t screenCentre[2];
    double centre3d[3];
    int32_t screenBounds[4];    // x, y, width, height
    int32_t curvePoints[64][2]; // the motion curve towards the successor
    int32_t curveBounds[4];
    int32_t tickBounds[4];      // the frame ticks (points in the owned buffer)
    int32_t tickCount, tickCapacity;
    // Image resources.
    void *pixels;
    uint32_t pixelSize;
    Layer *pathLayer;           // shared with the path
    Layer *ownLayer;
    uint32_t bufferFlags;       // bit 0: pixels owned

    uint32_t secondFlags;       // CopyKeyframe copies everything before this
    void *ownedBuffer;
    FxPropertyList props;
    int32_t groupDuration;
    uint32_t drawFlags;         // what the editor's scene drawing still has to draw
};

// Image block of a path: moved whole between paths by the path matching.
struct FxPathImage {
    int32_t width, height;
    void *pixels;
    uint32_t pixelSize;
    void *pixels2;
    Layer *layers[3];
    uint32_t layerFlags[3];     // bit 0: the path owns `pixels`
};

struct FxPath {
    FxPath *next, *prev;
    int32_t number;
    uint32_t pathFlags;
    int32_t imageId;
    void *imageObject;          // released with the path (FxReleaseImageObject)
    FxKeyframe *head;
    FxKeyframe *current;
    FxKeyframe work;
    QuatCurve *orientCurve;
    double pathOrigin[3];
    Quat baseOrientation;
    int32_t orientToPath;
    FxPathImage image;
    FxPropertyList props;
    char name[64];              // the path's name (FX script "Description")
};

// Called to release a path's text or image object (none by default).
extern void (*FxReleaseImageObject)(void *object);

// ---------------------------------------------------------------- graphics core

// Slots of the graphics core; an empty slot is skipped.  Layers are only
// released while the core answers its presence check.
struct FxGraphicsSlots {
    LONG(PIXAPI *PixmoorAreYouThere)(void);
    LONG(PIXAPI *AddRefCountLayer)(Layer *);
    LONG(PIXAPI *DeleteLayer)(Layer *);
    // Used by the blur kernel.
    Layer *(PIXAPI *CreateLayer)(LONG width, LONG height, LONG count);
    Layer *(PIXAPI *CreateClippedLayer)(Layer *);
    LONG(PIXAPI *ClipLayerXYWH)(Layer *, LONG x, LONG y, LONG w, LONG h);
    LONG(PIXAPI *CopyLayer)(Layer *destination, Layer *source);
    LONG(PIXAPI *BeginLayerAccess)(LayerAccess *access, Layer *layer, Layer *second);
    LONG(PIXAPI *EndLayerAccess)(LayerAccess *access);
    // The rest of the graphics core's binding (filled by name with the
    // slots above when the library is bound, see fxbind.h).
    LONG(PIXAPI *RefreshLayerEx)(Layer *);
    LONG(PIXAPI *UpdateLayerEx)(Layer *);
    Layer *(PIXAPI *CreateCompatibleLayer)(void *pixels, LONG width, LONG height, LONG pitch);
    LONG(PIXAPI *CheckForPendingException)(void);
    LONG(PIXAPI *ClearLayer)(Layer *);
    HBITMAP(PIXAPI *CreateBitmapLayerEx)(Layer *, LONG width, LONG height);
    LONG(PIXAPI *ClipLayer)(Layer *, const RECT *rect);
    LONG(PIXAPI *RGBtoYUVLayer)(Layer *destination, Layer *source);
    LONG(PIXAPI *YUVtoRGBLayer)(Layer *destination, Layer *source);
    LONG(PIXAPI *LuminanceLayer)(Layer *destination, Layer *source, LONG brightness, LONG contrast);
    LONG(PIXAPI *TintLayer)(Layer *destination, Layer *source, LONG v, LONG u, LONG saturation);
    LONG(PIXAPI *MosaicLayer)(Layer *destination, Layer *source, LONG cellWidth, LONG cellHeight);
    LONG(PIXAPI *EmbossLayer)(Layer *destination, Layer *source, LONG azimuth, LONG elevation, LONG depth);
    // Corners in the order top left, top right, bottom right, bottom left.
    LONG(PIXAPI *TestFourCorner)(RECT *bounds, const double *xs, const double *ys);
    LONG(PIXAPI *FourCornerMapLayer)(Layer *destination, Layer *source, const double *xs, const double *ys);
    LONG(PIXAPI *CompositOnTopLayerEx)(Layer *destination, Layer *layer, LONG alpha);
    LONG(PIXAPI *CompositOnBottomLayerEx)(Layer *layer, Layer *destination, LONG alpha);
    LONG(PIXAPI *CompositOnBottomLayer)(Layer *layer, Layer *destination);
    LONG(PIXAPI *FlipVertLayer)(Layer *);
    LONG(PIXAPI *SetLayer)(Layer *, DWORD pixel);
    LONG(PIXAPI *ResizeLayer)(Layer *destination, Layer *source);
    FrameBufferRecord *(PIXAPI *EnableFrameBuffer)(LPCSTR text);
    LONG(PIXAPI *DisableFrameBuffer)(FrameBufferRecord *record);
    LONG_PTR(PIXAPI *OnScreenFrameBufferLayer)(FrameBufferRecord *record);
    HBITMAP(PIXAPI *CreateBitmapLayerBackground)(Layer *, LONG width, LONG height, Layer *pattern);
    Layer *(PIXAPI *GetStockLayer)(LONG id);
};
extern FxGraphicsSlots g_fxGraphics;

// ---------------------------------------------------------------- warp table

// The warps a keyframe can select; filled by the warp module.  Parameters
// of kind 1 take their default and are interpolated; other kinds take the
// value computed from their descriptor and are held.
struct FxWarpParam {
    int32_t kind;
    double defaultValue;
    double computedValue;
};
struct FxWarpEntry {
    GUID id;
    int32_t paramCount;
    FxWarpParam params[16];
};
struct FxWarpTable {
    const FxWarpEntry *entries;
    int32_t count;
};
extern FxWarpTable g_fxWarps;

// ---------------------------------------------------------------- constructors

// The template keyframe whose attribute fields a reset copies (prepared at
// start-up from the settings; process-wide).
FxKeyframe *FxAttributeDefaults();
void SetDefaultKeyframeSize(double width, double height);
void GetDefaultKeyframeSize(double *width, double *height);

FxKeyframe *NewKeyframe();
int AppendNewPath(FxPath **slot);
void ResetKeyframeAttributes(FxKeyframe *kf);
int SetKeyframeFilter(FxKeyframe *kf, int n, int load);
void ResetKeyframeOrientation(FxKeyframe *kf);
void ComposeKeyframeOrientation(FxKeyframe *kf);
void CopyKeyframe(FxKeyframe *dst, const FxKeyframe *src);
void CopyKeyframeToClipboard(const FxKeyframe *kf);
void PasteKeyframeFromClipboard(FxKeyframe *kf);

// ---------------------------------------------------------------- release

void ReleaseKeyframeLayers(FxKeyframe *kf);
void ReleasePathResources(FxPath *path);
void FreeKeyframe(FxKeyframe *kf);
void FreePath(FxPath *path);
void FreeEffect(FxPath *first);

void AttachPathImage(FxKeyframe *kf, FxPath *path);
void AttachPathImageToAll(FxPath *path);

// ---------------------------------------------------------------- flags and lookups

void SetPathFlags(FxPath *path, uint32_t bits);
void ClearPathFlags(FxPath *path, uint32_t bits);
void SetKeyframeRingFlags(FxKeyframe *kf, uint32_t bits);
FxKeyframe *FindKeyframeByIndex(FxPath *path, int index);
FxKeyframe *LastKeyframe(FxPath *path);
int CountPaths(FxPath *first);
void AppendPath(FxPath **list, FxPath *path);
int GetEffectLastFrame(FxPath *first);
double GetEffectLastTime(FxPath *first);
int GetMaxKeyframeCount(FxPath *first);

// ---------------------------------------------------------------- geometry

int SetKeyframeSize(FxKeyframe *kf, double w, double h);
void SetCornersFromSize(FxKeyframe *kf, double w, double h);
void InitKeyframeRect(FxKeyframe *kf, double x, double y, double w, double h);
void InitKeyframeRectEx(FxKeyframe *kf, double x, double y, double w, double h, double ox, double oy);
void InitKeyframeFromRect(FxKeyframe *kf, double x, double y, double w, double h);
void InitKeyframeFromSize(FxKeyframe *kf, const SIZE *size);
void UpdateKeyframeCorners(FxKeyframe *kf);
void ShearFromCorners(FxKeyframe *kf);
void GetCornerBounds(const FxKeyframe *kf, double *x, double *y, double *w, double *h);
int CheckKeyframeFlat(FxKeyframe *kf, int checkZ);
int ToggleKeyframeFlat(FxKeyframe *kf, int useZ);

// The 15 shape values of a keyframe: scale x, y, z, then the corners.
static_assert(offsetof(FxKeyframe, corners) == offsetof(FxKeyframe, scale) + 3 * sizeof(double),
              "shape values are contiguous");
inline double *ShapeValues(FxKeyframe *kf)
{
    return reinterpret_cast<double *>(reinterpret_cast<char *>(kf) + offsetof(FxKeyframe, scale));
}

// Rounding half away from zero, as the model rounds times to frames.
inline int FxRound(double v)
{
    return int(v < 0 ? v - 0.5 : v + 0.5);
}
