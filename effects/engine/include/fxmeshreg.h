// The mesh plug-in registry: mesh effects come from plug-in libraries
// ("*.iMFEffect") that list their effects and hand out a factory for one
// effect.  The registry keeps one entry per effect GUID, enumerates them in
// GUID order and binds factories by GUID.
//
// Threads: the registry is used from the user-interface thread only.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "fxutil.h"   // MeshEffectInfo, FxMeshEffect

// The factory a plug-in hands out for one effect.  The plug-in owns it; its
// library stays loaded for the factory's life (the rest of the process).
class MeshFactory {
public:
    // A new effect object, owned by the caller (deleted through its virtual
    // destructor); null when memory is short.
    virtual FxMeshEffect *CreateEffect() = 0;
protected:
    ~MeshFactory() = default;
};

// The plug-in's exports, by their decorated names.
#define MESH_ENUM_EXPORT "?EnumerateEffects@@YA?AW4Error@MF@@PAXP6AH0PAUEnumInfo@2@@Z@Z"
#define MESH_FACTORY_EXPORT "?GetObjectA@@YAPAVMeshFactory@MF@@ABU_GUID@@@Z"
typedef int (*MeshEnumInfoCallback)(void *context, MeshEffectInfo *info);   // 1: go on
typedef int (*MeshEnumerateEffectsProc)(void *context, MeshEnumInfoCallback callback);
typedef MeshFactory *(*MeshGetObjectProc)(const GUID &id);

// One registered effect: the library that offers it and its description.
struct MeshEffectEntry {
    char path[MAX_PATH];
    MeshEffectInfo info;
};
static_assert(sizeof(MeshEffectEntry) == 408, "mesh effect entry");

// Result codes of GetMeshFactory.
constexpr int MESH_OK = 0;
constexpr int MESH_E_LOAD = 4;      // the library cannot be loaded
constexpr int MESH_E_EXPORT = 7;    // it has no factory export

// The folder searched for plug-ins (with its trailing separator); empty or
// null: the current directory, and the libraries are then named by bare
// file name (found through the system's library search).  Longer than
// MAX_PATH - 16 is refused (false).
bool SetMeshSearchDirectory(const char *directory);

// Loads every directory + "*.iMFEffect" in turn and registers what its
// enumeration offers; libraries that do not load or lack the export are
// skipped.  Each is unloaded again.
void ScanMeshLibraries(const char *directory);
// The enumeration's callback: context is the library path.  1 (go on).
int AddMeshEffect(void *context, MeshEffectInfo *info);
// Rescans the folder (every call), then hands a copy of each description to
// callback(context, info) in GUID order until it answers 0.  0.
int EnumerateMeshEffects(FxMeshEnumCallback callback, void *context);
// The factory of an effect; the folder is scanned once on first use.
int GetMeshFactory(const GUID *id, MeshFactory **out);
// The registry's entry for a GUID (false when absent).
bool FindMeshEffectEntry(const GUID *id, MeshEffectEntry *out);
// Empties the registry (it is built again on next use).
void FreeMeshRegistry();

// Points the mesh-effect table's enumeration and factory slots
// (g_fxEnumMeshEffects, g_fxMakeMeshEffect) at the registry.
void InstallMeshRegistry();
