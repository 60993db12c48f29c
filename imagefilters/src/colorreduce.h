// Colour reduction to a 256-colour palette: the pieces behind the
// fxReduce* entry points of fxcore.h, reachable by tests and benchmarks.
#pragma once
#include <cstdint>

#include "fxcore.h"

namespace ferrix {

// Allocates (or clears) the histogram and clears the pixel total.
void ReduceStart();
// Maps the source's own palette entries to their cells (sources of 8 bits or less).
void ReduceSetSourcePalette(const RGBQUAD* entries, int count);
// Counts one row of width pixels of the given depth.
void ReduceCountRow(const uint8_t* row, int width, int depth);
// Current histogram (null after the inverse map is built), map and entry count.
const uint32_t* ReduceHistogram();
const uint8_t* ReduceMap();
int ReduceEntryCount();
// Calls visit for every cell of the 32-cube in Hilbert order (x blue, y green, z red).
void WalkHilbert(void (*visit)(int x, int y, int z, void* user), void* user);

}  // namespace ferrix
