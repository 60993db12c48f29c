// The data layer's hooks that the engine serves: fitting a loaded effect's
// frames to the host's length, switching the mesh effects on, and drawing
// the paths of a thumbnail.
#include <cstddef>

#include "fxedit.h"
#include "fxhost.h"
#include "fxmeshreg.h"
#include "fxscene.h"
#include "fxutil.h"

namespace {

// The effect's clip-length method (bits 28-29) stretches or crops its
// keyframes to the host's length; the effect then ends there.
void FitRange(FxEffectHost *host, FxEffect *effect)
{
    if (!host || !effect || host->hostLength <= 0 || !effect->first) return;
    if (effect->endFrame == host->hostLength) return;
    const int method = int((effect->flags >> 28) & 3);
    SetEffectClipLength(effect->first, method, effect->endFrame, host->hostLength);
    effect->endFrame = host->hostLength;
}

// Mesh effects come from the plug-in registry once switched on.
// The warp table is built from them here, inside the library, so that
// keyframes read afterwards find their warps.
void EnableMeshes(FxEffectHost *, int on)
{
    if (!on) return;
    InstallMeshRegistry();
    InitShapeList(1);
}

// The objects of the host's animation-data record become the effect's paths.
void AnimationObjects(FxEffectHost *host, FxEffect *effect, void *record, int option)
{
    auto *inst = reinterpret_cast<FxInstance *>(reinterpret_cast<char *>(host) - offsetof(FxInstance, host));
    AddAnimationObjects(inst, record, effect, uint32_t(option));
}

// Thumbnails (templates, cards): the paths' motion lines and outlines as
// the editor draws them, in the thumbnail's own view.
void DrawThumbnail(FxEffectHost *, FxView *view, FxPath *list, int frame)
{
    if (!view || !list || !list->head) return;
    RecomputeEffect(view, list);
    FxEditContext ctx = {list, list, list->current ? list->current : list->head, frame > 0 ? frame : 1};
    DrawPaths(view, &ctx, SD_EVERY_PATH);
}

}  // namespace

void FxInstallEffectHooks(FxEffectHost *host)
{
    host->hooks.addAnimationObjects = AnimationObjects;
    host->hooks.fitRange = FitRange;
    host->hooks.enableMeshes = EnableMeshes;
    host->hooks.drawScene = DrawThumbnail;
}
