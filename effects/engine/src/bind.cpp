// The binding tables: each library's record, its slots by name, and the
// use counts that keep it loaded while anyone needs it.
#include "fxbind.h"

#include <cstdio>
#include <cstring>

#include "fxrender.h"
#include "fxwin32.h"

FxLibraryRecord g_fxTallysetLib = {nullptr, 0, "tallyset.dll"};
FxTallysetSlots g_fxTallyset = {};
FxLibraryRecord g_fxPixmoorLib = {nullptr, 0, "pixmoor.dll"};
FxLibraryRecord g_fxTundrixLib = {nullptr, 0, "tundrix32.dll"};
FxTundrixSlots g_fxTundrix = {};
FxLibraryRecord g_fxFerrixLib = {nullptr, 0, "ferrix32.dll"};
FxFerrixSlots g_fxFerrix = {};
FxLibraryRecord g_fxVexacodecLib = {nullptr, 0, "vexacodec.dll"};
FxVexacodecSlots g_fxVexacodec = {};
FxLibraryRecord g_fxMobraLib = {nullptr, 0, "mobra.dll"};
FxMobraSlots g_fxMobra = {};
FxLibraryRecord g_fxHuepinLib = {nullptr, 0, "huepin.dll"};
FxColourPicker g_fxGimmeAColor = HuepinInitFailed;
FxLibraryRecord g_fxKnobkitLib = {nullptr, 0, "Knobkit.dll"};
FxLibraryRecord g_fxPlacetLib = {nullptr, 0, "Placet.dll"};
FxLibraryRecord g_fxSpanruleLib = {nullptr, 0, "spanrule.dll"};
FxLibraryRecord g_fxVexaLib = {nullptr, 0, "vexa.dll"};
FxVexaSlots g_fxVexa = {};
FxLibraryRecord g_fxStolidLib = {nullptr, 0, "stolid.dll"};
FxStolidIoSlots g_fxStolidIo = {};

