// The instance's effect: kept by the data layer (fxdata) in the instance's
// FxEffectHost record, which the host link keeps current.
#include <cstring>

#include "fxhost.h"

void FxSyncEffectHost(FxInstance *inst)
{
    FxEffectHost &h = inst->host;
    h.own = inst->own;
    h.peer = inst->peer;
    h.personality = inst->personality;
    h.hostKind = inst->hostKind;
    h.options = inst->editorOptions;
    h.fieldOption = inst->flags & FXI_INTERLACED;
    h.personalityViewFlags = FxPersonalityRow(inst->personality).initialFlags;
    h.dataType = FxPersonalityRow(inst->personality).blockKind;
    h.hostLength = inst->hostDuration;
    lstrcpynA(h.product, inst->product, sizeof h.product);
    lstrcpynA(h.objectName, inst->mode, sizeof h.objectName);
    lstrcpynA(h.settingsFile, inst->iniPath, sizeof h.settingsFile);
    h.mainWindow = inst->mainWindow;
    h.menu = inst->menu;
    FxInstallEffectHooks(&h);
}

void FxMarkChange(FxInstance *inst, uint32_t mask)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e) return;
    inst->changeMask |= mask;
    e->flags |= FXE_UNWRITTEN | FXE_UNCARDED | FXE_UNSTORED | FXE_UNSAVED;
}

uint32_t FxEffectTextSize(FxInstance *inst)
{
    FxEffect *e = FxCurrentEffect(inst);
    if (!e) return 0;
    const uint32_t block = FxBlockSize(&inst->host, e);
    return block > FXB_HEADER_SIZE ? block - FXB_HEADER_SIZE : 0;
}

int FxWriteEffectText(FxInstance *inst, char *out, size_t capacity)
{
    const uint32_t size = FxEffectTextSize(inst);
    if (!size || !out || capacity < size) return 0;
    return SaveEffect(&inst->host, inst->hostWindow, FXSV_TEXT, out);
}
