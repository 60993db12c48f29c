// The effects link: animation records are drawn by the effects library,
// loaded by file name and spoken to through the node protocol.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

namespace cuelink {

// Draws one animation frame; 0 when the effects library is not there or
// declines (the caller then draws the record's image part).
int FxRenderAnimation(void* buffer, int width, int height, int stride, int position, int frames,
                      const void* effect, size_t effectSize, const void* object, size_t objectSize,
                      uint32_t callerFlags);
// Releases the link started for animations (CuelinkDone, unloading).
void FxDone();

}  // namespace cuelink