namespace {

const char *const kQuillonFx = "Quillon FX";

// One slot: the entry's name, the name tried when it is missing, and the
// address of the function pointer it fills.
struct Entry {
    const char *first;
    const char *second;
    void *slot;
};

template <class F>
Entry E(F &slot, const char *first, const char *second = nullptr)
{
    return {first, second, reinterpret_cast<void *>(&slot)};
}

template <size_t N>
void Fill(HMODULE dll, const Entry (&table)[N])
{
    for (const Entry &e : table) {
        FARPROC p = dll ? GetProcAddress(dll, e.first) : nullptr;
        if (!p && e.second && dll)
            p = GetProcAddress(dll, e.second);
        memcpy(e.slot, &p, sizeof p);
    }
}

template <size_t N>
void Clear(const Entry (&table)[N])
{
    FARPROC none = nullptr;
    for (const Entry &e : table)
        memcpy(e.slot, &none, sizeof none);
}

FxTallysetSlots &T = g_fxTallyset;
const Entry kTallyset[] = {
    E(T.RegFillLBEx, "RegFillLBEx", "dllRegFillLBEx"),
    E(T.RegGetStrKey, "RegGetStrKey", "dllRegGetStrKey"),
    E(T.RegGetData, "RegGetData", "dllRegGetData"),
    E(T.RegSetData, "RegSetData", "dllRegSetData"),
    E(T.RegFreeData, "RegFreeData", "dllRegFreeData"),
    E(T.RegBtnAdd, "RegBtnAdd", "dllRegBtnAdd"),
    E(T.RegBtnUpdate, "RegBtnUpdate", "dllRegBtnUpdate"),
    E(T.RegBtnRename, "RegBtnRename", "dllRegBtnRename"),
    E(T.RegBtnDelete, "RegBtnDelete", "dllRegBtnDelete"),
    E(T.RegBtnLoad, "RegBtnLoad", "dllRegBtnLoad"),
    E(T.RegSetFile, "RegSetFile", "dllSetRegFile"),
    E(T.RegGetFile, "RegGetFile", "dllGetRegFile"),
    E(T.RegEnumData, "RegEnumData", "dllRegEnumData"),
};

FxGraphicsSlots &G = g_fxGraphics;
const Entry kPixmoor[] = {
    E(G.BeginLayerAccess, "BeginLayerAccess"),
    E(G.EndLayerAccess, "EndLayerAccess"),
    E(G.RefreshLayerEx, "RefreshLayerEx"),
    E(G.UpdateLayerEx, "UpdateLayerEx"),
    E(G.CreateLayer, "CreateLayer"),
    E(G.CreateCompatibleLayer, "CreateCompatibleLayer"),
    E(G.AddRefCountLayer, "AddRefCountLayer"),
    E(G.DeleteLayer, "DeleteLayer"),
    E(G.CheckForPendingException, "CheckForPendingException"),
    E(G.ClearLayer, "ClearLayer"),
    E(G.CreateBitmapLayerEx, "CreateBitmapLayerEx"),
    E(G.CreateClippedLayer, "CreateClippedLayer"),
    E(G.ClipLayer, "ClipLayer"),
    E(G.ClipLayerXYWH, "ClipLayerXYWH"),
    E(G.CopyLayer, "CopyLayer"),
    E(G.RGBtoYUVLayer, "RGBtoYUVLayer"),
    E(G.YUVtoRGBLayer, "YUVtoRGBLayer"),
    E(G.LuminanceLayer, "LuminanceLayer"),
    E(G.TintLayer, "TintLayer"),
    E(G.MosaicLayer, "MosaicLayer"),
    E(G.EmbossLayer, "EmbossLayer"),
    E(G.TestFourCorner, "TestFourCorner"),
    E(G.FourCornerMapLayer, "FourCornerMapLayer"),
    E(G.CompositOnTopLayerEx, "CompositOnTopLayerEx"),
    E(G.CompositOnBottomLayerEx, "CompositOnBottomLayerEx"),
    E(G.CompositOnBottomLayer, "CompositOnBottomLayer"),
    E(G.FlipVertLayer, "FlipVertLayer"),
    E(G.SetLayer, "SetLayer"),
    E(G.ResizeLayer, "ResizeLayer"),
    E(G.PixmoorAreYouThere, "PixmoorAreYouThere"),
    E(G.EnableFrameBuffer, "EnableFrameBuffer"),
    E(G.DisableFrameBuffer, "DisableFrameBuffer"),
    E(G.OnScreenFrameBufferLayer, "OnScreenFrameBufferLayer"),
    E(G.CreateBitmapLayerBackground, "CreateBitmapLayerBackground"),
    E(G.GetStockLayer, "GetStockLayer"),
};

FxTundrixSlots &U = g_fxTundrix;
const Entry kTundrix[] = {
    E(U.tabCreate, "tabCreate"),
    E(U.tabAddTemplate, "tabAddTemplate"),
    E(U.tabDialogBox, "tabDialogBox"),
    E(U.tabDestroy, "tabDestroy"),
    E(U.tabSetInitialTab, "tabSetInitialTab"),
    E(U.iErrMessageBox, "iErrMessageBox"),
    E(U.iGetDirName, "iGetDirName"),
    E(U.iCreateDialogParam, "iCreateDialogParam"),
    E(U.HackDialogBoxParam, "HackDialogBoxParam"),
    E(U.tabSetFont, "tabSetFont"),
    E(U.iLoadString, "iLoadString"),
    E(U.LoadStringsIntoCB, "LoadStringsIntoCB"),
};

const Entry kFerrix[] = {
    E(g_fxFerrix.ferrixConvert, "ferrixConvert"),
    E(g_fxFerrix.ferrixEnumWriteFormats, "ferrixEnumWriteFormats"),
};

FxVexacodecSlots &C = g_fxVexacodec;
const Entry kVexacodecOwn[] = {
    E(C.EncodeStart, "_vexaEncodeStart@20"),
    E(C.EncodeGetLayer, "_vexaEncodeGetLayer@8"),
    E(C.EncodeFrame, "_vexaEncodeFrame@12"),
    E(C.EncodeEnd, "_vexaEncodeEnd@4"),
    E(C.EncodeThumbnail, "_vexaEncodeThumbnail@8"),
    E(C.ChangeThumbnail, "_vexaChangeThumbnail@8"),
    E(C.EncodePauseFrame, "_vexaEncodePauseFrame@4"),
};
const Entry kVexacodecReaders[] = {
    E(C.GetFrameStart, "_vexaGetFrameStart@4"),
    E(C.GetFrame, "_vexaGetFrame@12"),
    E(C.GetFrameEnd, "_vexaGetFrameEnd@4"),
};

FxMobraSlots &M = g_fxMobra;
const Entry kMobra[] = {
    E(M.mobraOpen, "mobraOpen"),     E(M.mobraCast, "mobraCast"),     E(M.mobraGetInfo, "mobraGetInfo"),
    E(M.mobraGetBmp, "mobraGetBmp"), E(M.mobraGetBox, "mobraGetBox"), E(M.mobraGetPts, "mobraGetPts"),
    E(M.mobraGetName, "mobraGetName"),
};

const Entry kHuepin[] = {
    E(g_fxGimmeAColor, "GimmeAColor", "_GimmeAColor@20"),
};

FxVexaSlots &V = g_fxVexa;
const Entry kVexa[] = {
    E(V.quibCreate, "_quibCreate@20"),
    E(V.quibClose, "_quibClose@4"),
    E(V.EncodeStart, "_vexaEncodeStart@32"),
    E(V.EncodeGetLayer, "_vexaEncodeGetLayer@8"),
    E(V.EncodeFrame, "_vexaEncodeFrame@12"),
    E(V.EncodeEnd, "_vexaEncodeEnd@4"),
    E(V.EncodeThumbnail, "_vexaEncodeThumbnail@8"),
};

const Entry kStolid[] = {
    E(g_fxStolid.bfOpenFile, "bfOpenFile"),
    E(g_fxStolid.bfDestroy, "bfDestroy"),
    E(g_fxStolid.bfWrite, "bfWrite"),
    E(g_fxStolid.bfGetc, "_bfGetc"),
    E(g_fxStolidIo.bfSetMem, "bfSetMem"),
    E(g_fxStolidIo.bfRead, "bfRead"),
    E(g_fxStolidIo.bfSeek, "bfSeek"),
    E(g_fxStolidIo.bfPushOrigin, "bfPushOrigin"),
    E(g_fxStolidIo.bfPopOrigin, "bfPopOrigin"),
};

// Loads the record's library when it is not loaded yet; true when it was
// loaded now (the caller fills its slots), false when it was loaded
// already (the count is raised) or cannot be loaded.
bool Load(FxLibraryRecord &rec, HMODULE module)
{
    if (rec.module) {
        ++rec.useCount;
        return false;
    }
    HMODULE dll = LoadLibraryFromModuleDir(rec.name, module, 1);
    if (!dll)
        return false;
    rec.module = dll;
    rec.useCount = 1;
    return true;
}

// Lowers the count; true when this was the last use (the caller clears
// its slots first, then calls Unload).
bool LastUse(FxLibraryRecord &rec)
{
    if (rec.useCount <= 0)
        return false;
    return --rec.useCount == 0;
}

void Unload(FxLibraryRecord &rec, const char *plainName)
{
    if (rec.module)
        FreeLibrary(rec.module);
    rec.module = nullptr;
    rec.useCount = 0;
    lstrcpynA(rec.name, plainName, MAX_PATH);
}

typedef BOOL(WINAPI *ControlRegister)(DWORD version);
typedef BOOL(WINAPI *ControlUnregister)(void);

void RegisterControls(HMODULE dll, const char *entry)
{
    auto reg = reinterpret_cast<ControlRegister>(GetProcAddress(dll, entry));
    if (reg)
        reg(FX_CONTROLS_VERSION);
}

void UnregisterControls(HMODULE dll, const char *entry)
{
    auto unreg = dll ? reinterpret_cast<ControlUnregister>(GetProcAddress(dll, entry)) : nullptr;
    if (unreg)
        unreg();
}

int ShowHuepinBox(const char *text)
{
    MessageBoxA(nullptr, text, kQuillonFx, MB_ICONSTOP | MB_TASKMODAL);
    return 0;
}

}  // namespace

