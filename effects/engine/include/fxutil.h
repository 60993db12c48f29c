// Engine utilities shared by the effects engine and its editor: chunked
// serialization into buffered files, value and choice controls, the dialog
// wrapper, the missing colour picker, the text-effect and realtime-renderer
// links, the warp shapes with the table of mesh effects, and the depth
// sorting and tree walk that draw a mesh back to front.
//
// Everything runs on the caller's thread; the mesh-effect table and the
// shape list are process-wide and built on the user-interface thread.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "fxbind.h"
#include "fxbuffer.h"

// ---------------------------------------------------------------- buffered-file chunks

// A chunk is a header of two 32-bit words, {0, tag} while open and, once
// closed with value v, {data length + 8, v}; tag 1 closes as {length + 16,
// NOT (length + 16)} followed by the trailer {8, v != 0}.  A stream opened
// for writing ends with 8 zero bytes.  The calls go through g_fxStolid and
// g_fxStolidIo and answer 0 when the library is not bound.
FxBufferedFile *OpenMemoryBf(void *buffer, int size);
int CloseBf(FxBufferedFile *file);    // the stream's total size
int BeginBfChunk(FxBufferedFile *file, uint32_t tag);
int EndBfChunk(FxBufferedFile *file, uint32_t closingValue);
int WriteBfBytes(FxBufferedFile *file, const void *data, int size);

// ---------------------------------------------------------------- controls

// Choices of a parameter shown in a combo box.
constexpr uint32_t FXCHOICE_RESOURCE = 16;   // string ids base.. in module
constexpr uint32_t FXCHOICE_PAIRS = 32;      // {value, string} pairs
constexpr uint32_t FXCHOICE_STRINGS = 48;    // string pointers
struct FxChoicePair {
    int32_t value;
    const char *text;
};
struct FxChoiceList {
    uint32_t kind;          // bits 4-7: FXCHOICE_*
    int32_t count;
    const void *table;      // FxChoicePair[] or const char *[]
    UINT baseId;            // first string id (resource kind)
    HINSTANCE module;       // module of the strings (resource kind)
};

// A numeric parameter shown in a positioner.
constexpr uint32_t FXPARAM_PERCENT = 0x1000;
struct FxParamDescriptor {
    uint32_t flags;
    double value;
    const char *label;
    int32_t range[8];       // minimum, maximum, steps, ... as the control takes them
};

// Sets up a positioner: its range (the descriptor's, or with `low` and
// `high` in place of its first two words when useDescriptorRange is 0),
// value, label and mode.  0 without control or descriptor.
int SetValueControl(HWND control, LONG value, const FxParamDescriptor *d, int useDescriptorRange, LONG low = 0,
                    LONG high = 0);
// Fills the combo box with the choices and selects the current value's.
int FillChoiceList(HWND combo, double current, const FxChoiceList *list);
int GetChoiceIndex(const FxChoiceList *list, double value);
double GetChoiceValue(const FxChoiceList *list, int index);

// Modeless (returns the window) with option bit 16, else modal (returns
// the dialog's result).
constexpr DWORD FXDLG_MODELESS = 16;
INT_PTR CreateDialogEx(HINSTANCE instance, LPCSTR templ, HWND owner, DLGPROC proc, LPARAM param, DWORD options);

// The colour picker's stand-in when the picker library was never asked for.
int WINAPI ColourPickerMissing(HWND owner, COLORREF *colour, LPCSTR title, DWORD flags, LPARAM user);

// ---------------------------------------------------------------- outside links

// An object of the text-effects library (a COM-style object; operations
// 6 and 8 are the ones the attribute panel uses).
struct FxTextEffectObject {
    struct Ops {
        HRESULT(WINAPI *QueryInterface)(FxTextEffectObject *, REFIID, void **);
        ULONG(WINAPI *AddRef)(FxTextEffectObject *);
        ULONG(WINAPI *Release)(FxTextEffectObject *);
        LONG_PTR(WINAPI *op3)(FxTextEffectObject *);
        LONG_PTR(WINAPI *op4)(FxTextEffectObject *);
        LONG_PTR(WINAPI *op5)(FxTextEffectObject *);
        LONG_PTR(WINAPI *GetPanel)(FxTextEffectObject *);    // 6
        LONG_PTR(WINAPI *op7)(FxTextEffectObject *);
        LONG_PTR(WINAPI *Refresh)(FxTextEffectObject *);     // 8
    };
    const Ops *ops;
};

