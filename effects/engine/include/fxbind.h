// Binding tables of the graphics maker's other libraries.  The effects
// library links none of them: each is loaded by file name on first use
// (beside the effects library first, see LoadLibraryFromModuleDir), its
// entry points are taken by name into a table of slots, and a use count
// keeps it loaded while any attached node or open editor needs it.
// Callers name the libraries with a mask of the FXLIB_ bits.
//
// Every caller tests a slot before calling it and skips the call (or uses
// its plain Win32 fallback) when it is empty.  The one exception is the
// colour picker slot, which always holds a function.
//
// Threads: binding and releasing happen under the caller's attach or
// editor lock, or on the user-interface thread; the tables themselves
// take no lock.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "fxmodel.h"    // g_fxGraphics: the graphics core's slots
#include "fxscript.h"   // g_fxStolid: the buffered-file library's slots

constexpr DWORD FXLIB_TALLYSET = 0x1;     // "tallyset.dll", the store of numbered entries
constexpr DWORD FXLIB_PIXMOOR = 0x2;      // "pixmoor.dll", the graphics core
constexpr DWORD FXLIB_TUNDRIX = 0x8;      // "tundrix32.dll", the UI toolkit
constexpr DWORD FXLIB_FERRIX = 0x10;      // "ferrix32.dll", the image filters
constexpr DWORD FXLIB_VEXACODEC = 0x20;   // "vexacodec.dll", the movie encoder
constexpr DWORD FXLIB_MOBRA = 0x40;       // "mobra.dll", animation data
constexpr DWORD FXLIB_HUEPIN = 0x80;      // "huepin.dll", the colour picker
constexpr DWORD FXLIB_CONTROLS = 0x100;   // "Knobkit.dll" and "Placet.dll"
constexpr DWORD FXLIB_SPANRULE = 0x200;   // "spanrule.dll", the time bar
constexpr DWORD FXLIB_VEXA = 0x400;       // "vexa.dll", else "quib.dll": movies
constexpr DWORD FXLIB_STOLID = 0x800;     // "stolid.dll", buffered files (never released)

// What every binding record holds beside its slots.  `name` starts as the
// plain file name and holds the full path of the loaded file while bound.
struct FxLibraryRecord {
    HMODULE module;
    LONG useCount;
    char name[MAX_PATH];
};

// ---------------------------------------------------------------- slot tables

struct FxTallysetSlots {
    LONG_PTR(__cdecl *RegFillLBEx)(HWND list, int kind, int style, int reserved, void *apply, void *user);
    LONG_PTR(__cdecl *RegGetStrKey)(LONG_PTR a, LONG_PTR b, LONG_PTR c, LONG_PTR d);
    int(__cdecl *RegGetData)(int kind, int number, char *name, void *record);
    int(__cdecl *RegSetData)(int kind, int number, const char *name, const void *record, int size);
    int(__cdecl *RegFreeData)(void *record);
    int(__cdecl *RegBtnAdd)(HWND window, HWND list, DWORD flags, void *record);
    int(__cdecl *RegBtnUpdate)(HWND window, HWND list, DWORD flags, void *record);
    int(__cdecl *RegBtnRename)(HWND window, HWND list, DWORD flags, void *record);
    int(__cdecl *RegBtnDelete)(HWND window, HWND list, DWORD flags, void *record);
    LONG_PTR(__cdecl *RegBtnLoad)(HWND window, HWND list, void *record, DWORD flags);
    int(__cdecl *RegSetFile)(const char *path);
    const char *(__cdecl *RegGetFile)(void);
    int(__cdecl *RegEnumData)(int kind, int first, int last, void *callback, void *user);
};

