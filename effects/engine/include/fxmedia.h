// Media in and out of the engine: image files read into core layers, and
// effects exported as movies through the movie and codec libraries.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "fxbind.h"
#include "fxrender.h"

// ---------------------------------------------------------------- image import

// What a host's image-object request names: the image file.
struct FxImageRequest {
    const char *fileName;
};

// The image of a new image object: its size and the layer holding it (the
// caller owns the layer).  All zero when nothing was loaded.
struct FxImageRecord {
    int32_t width;
    int32_t height;
    Layer *layer;
};

// Reads the request's image file through the image filters into a new
// 32-bit layer of the graphics core (rows top-down, as the core keeps
// them).  1 when the record was filled; 0 when the file could not be read,
// the filters or the core are not bound, or memory is short (the record is
// then left empty).
int LoadImageLayer(const FxImageRequest *request, FxImageRecord *image);