int WINAPI HuepinInitFailed(HWND, COLORREF *, LPCSTR, DWORD, LPARAM)
{
    return ShowHuepinBox("HuepinInit() was called, but failed");
}

int WINAPI HuepinAfterDone(HWND, COLORREF *, LPCSTR, DWORD, LPARAM)
{
    return ShowHuepinBox("using Huepin after calling HuepinDone()");
}

// ---------------------------------------------------------------- single steps

LONG BindTallyset(HMODULE module)
{
    if (Load(g_fxTallysetLib, module))
        Fill(g_fxTallysetLib.module, kTallyset);
    return g_fxTallysetLib.useCount;
}

LONG BindPixmoor(HMODULE module)
{
    if (Load(g_fxPixmoorLib, module)) {
        Fill(g_fxPixmoorLib.module, kPixmoor);
    }
    return g_fxPixmoorLib.useCount;
}

LONG BindTundrix(HMODULE module)
{
    if (Load(g_fxTundrixLib, module))
        Fill(g_fxTundrixLib.module, kTundrix);
    return g_fxTundrixLib.useCount;
}

LONG BindFerrix(HMODULE module)
{
    if (Load(g_fxFerrixLib, module))
        Fill(g_fxFerrixLib.module, kFerrix);
    return g_fxFerrixLib.useCount;
}

