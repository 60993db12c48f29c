// Chunked serialization into buffered files of the buffered-file library.
#include "fxutil.h"

namespace {

bool Bound()
{
    const FxStolidIoSlots &io = g_fxStolidIo;
    return g_fxStolid.bfWrite && g_fxStolid.bfDestroy && io.bfSetMem && io.bfRead && io.bfSeek && io.bfPushOrigin &&
           io.bfPopOrigin;
}

bool Write32(FxBufferedFile *file, uint32_t a, uint32_t b)
{
    uint32_t w[2] = {a, b};
    return g_fxStolid.bfWrite(file, w, 8) == 8;
}

}  // namespace

FxBufferedFile *OpenMemoryBf(void *buffer, int size)
{
    if (!Bound() && !FxBindStolid())
        return nullptr;
    if (!Bound())
        return nullptr;
    return g_fxStolidIo.bfSetMem(buffer, size, 0, 4);
}

int CloseBf(FxBufferedFile *file)
{
    if (!file || !Bound())
        return 0;
    if (file->flags & 0x4)
        Write32(file, 0, 0);
    int here = g_fxStolidIo.bfSeek(file, 0, 1);
    int size = g_fxStolidIo.bfSeek(file, 0, 2);
    g_fxStolidIo.bfSeek(file, here, 0);
    g_fxStolid.bfDestroy(file);
    return size;
}

int BeginBfChunk(FxBufferedFile *file, uint32_t tag)
{
    if (!file || !Bound())
        return 0;
    if (!Write32(file, 0, tag))
        return 0;
    return g_fxStolidIo.bfPushOrigin(file, g_fxStolidIo.bfSeek(file, 0, 1)) ? 1 : 0;
}

int EndBfChunk(FxBufferedFile *file, uint32_t closingValue)
{
    if (!file || !Bound())
        return 0;
    const FxStolidIoSlots &io = g_fxStolidIo;
    uint32_t length = uint32_t(io.bfSeek(file, 0, 1));
    io.bfSeek(file, 0, 0);
    if (!io.bfPopOrigin(file)) {
        // No chunk was open: leave the stream where it was.
        io.bfSeek(file, int(length), 0);
        return 0;
    }
    int data = io.bfSeek(file, 0, 1);   // the chunk's data, seen from the outer origin
    if (data < 8)
        return 0;
    uint32_t tag = 0;
    io.bfSeek(file, data - 4, 0);
    if (io.bfRead(file, &tag, 4) != 4)
        return 0;
    io.bfSeek(file, data - 8, 0);
    if (tag == 1) {
        uint32_t total = length + 16;
        Write32(file, total, ~total);
    } else {
        Write32(file, length + 8, closingValue);
    }
    io.bfSeek(file, data + int(length), 0);
    if (tag == 1)
        Write32(file, 8, closingValue ? 1 : 0);
    return 1;
}

int WriteBfBytes(FxBufferedFile *file, const void *data, int size)
{
    if (!file || !data || !size || !g_fxStolid.bfWrite)
        return 0;
    return g_fxStolid.bfWrite(file, data, size);
}