// Loads "Scriptel.dll" (on every call; never freed) and asks it for the
// object of the GUID: 0 with the object, 4 no library, 7 no entry, 8 no
// object.
int LoadScriptelObject(const GUID *id, FxTextEffectObject **object);

struct FxTextEffects;   // a session
FxTextEffects *TextEffectsOpen();
void TextEffectsClose(FxTextEffects *session);
const GUID *TextEffectGuid(FxTextEffects *session, uint32_t n);
FxTextEffectObject *TextEffectGetObject(FxTextEffects *session, const GUID *id);
LONG_PTR TextEffectGetPanel(FxTextEffects *session, FxTextEffectObject *object);
LONG_PTR TextEffectRefresh(FxTextEffects *session, FxTextEffectObject *object);
int TextEffectKey(FxTextEffects *session);
void ReleaseAuxObject(void *object);

// The realtime renderer as a COM object: the link answers QueryInterface
// for the renderer interface and a second (value) interface.
extern const IID IID_FxRealtimeRenderer;
extern const IID IID_FxRealtimeValue;
struct FxRealtimeRenderer {
    struct Ops {
        HRESULT(WINAPI *QueryInterface)(FxRealtimeRenderer *, REFIID, void **);
        ULONG(WINAPI *AddRef)(FxRealtimeRenderer *);
        ULONG(WINAPI *Release)(FxRealtimeRenderer *);
        LONG_PTR(WINAPI *op[8])(FxRealtimeRenderer *, void *arg);   // operations 3 .. 10
    };
    const Ops *ops;
};
struct FxRealtimeValue {
    struct Ops {
        HRESULT(WINAPI *QueryInterface)(FxRealtimeValue *, REFIID, void **);
        ULONG(WINAPI *AddRef)(FxRealtimeValue *);
        ULONG(WINAPI *Release)(FxRealtimeValue *);
        LONG_PTR(WINAPI *SetValue)(FxRealtimeValue *, void *link);
    };
    const Ops *ops;
};
// Commands 0, 1, 2, 5, 9, 11 call operations 4, 3, 5, 6, 7, 8; other
// commands give 0; a link without the interface gives 1.
LONG_PTR RendererCommand(int command, IUnknown *link);
LONG_PTR RendererAddPath(IUnknown *link, void *path);      // operation 9
LONG_PTR RendererRemovePath(IUnknown *link, void *path);   // operation 10
void ReleaseInterface(IUnknown *object);

// ---------------------------------------------------------------- mesh effects

// The description a mesh plug-in gives of one effect.
struct MeshEffectInfo {
    GUID id;
    char name[64];
    char text[64];
    uint32_t value;
};
static_assert(sizeof(MeshEffectInfo) == 148, "mesh effect description");

// A parameter of a mesh effect: types 1 and 7 whole numbers (int32_t), 4
// single, 5 double; minimum and maximum are optional.
struct FxMeshParamDesc {
    int32_t type;
    char name[64];
    int32_t hasMinimum, hasMaximum;
    double minimum, maximum;
    double defaultValue;
};

// One mesh effect (made by the effect's factory).  Operations 5 and 6
// answer 0 on success.
class FxMeshEffect {
public:
    virtual ~FxMeshEffect() = default;                                   // 0
    virtual int ParamCount(int *count) = 0;                              // 1
    virtual int ParamDescriptor(int index, FxMeshParamDesc *out) = 0;    // 2
    virtual int SetParam(int index, const void *value) = 0;              // 3
    virtual int Reserved() { return 0; }                                 // 4
    virtual int BuildMesh(ByteBuffer *buffer) = 0;                       // 5
    virtual int RealtimeCost(int *first, int *second) = 0;               // 6
    virtual int PresetCount(int *count) = 0;                             // 7
    virtual int PresetValues(void **values, int preset) = 0;             // 8: 30 pointers
};

// Where the table comes from: the plug-in enumeration (callback returns 1
// to go on) and the factory that makes an effect's object.  Empty until the
// plug-in registry fills them; an empty enumeration gives no mesh effects.
typedef int (*FxMeshEnumCallback)(void *context, const MeshEffectInfo *info);
extern int (*g_fxEnumMeshEffects)(FxMeshEnumCallback callback, void *context);
extern FxMeshEffect *(*g_fxMakeMeshEffect)(const GUID &id);

