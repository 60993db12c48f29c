// vexa.dll: the movie library.  A caller makes a movie for a file name
// (quibCreate), hands it to a writer, which starts an encoder over it with
// the frame total, size and field order, and closes it (quibClose) when the
// file is complete.  The encoding is the movie encoder's own (vexacodec.cpp,
// built into this module too): Matroska with lossless FFV1 video.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

struct Encoder;
extern "C" Encoder *WINAPI vexaEncodeStart(const char *fileName, const char *, LONG width, LONG height,
                                           LONG fields);

namespace {

// A movie: the file it writes and its option word.
struct Movie {
    uint32_t magic;
    char fileName[MAX_PATH];
    LONG_PTR options;
    int encoders;
};
constexpr uint32_t kMagic = 0x45495651;  // "QVIE"

Movie *MovieOf(LONG_PTR handle)
{
    Movie *m = reinterpret_cast<Movie *>(handle);
    return m && m->magic == kMagic ? m : nullptr;
}

}  // namespace

// (file name, option word, three reserved words) -> movie, or 0 for a name
// that is missing or too long.
extern "C" LONG_PTR WINAPI quibCreate(const char *fileName, LONG_PTR options, LONG_PTR, LONG_PTR, LONG_PTR)
{
    if (!fileName || !*fileName || std::strlen(fileName) >= MAX_PATH)
        return 0;
    Movie *m = new (std::nothrow) Movie;
    if (!m)
        return 0;
    std::memset(m, 0, sizeof *m);
    m->magic = kMagic;
    std::strcpy(m->fileName, fileName);
    m->options = options;
    return reinterpret_cast<LONG_PTR>(m);
}

// 1 when a movie was closed; 0 for anything else.
extern "C" LONG_PTR WINAPI quibClose(LONG_PTR handle)
{
    Movie *m = MovieOf(handle);
    if (!m)
        return 0;
    m->magic = 0;
    delete m;
    return 1;
}

// (movie, 0, field-order code, 0, frame total, width, height, fields word
// as the encoder takes it) -> encoder, or 0.
// The encoder writes the movie's file.
extern "C" Encoder *WINAPI vexaMovieEncodeStart(LONG_PTR handle, LONG_PTR, LONG_PTR order, LONG_PTR, LONG_PTR total,
                                                LONG_PTR width, LONG_PTR height, LONG_PTR fields)
{
    Movie *m = MovieOf(handle);
    if (!m || total < 0)
        return nullptr;
    // The fields word says the field order as the encoder takes it.
    (void)order;
    Encoder *e = vexaEncodeStart(m->fileName, m->fileName, LONG(width), LONG(height), LONG(fields));
    if (e)
        ++m->encoders;
    return e;
}
