// Media in and out of the engine: image files read into core layers, and
// effects exported as movies through the movie and codec libraries.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

#include "fxbind.h"
#include "fxoutput.h"

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

// ---------------------------------------------------------------- movie export

// What a movie export renders: the effect as the output paths take it, and
// the instance's settings the export reads.
struct FxMovieSource {
    FxRenderSource render;
    int32_t defaultWidth, defaultHeight;   // used for a width or height of 0
    int32_t fieldOrder;                    // the instance's field-order code (5 or 6)
    int32_t thumbnailFrame;                // the effect's stored thumbnail frame; below 0 none
    const char *iniFile;                   // the host's settings: file and section
    const char *iniSection;                //   (NormSettings)
};

// The job's user word during a movie export.
struct MovieExportContext {
    LONG_PTR movie;          // the movie in use: the caller's, one opened here, or 0
    LONG_PTR callerMovie;    // the movie the caller passed
    LONG_PTR encoder;
    const char *fileName;
    int32_t fieldOrder;
    uint32_t fields;         // low 16 bits fields per frame; 0x200 InvertFields
    LONG_PTR layerWord;      // filled by the encoder's get-layer
    int32_t thumbnailStep;   // below 0: not chosen
    int32_t thumbnailWritten;
    Layer *(WINAPI *getLayer)(LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *encodeFrame)(LONG_PTR, LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *encodeEnd)(LONG_PTR);
    LONG_PTR(WINAPI *thumbnail)(LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *pauseFrame)(LONG_PTR);
};

// One definition whichever of the two headers comes first.
#ifndef FX_MSG_REFRESH_DEFINED
#define FX_MSG_REFRESH_DEFINED
constexpr UINT FX_MSG_REFRESH = 1034;                // the editor window's refresh message
#endif
constexpr WPARAM FX_REFRESH_AFTER_EXPORT = 0x40002010;

// The tool pages' thumbnail writer, called when a new movie got no
// thumbnail from the encoder; empty until the tool pages are built.
extern int (*g_fxWriteMovieThumbnail)(void *instance, const char *fileName, int width, int height, int step);

// Renders the effect into a movie through the codec library (no movie
// handle: a new file, "fx.vexa" without a name, replacing one of that name)
// or the movie library (the caller's movie handle).  Width and height 0
// take the source's defaults.  True when the render completed.
bool ExportMovie(HWND window, const FxMovieSource *source, LONG_PTR movie, const char *fileName, double width,
                 double height, uint32_t flags, uint32_t normSettings);
// The same with the NormSettings value of the host's settings (default 0).
bool ExportMovieWithNorm(HWND window, const FxMovieSource *source, LONG_PTR movie, const char *fileName,
                         double width, double height, uint32_t flags);
// The export's object callback.
int WriteMovieFrame(int step, FxRenderJob *job);
