/*
 * CDXSurfCombiner: lays title layers over the programme.  The title overlay
 * is filled in by the combiner work; here it is the object the exports call.
 */
#ifndef CORVENGINE_COMBINER_H
#define CORVENGINE_COMBINER_H

#include "surface_access.h"

class CDXSurfCombiner {
public:
    virtual ~CDXSurfCombiner() {}
    void Init(int width, int height);
    void LoadProgramme() {}
    void LoadPreview() {}
    void DrawPreview() {}
    void Release();
    EngineSurface *preview = nullptr;
    int w = 0, h = 0;
};

extern CDXSurfCombiner g_combiner;

#endif
