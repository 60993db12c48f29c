// Shared between the data layer's sources.
#pragma once

#include "fxdata.h"

// The script header written with an effect (block text and files).
void FillScriptHeader(FxEffectHost *host, FxEffect *e, FxHeader *h);
// Makes the effect's block into `b` (capacity bytes); 1 on success.
int FillBlock(FxEffectHost *host, FxEffect *e, FxEffectBlock *b, uint32_t capacity, int forHost);
// Parses script text (reader source `kind`) into the effect's path list and
// takes the header's description, high flags, end frame, render file,
// thumbnail frame and render time stamp; `mode` carries FXL_FOREIGN.
int ParseInto(FxEffectHost *host, FxEffect *e, const void *source, uint32_t kind, uint32_t mode);
