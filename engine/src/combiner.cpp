#include "combiner.h"
#include "engine.h"

void CDXSurfCombiner::Init(int width, int height)
{
    w = width;
    h = height;
    if (!preview && g_engine.surfaceFactory)
        EngineCreateSurface(g_engine.surfaceFactory, width, height, 0x80000, &preview);
}

void CDXSurfCombiner::Release()
{
    EngineSurfaceRelease(preview);
    preview = nullptr;
}