LONG BindVexa(HMODULE module)
{
    FxLibraryRecord &rec = g_fxVexaLib;
    if (rec.module) {
        ++rec.useCount;
        return rec.useCount;
    }
    HMODULE dll = LoadLibraryFromModuleDir(rec.name, module, 1);
    if (!dll) {
        // The older movie library under its own name.
        lstrcpynA(rec.name, "quib.dll", MAX_PATH);
        dll = LoadLibraryFromModuleDir(rec.name, module, 1);
    }
    if (!dll) {
        lstrcpynA(rec.name, "vexa.dll", MAX_PATH);
        return rec.useCount;
    }
    rec.module = dll;
    rec.useCount = 1;
    Fill(dll, kVexa);
    return 1;
}

LONG BindVexacodec(HMODULE module)
{
    if (Load(g_fxVexacodecLib, module)) {
        Fill(g_fxVexacodecLib.module, kVexacodecOwn);
        // The frame readers live in the movie library, when it is bound.
        Fill(g_fxVexaLib.module, kVexacodecReaders);
    }
    return g_fxVexacodecLib.useCount;
}

LONG BindMobra(HMODULE module)
{
    if (Load(g_fxMobraLib, module))
        Fill(g_fxMobraLib.module, kMobra);
    return g_fxMobraLib.useCount;
}

LONG BindSpanrule(HMODULE module)
{
    // No slots: the library registers the time-bar class when loaded.
    Load(g_fxSpanruleLib, module);
    return g_fxSpanruleLib.useCount;
}

LONG BindHuepin(HMODULE module)
{
    if (Load(g_fxHuepinLib, module)) {
        Fill(g_fxHuepinLib.module, kHuepin);
        if (!g_fxGimmeAColor)
            g_fxGimmeAColor = HuepinInitFailed;
    } else if (!g_fxHuepinLib.module) {
        g_fxGimmeAColor = HuepinInitFailed;   // a failed bind, also after an earlier release
    }
    return g_fxHuepinLib.useCount;
}

LONG BindCustomControls(HMODULE module)
{
    // One count for the pair, kept in both records.
    if (g_fxKnobkitLib.useCount > 0) {
        g_fxPlacetLib.useCount = ++g_fxKnobkitLib.useCount;
        return g_fxKnobkitLib.useCount;
    }
    HMODULE knobkit = LoadLibraryFromModuleDir(g_fxKnobkitLib.name, module, 1);
    HMODULE placet = LoadLibraryFromModuleDir(g_fxPlacetLib.name, module, 1);
    if (!knobkit && !placet)
        return 0;
    g_fxKnobkitLib.module = knobkit;
    g_fxPlacetLib.module = placet;
    g_fxKnobkitLib.useCount = g_fxPlacetLib.useCount = 1;
    if (knobkit)
        RegisterControls(knobkit, "KnobsetRegister");
    if (placet)
        RegisterControls(placet, "PlacetRegister");
    return 1;
}

LONG BindStolid(HMODULE module)
{
    if (Load(g_fxStolidLib, module))
        Fill(g_fxStolidLib.module, kStolid);
    return g_fxStolidLib.useCount;
}

int FxBindStolid()
{
    if (g_fxStolid.bfWrite && g_fxStolid.bfGetc)
        return 1;
    if (g_fxStolidLib.module)
        Fill(g_fxStolidLib.module, kStolid);   // slots cleared by hand: take them again
    else
        BindStolid(GetFxInstance());
    return g_fxStolid.bfWrite && g_fxStolid.bfGetc ? 1 : 0;
}

// ---------------------------------------------------------------- masks

