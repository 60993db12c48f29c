// Image files into core layers: a size query through the image filters,
// a layer of that size, and a second conversion straight into its pixels.
#include <cstring>

#include "ferrix.h"
#include "fxmedia.h"

namespace {

void ClearRecord(FxImageRecord *image)
{
    image->width = 0;
    image->height = 0;
    image->layer = nullptr;
}

// A source request for a named file; false when the name does not fit.
bool FileSource(ConvertSource *s, const char *fileName)
{
    memset(s, 0, sizeof *s);
    s->version = FX_REQUEST_VERSION;
    size_t n = strlen(fileName);
    if (n == 0 || n >= sizeof s->path)
        return false;
    memcpy(s->path, fileName, n + 1);
    return true;
}

} // namespace

int LoadImageLayer(const FxImageRequest *request, FxImageRecord *image)
{
    if (!image)
        return 0;
    ClearRecord(image);
    const FxGraphicsSlots &G = g_fxGraphics;
    if (!request || !request->fileName || !g_fxFerrix.ferrixConvert || !G.CreateLayer || !G.DeleteLayer ||
        !G.BeginLayerAccess || !G.EndLayerAccess)
        return 0;

    // The size query: the reader opens the file and states its geometry;
    // without a target nothing is written.
    ConvertSource s;
    if (!FileSource(&s, request->fileName))
        return 0;
    if (g_fxFerrix.ferrixConvert(reinterpret_cast<FxConvertSource *>(&s), nullptr) != 0)
        return 0;
    int width = s.width, height = s.height;
    if (width <= 0 || height <= 0)
        return 0;

    Layer *layer = G.CreateLayer(width, height, 1);
    if (!layer)
        return 0;
    LayerAccess access;
    memset(&access, 0, sizeof access);
    if (!G.BeginLayerAccess(&access, layer, nullptr)) {
        G.DeleteLayer(layer);
        return 0;
    }
    bool ok = false;
    // The conversion writes whole rows of the layer's pitch; a window
    // smaller than the image (a core that clipped it) is not written into.
    if (access.firstPtr && access.width >= width && access.height >= height && access.firstPitch >= width * 4) {
        FxBlockGeometry geometry = { uint32_t(access.firstPitch), uint32_t(height) };
        ConvertTarget t;
        memset(&t, 0, sizeof t);
        t.version = FX_REQUEST_VERSION;
        t.width = uint16_t(width);
        t.height = uint16_t(height);
        t.depth = 32;
        t.rowOrder = FX_ROWS_TOPDOWN | 0x200;   // the core keeps its rows from the top
        t.pixelBlock = access.firstPtr;
        t.blockGeometry = &geometry;
        if (FileSource(&s, request->fileName))
            ok = g_fxFerrix.ferrixConvert(reinterpret_cast<FxConvertSource *>(&s),
                                          reinterpret_cast<FxConvertTarget *>(&t)) == 0;
    }
    G.EndLayerAccess(&access);
    if (!ok) {
        G.DeleteLayer(layer);
        return 0;
    }
    if (G.UpdateLayerEx)
        G.UpdateLayerEx(layer);
    image->width = width;
    image->height = height;
    image->layer = layer;
    return 1;
}
