// The effects link: animation records are drawn by the effects library,
// loaded by file name and spoken to only through the node protocol
// (cubby.h).  The link's state is process-wide and guarded by one lock.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

#include "cubby.h"

namespace cuelink {

// How to find and bind a library.
struct CubbyAppRecord {
    uint32_t flags;    // CAR_*
    uint32_t version;
    uint32_t type;     // bit 0: has a library
    uint32_t id;
    char name[64];
    char path[260];
    char notifyName[64];
    HMODULE module;
    CubbyPrivateData priv;
};

enum : uint32_t {
    CAR_REGISTRY = 0x1,
    CAR_INSTALL_FALLBACK = 0x2,
    CAR_INSTALL_FIRST = 0x4,
    CAR_INSTALL_FORCE = 0x8,
    CAR_COPY_PATH = 0x10,
    CAR_PRIVATE_ALLOCATED = 0x40000000,
    CAR_REPORT = 0x80000000
};

enum : uint32_t { kOwnKindPlain = 0x2C910000, kOwnKindBoard = 0x2C920000 };

// Draws one animation frame (starting the link on first use); 0 when the
// effects library is not there or declines.
int FxRenderAnimation(void* buffer, int width, int height, int stride, int position, int frames,
                      const void* effect, size_t effectSize, const void* object, size_t objectSize,
                      uint32_t callerFlags);
// Releases the link started for animations (CuelinkDone, unloading).
void FxDone();

// Start and release; the result is the use count.
int FxLinkStart(HINSTANCE instance, uint32_t startFlags, const char* hostPath);
int FxLinkRelease();

// Binds an application record: loads its library and takes its notify
// function into the node.  1 on success.
int FxBindRecord(CubbyAppRecord* rec, CubbyNode* node, HINSTANCE instance);
// The install directory from the file-type registration ("" when none),
// ending with a separator.
void FxInstallDir(char* out, size_t size);

// One data exchange; request is in either form.  The caller's record
// receives the answers in its own form.
INT_PTR FxExchange(void* request, CubbyNode* receiver, CubbyNode* giver, CubbyNode* own);
// Format matching of a current-form request between two nodes; false when
// no pair fits.
bool FxMatchFormats(FxRequest* req, const CubbyNode* source, const CubbyNode* destination);
// Distance of two capability words (32000: no pair).
int FxFlagDistance(uint32_t a, uint32_t b, uint32_t* nibbleA, uint32_t* nibbleB);

// The link's own node, its notify function and the two preset records.
CubbyNode* FxOwnNode();
CubbyNode* FxLibraryNode();
CubbyAppRecord* FxRecordA();
CubbyAppRecord* FxRecordB();
INT_PTR WINAPI FxOwnNotify(CubbyNode* node, CubbyNode* peer, UINT message, WPARAM wparam, void* record);
int FxUseCount();
// Builds the frame description of a render request.
void FxBuildFrameFormat(FxFrameFormat* f, int width, int height, int stride, int position, int frames,
                        uint32_t callerFlags);

}  // namespace cuelink