// The UI toolkit's entries that the effects library calls.
struct FxTundrixSlots {
    HANDLE(__cdecl *tabCreate)(HWND owner, HINSTANCE instance, LPCSTR caption, DLGPROC frameProc, LPARAM param,
                               int defaultButton, DWORD flags, ...);   // captions, ended by a null
    int(WINAPI *tabAddTemplate)(HANDLE tab, LPCSTR caption, HINSTANCE instance, LPCSTR templ, DLGPROC proc,
                                LPARAM param, DWORD pageFlags);
    INT_PTR(WINAPI *tabDialogBox)(HANDLE tab);
    void(WINAPI *tabDestroy)(HANDLE tab);
    void(WINAPI *tabSetInitialTab)(HANDLE tab, int index);
    int(WINAPI *iErrMessageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
    int(WINAPI *iGetDirName)(HWND owner, LPSTR buffer, int size, LPCSTR title, void *hook, LPCSTR templ,
                             LPARAM hookData, LPARAM unused, LPCSTR section);
    HWND(WINAPI *iCreateDialogParam)(HINSTANCE instance, LPCSTR templ, HWND owner, DLGPROC proc, LPARAM param);
    INT_PTR(WINAPI *HackDialogBoxParam)(HINSTANCE instance, LPCSTR templ, HWND owner, DLGPROC proc, LPARAM param,
                                        DWORD style, DWORD exStyle, LPCSTR face, LONG size);
    void(WINAPI *tabSetFont)(HANDLE tab, LPCSTR face, int points);
    int(WINAPI *iLoadString)(HINSTANCE instance, UINT id, LPSTR buffer, int size, int unused);
    int(WINAPI *LoadStringsIntoCB)(HWND combo, UINT first, UINT last, int selection);
};

struct FxConvertSource;
struct FxConvertTarget;
struct FxFormatRecord;
typedef int(WINAPI *FxFormatCallback)(FxFormatRecord *record, LPARAM user);

// The image filters: conversions (0 = done) and the write-format list.
struct FxFerrixSlots {
    int(WINAPI *ferrixConvert)(FxConvertSource *source, FxConvertTarget *target);
    int(WINAPI *ferrixEnumWriteFormats)(FxFormatCallback callback, LPARAM user);
};

// The movie encoder; the three frame readers come from the movie library's
// module (empty when it was not bound before the encoder).
struct FxVexacodecSlots {
    LONG_PTR(WINAPI *EncodeStart)(LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR);
    Layer *(WINAPI *EncodeGetLayer)(LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *EncodeFrame)(LONG_PTR, LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *EncodeEnd)(LONG_PTR);
    LONG_PTR(WINAPI *EncodeThumbnail)(LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *ChangeThumbnail)(LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *EncodePauseFrame)(LONG_PTR);
    LONG_PTR(WINAPI *GetFrameStart)(LONG_PTR);
    LONG_PTR(WINAPI *GetFrame)(LONG_PTR, LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *GetFrameEnd)(LONG_PTR);
};

struct FxMobraSlots {
    LONG_PTR(WINAPI *mobraOpen)(LPCSTR name);
    LONG_PTR(WINAPI *mobraCast)(LONG_PTR file, LONG_PTR index);
    LONG_PTR(WINAPI *mobraGetInfo)(LONG_PTR file, void *info);
    LONG_PTR(WINAPI *mobraGetBmp)(LONG_PTR file, LONG_PTR index, void *pixels);
    LONG_PTR(WINAPI *mobraGetBox)(LONG_PTR file, LONG_PTR index, void *box);
    LONG_PTR(WINAPI *mobraGetPts)(LONG_PTR file, LONG_PTR index, void *points);
    LONG_PTR(WINAPI *mobraGetName)(LONG_PTR file, LONG_PTR index, char *name);
};

struct FxVexaSlots {
    LONG_PTR(WINAPI *quibCreate)(LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *quibClose)(LONG_PTR file);
    LONG_PTR(WINAPI *EncodeStart)(LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR);
    Layer *(WINAPI *EncodeGetLayer)(LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *EncodeFrame)(LONG_PTR, LONG_PTR, LONG_PTR);
    LONG_PTR(WINAPI *EncodeEnd)(LONG_PTR);
    LONG_PTR(WINAPI *EncodeThumbnail)(LONG_PTR, LONG_PTR);
};

// The colour picker: (owner, colour in and out, title, flags, user) -> 1
// when a colour was chosen.
typedef int(WINAPI *FxColourPicker)(HWND owner, COLORREF *colour, LPCSTR title, DWORD flags, LPARAM user);

// ---------------------------------------------------------------- the records

extern FxLibraryRecord g_fxTallysetLib;
extern FxTallysetSlots g_fxTallyset;
extern FxLibraryRecord g_fxPixmoorLib;    // slots: g_fxGraphics
extern FxLibraryRecord g_fxTundrixLib;
extern FxTundrixSlots g_fxTundrix;
extern FxLibraryRecord g_fxFerrixLib;
extern FxFerrixSlots g_fxFerrix;
extern FxLibraryRecord g_fxVexacodecLib;
extern FxVexacodecSlots g_fxVexacodec;
extern FxLibraryRecord g_fxMobraLib;
extern FxMobraSlots g_fxMobra;
extern FxLibraryRecord g_fxHuepinLib;
extern FxColourPicker g_fxGimmeAColor;    // never null
extern FxLibraryRecord g_fxKnobkitLib;    // the custom controls: one count
extern FxLibraryRecord g_fxPlacetLib;     // (kept in the Knobkit record)
extern FxLibraryRecord g_fxSpanruleLib;
extern FxLibraryRecord g_fxVexaLib;
extern FxVexaSlots g_fxVexa;
extern FxLibraryRecord g_fxStolidLib;     // slots: g_fxStolid and g_fxStolidIo

// The buffered-file calls of the chunked serialization, taken from the
// same module as g_fxStolid when it is bound.
struct FxStolidIoSlots {
    FxBufferedFile *(__cdecl *bfSetMem)(void *block, int size, int reserved, int mode);
    int(__cdecl *bfRead)(FxBufferedFile *file, void *buffer, int length);
    int(__cdecl *bfSeek)(FxBufferedFile *file, int offset, int origin);
    int(__cdecl *bfPushOrigin)(FxBufferedFile *file, int position);
    int(__cdecl *bfPopOrigin)(FxBufferedFile *file);
};
extern FxStolidIoSlots g_fxStolidIo;

// What the colour picker slot holds before a bind and after a failed one,
// and after the last release: each shows its message box and returns 0.
int WINAPI HuepinInitFailed(HWND owner, COLORREF *colour, LPCSTR title, DWORD flags, LPARAM user);
int WINAPI HuepinAfterDone(HWND owner, COLORREF *colour, LPCSTR title, DWORD flags, LPARAM user);

// ---------------------------------------------------------------- binding

// Binds every library of the mask (beside `module` first); 1 always.  A
// library that cannot be loaded keeps empty slots and its count.
int BindLibraries(HMODULE module, DWORD mask);
// Releases one use of every library of the mask; the last use clears the
// slots, frees the library and writes its plain file name back.  The
// buffered-file library is never released.  1 always.
int FreeLibraries(DWORD mask);

// The single steps: each returns the new use count (1 after a fresh load),
// or the old count when the load failed.
LONG BindTallyset(HMODULE module);
LONG BindPixmoor(HMODULE module);
LONG BindTundrix(HMODULE module);
LONG BindFerrix(HMODULE module);
LONG BindVexa(HMODULE module);
LONG BindVexacodec(HMODULE module);
LONG BindMobra(HMODULE module);
LONG BindSpanrule(HMODULE module);
LONG BindHuepin(HMODULE module);
LONG BindCustomControls(HMODULE module);
LONG BindStolid(HMODULE module);

// Writes the names of the libraries (full paths while bound) into buffer
// as the About box shows them; returns the length.  `size` counts bytes.
int FormatLibraryReport(char *buffer, size_t size);

// Version word the custom-control libraries are registered with.
constexpr DWORD FX_CONTROLS_VERSION = 0x02410000;

// A string resource through the UI toolkit when it is bound (it knows the
// double-byte resources), else through Win32.
int FxLoadString(HINSTANCE instance, UINT id, char *buffer, int size);
