// Edge tracing of images: the straight edges of a 32-bit picture as line
// segments in frame units (0..100000 across the picture), strongest first.
// Used when objects are made from an image.  Runs on the caller's thread;
// the parameter record is process-wide and not guarded.
#pragma once

#include <cstdint>

constexpr uint32_t EDGE_TRACE = 0x1;      // build the gradient map and trace runs
constexpr uint32_t EDGE_WEIGHTED = 0x10;  // with EDGE_TRACE: pixels weighted by their gradient

struct EdgeTraceParams;
// Called once per row of each pass with the record (percent in `percent`);
// 0 stops the tracing, which then answers no edges.
typedef int (*EdgeTraceProgress)(EdgeTraceParams *params);

struct EdgeTraceParams {
    uint32_t flags;              // default EDGE_TRACE | EDGE_WEIGHTED
    uint16_t threshold;          // gradient strength an edge pixel exceeds (32)
    uint16_t minExtent;          // a run's squared extent must exceed this (25)
    uint16_t quantiser;          // direction quantiser 0..4 (4: 128 directions)
    uint16_t width, height;      // of the image being traced
    const uint8_t *grey;         // its grey pixels while tracing
    EdgeTraceProgress progress;  // default: always continue
    int32_t percent;             // 0..50 gradient pass, 50..100 tracing pass
};
EdgeTraceParams *GetEdgeTraceParams();
// Puts the defaults back.
void ResetEdgeTraceParams();

// One traced edge as written out.
struct EdgeSegment {
    int32_t x1, y1, x2, y2;      // pixel coordinate / image size x 100000
};
static_assert(sizeof(EdgeSegment) == 16, "an edge segment is four words");

// `pixels` are B, G, R, A bytes, `width` x `height` (each 3..65535), rows
// packed.  At most capacity / 2 edges are kept; `out` must hold that many.
// Answers the number written: 0 for no edges, bad arguments, short memory
// or a cancelled trace.
int TraceImageEdges(const uint8_t *pixels, int width, int height, EdgeSegment *out, int capacity);

// The direction code of a gradient under a quantiser (exposed for tests).
int QuantiseDirection(int quantiser, int gx, int gy);