int BindLibraries(HMODULE module, DWORD mask)
{
    if (mask & FXLIB_TALLYSET) BindTallyset(module);
    if (mask & FXLIB_PIXMOOR) BindPixmoor(module);
    if (mask & FXLIB_TUNDRIX) BindTundrix(module);
    if (mask & FXLIB_STOLID) BindStolid(module);
    if (mask & FXLIB_FERRIX) BindFerrix(module);
    if (mask & FXLIB_VEXACODEC) BindVexacodec(module);
    if (mask & FXLIB_VEXA) BindVexa(module);
    if (mask & FXLIB_MOBRA) BindMobra(module);
    if (mask & FXLIB_CONTROLS) BindCustomControls(module);
    if (mask & FXLIB_HUEPIN) BindHuepin(module);
    if (mask & FXLIB_SPANRULE) BindSpanrule(module);
    return 1;
}

int FreeLibraries(DWORD mask)
{
    if ((mask & FXLIB_TALLYSET) && LastUse(g_fxTallysetLib)) {
        Clear(kTallyset);
        Unload(g_fxTallysetLib, "tallyset.dll");
    }
    if ((mask & FXLIB_PIXMOOR) && LastUse(g_fxPixmoorLib)) {
        Clear(kPixmoor);
        Unload(g_fxPixmoorLib, "pixmoor.dll");
    }
    if ((mask & FXLIB_TUNDRIX) && LastUse(g_fxTundrixLib)) {
        Clear(kTundrix);
        Unload(g_fxTundrixLib, "tundrix32.dll");
    }
    if ((mask & FXLIB_FERRIX) && LastUse(g_fxFerrixLib)) {
        Clear(kFerrix);
        Unload(g_fxFerrixLib, "ferrix32.dll");
    }
    if ((mask & FXLIB_VEXACODEC) && LastUse(g_fxVexacodecLib)) {
        Clear(kVexacodecOwn);
        Clear(kVexacodecReaders);
        Unload(g_fxVexacodecLib, "vexacodec.dll");
    }
    if ((mask & FXLIB_VEXA) && LastUse(g_fxVexaLib)) {
        Clear(kVexa);
        // The encoder's frame readers point into this module: never leave
        // them behind it.
        Clear(kVexacodecReaders);
        Unload(g_fxVexaLib, "vexa.dll");
    }
    if ((mask & FXLIB_MOBRA) && LastUse(g_fxMobraLib)) {
        Clear(kMobra);
        Unload(g_fxMobraLib, "mobra.dll");
    }
    if ((mask & FXLIB_HUEPIN) && LastUse(g_fxHuepinLib)) {
        Unload(g_fxHuepinLib, "huepin.dll");
        g_fxGimmeAColor = HuepinAfterDone;
    }
    bool lastControls = (mask & FXLIB_CONTROLS) && LastUse(g_fxKnobkitLib);
    g_fxPlacetLib.useCount = g_fxKnobkitLib.useCount;
    if (lastControls) {
        UnregisterControls(g_fxKnobkitLib.module, "KnobsetUnregister");
        UnregisterControls(g_fxPlacetLib.module, "PlacetUnregister");
        Unload(g_fxKnobkitLib, "Knobkit.dll");
        Unload(g_fxPlacetLib, "Placet.dll");
    }
    if ((mask & FXLIB_SPANRULE) && LastUse(g_fxSpanruleLib))
        Unload(g_fxSpanruleLib, "spanrule.dll");
    return 1;
}

int FormatLibraryReport(char *buffer, size_t size)
{
    if (!buffer || size == 0)
        return 0;
    int n = snprintf(buffer, size,
                     "Pixmoor = %s\nTundrix = %s\nFerrix = %s\nVexa = %s\nMobra = %s\nSpanrule = %s\n"
                     "Huepin = %s\nPlacet = %s\nKnobset = %s\nTemplates = %s\n",
                     g_fxPixmoorLib.name, g_fxTundrixLib.name, g_fxFerrixLib.name, g_fxVexaLib.name,
                     g_fxMobraLib.name, g_fxSpanruleLib.name, g_fxHuepinLib.name, g_fxPlacetLib.name,
                     g_fxKnobkitLib.name, g_fxTallysetLib.name);
    if (n < 0)
        return 0;
    return size_t(n) < size ? n : int(size - 1);
}

int FxLoadString(HINSTANCE instance, UINT id, char *buffer, int size)
{
    if (g_fxTundrix.iLoadString)
        return g_fxTundrix.iLoadString(instance, id, buffer, size, 0);
    return LoadStringA(instance, id, buffer, size);
}
