// JPEG32.dll exports: the caller's callback behind the decoder's plain read
// function.
#include "jpeg32.h"

#include <new>

#include "decode.h"

namespace {

struct Reader {
    JpegCallback callback;
    void *source;
};

int ReadThrough(void *user, unsigned char *buf, int len)
{
    Reader *r = static_cast<Reader *>(user);
    int n = r->callback(JPEG_CB_READ, r->source, buf, len);
    return n < 0 ? 0 : n > len ? len : n;
}

}  // namespace

extern "C" int WINAPI JPEG_Info(void *source, JpegCallback callback, JpegInfo *info)
{
    if (!callback || !info) return jpeg32::kNotJpeg;
    Reader r = {callback, source};
    jpeg32::Facts f = {};
    int rc = jpeg32::Info(ReadThrough, &r, f);
    if (rc != 0) return rc;
    info->size = sizeof *info;
    info->width = uint16_t(f.width);
    info->components = uint16_t(f.components);
    info->height = int32_t(f.height);
    info->flags = uint16_t(f.flags);
    info->bitsPerPixel = uint16_t(f.bitsPerPixel);
    return 0;
}

extern "C" int WINAPI JPEG_Decompress(void *source, JpegCallback callback, JpegWork *work, BYTE *destination)
{
    if (!callback || !work || !destination) return jpeg32::kNotJpeg;
    Reader r = {callback, source};
    jpeg32::Facts f = {};
    int rc = jpeg32::Decode(ReadThrough, &r, destination, work->bytesPerRow, work->rows,
                            (work->options & JPEG_TOP_DOWN) != 0, f);
    work->width = f.width;
    work->height = f.height;
    work->bitsPerPixel = f.bitsPerPixel;
    work->flags = f.flags;
    work->restartInterval = f.restartInterval;
    work->scans = f.scans;
    work->warnings = f.warnings;
    work->rowsDone = f.rowsDone;
    return rc;
}
