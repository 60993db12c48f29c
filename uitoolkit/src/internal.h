/* Shared state and helpers inside Tundrix32. */
#ifndef TUNDRIX_INTERNAL_H
#define TUNDRIX_INTERNAL_H

#include <windows.h>
#include <cstdarg>
#include <string>

/* The program key "Software\\Quillon\\<program base name>". */
const char *TundrixProgramKey();
/* Forms the program key from a program's full file name (null or a name
 * without "\\": "Unknown App"). */
std::string TundrixFormProgramKey(const char *program_file);
/* The directory of the program's file, with its trailing separator. */
std::string TundrixProgramDir();

/* The argument list of a variable-argument export (Windows convention). */
typedef __builtin_ms_va_list TundrixArgs;
#define TUNDRIX_ARGS_START(list, last) __builtin_ms_va_start(list, last)
#define TUNDRIX_ARGS_END(list) __builtin_ms_va_end(list)

/* Signed decimal text with a "," after every third digit from the right. */
std::string TundrixGroupDigits(LONG value);

/* printf formatting over such a list. */
std::string TundrixFormat(const char *format, TundrixArgs args);
/* The scanner behind regScanf: standard scanf conventions over a text; each
 * conversion stores through the next of the pointers. */
int TundrixScan(const char *text, const char *format, void *const *ptrs, int count);
int TundrixScanArgs(const char *text, const char *format, TundrixArgs args);

/* One custom-control library, loaded by file name on first use and counted. */
struct ControlLibrary {
    const char *file;        /* "Knobkit.dll" */
    const char *reg;         /* registration export, called with the caller version */
    const char *unreg;       /* unregistration export, called before the library is freed */
    HMODULE module;
    int uses;
};
const DWORD kControlCallerVersion = 0x02410000;

bool ControlLibraryLoad(ControlLibrary *lib);
void ControlLibraryRelease(ControlLibrary *lib);
/* Both libraries or none: when only one loads it is released again. */
bool ControlLibrariesLoad(ControlLibrary *first, ControlLibrary *second);
void ControlLibrariesRelease(ControlLibrary *first, ControlLibrary *second);

/* Tundrix32's own pair, Knobkit then Placet. */
ControlLibrary *TundrixKnobkit();
ControlLibrary *TundrixPlacet();
int TundrixLoadControls();
void TundrixReleaseControls();

/* Library start-up and unload. */
void TundrixAttach(HINSTANCE module);
void TundrixDetach(bool process_exit);
HINSTANCE TundrixModule();
UINT TundrixFileDialogMessage();
ATOM TundrixImageAtom();

/* In-memory dialog templates (DLGTEMPLATE and DLGITEMTEMPLATE).  The last
 * word of the block holds the bytes used so far, rounded up to 4.  dbcs
 * picks how header strings become 16-bit units: through the ANSI code page,
 * or one unit per byte. */
HGLOBAL TemplateStart(DWORD style, short x, short y, short cx, short cy, LPCSTR menu, LPCSTR cls, LPCSTR title,
                      WORD point_size, LPCSTR face, DWORD ex_style);
HGLOBAL TemplateStartEx(DWORD style, short x, short y, short cx, short cy, LPCSTR menu, LPCSTR cls, LPCSTR title,
                        WORD point_size, LPCSTR face, DWORD ex_style, bool dbcs);
HGLOBAL TemplateAddItem(HGLOBAL block, WORD id, DWORD style, short x, short y, short cx, short cy, LPCSTR cls,
                        LPCSTR text);
HGLOBAL TemplateFinish(HGLOBAL block);
int TemplateReadFont(const void *tmpl, WORD *point_size, char *face, int face_size);
/* A copy of a template (size bytes) with its face and point size replaced
 * and the style bits applied; empty when the template is malformed. */
std::string TemplatePatch(const void *tmpl, size_t size, DWORD style, WORD point_size, LPCSTR face);
/* The local dialog font, made whatever the system's character sets. */
HFONT CreateLocalFontAlways(int point_size);

/* DBCS subclassing of the standard control classes. */
void DbcsSubclassInstall();
/* The subclassing itself, without the system and resource conditions. */
bool DbcsSubclassInstallNow();
void DbcsSubclassRemoveNow();
HFONT DbcsLocalFont();
void DbcsSubclassRemove();
void DbcsSetPassThrough(bool on);

#endif