// An entry of the mesh-effect table.
struct FxMeshEntry {
    MeshEffectInfo info;
    FxMeshEffect *evaluator;   // evaluation, cost and presets; marks the entry valid
    FxMeshEffect *picon;       // the picon renderer's own object
};
struct FxMeshTable {
    FxMeshEntry *entries;
    int count;
    int lastUsed;              // the entry CreateMeshData found last
};
extern FxMeshTable g_fxMeshTable;
// The registration callback of the enumeration: appends an entry.
int RegisterMeshEffect(void *table, const MeshEffectInfo *info);
// Empties the table and frees its objects.
void FreeMeshTable();

// A parameter of a warp shape.
struct FxShapeParam {
    int32_t kind;      // 1 numeric (positioner), 2 choice
    char name[64];
    double minimum, maximum, step, defaultValue;
};
struct FxShapeEntry {
    char name[64];
    int32_t id;             // 9000 and up
    int32_t paramCount;
    int32_t kind;
    uint32_t flags;
    const FxShapeParam *params;
    int32_t filter;         // the warp filter number
    int32_t mesh;           // 1: a mesh effect
    GUID meshId;
    FxShapeParam storage[16];
};
// The built-in shapes, or (withMesh) the shapes of the mesh effects, built
// once; also fills the warp table, the warp-buffer maker and the cost entry
// of the evaluator.  Returns the number of shapes.
int InitShapeList(int withMesh);
const FxShapeEntry *GetShapeList(int *count);
const FxShapeEntry *FindShapeById(int32_t id);

int FindMeshEffectByGuid(const GUID *id);   // among the valid entries; -1 when absent
ByteBuffer *CreateMeshData(const GUID *id, const double params[16], double a, double b, int secondObject,
                           ByteBuffer *buffer);
int MeshEffectCost(const GUID *id, const double params[16], double a, double b);
int GetMeshPresetCount(const GUID *id);
int GetMeshPreset(const GUID *id, int preset, double *values);

// ---------------------------------------------------------------- mesh drawing

// The mesh data block a mesh effect builds (32-bit words): kind, two words
// of the plug-in's, the counts of positions, normals, texture coordinates
// and tree nodes, the realtime cost, then the arrays.
struct FxMeshHeader {
    int32_t kind;
    int32_t reserved[2];
    int32_t positions, normals, texcoords, nodes;
    int32_t cost;
};
static_assert(sizeof(FxMeshHeader) == 32, "mesh data header");
constexpr int FX_MESH_NODE_WORDS = 13;
constexpr int FX_MESH_FACE_WORDS = 37;
struct FxMeshNode {
    int32_t kind;
    int32_t link[3];        // links 1, 2, 3 (node indices, negative = none)
    int32_t count;
    float normal[3];
    int32_t first;          // first face or node
    float normal2[3];
    float constant;
};
static_assert(sizeof(FxMeshNode) == FX_MESH_NODE_WORDS * 4, "mesh tree node");

// Compares the third single of two items: -1, 0 or 1 (ascending).
int __cdecl CompareDepth(const void *a, const void *b);

typedef void (*FxMeshFaceProc)(void *context, const int32_t *face);

// Draws the faces of a mesh data block back to front as seen from `eye`.
class MeshTreeWalker {
public:
    MeshTreeWalker() = default;
    virtual ~MeshTreeWalker() = default;
    // Takes the arrays of a mesh data block of `size` bytes; false when the
    // block is too short for its counts.
    bool Attach(const void *block, size_t size);
    const float *positions = nullptr;
    const float *normals = nullptr;
    const float *texcoords = nullptr;
    const int32_t *faces = nullptr;
    const FxMeshNode *nodes = nullptr;
    int positionCount = 0, nodeCount = 0, faceCount = 0;
    float eye[3] = {0, 0, 0};
    FxMeshFaceProc drawFace = nullptr;
    void *context = nullptr;
    int budget = 0;   // node steps left in the current walk
};
void WalkMeshTree(MeshTreeWalker *walker, int node);
void DrawSortedTriangles(MeshTreeWalker *walker, const int32_t *triangles, int count);
