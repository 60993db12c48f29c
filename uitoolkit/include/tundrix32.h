/* Tundrix32: the graphics maker's dialog library.  Exported families:
 * start-up and control libraries, dialog templates and local fonts, window,
 * dialog-item, string and file utilities, menus, ini and registry objects. */
#ifndef TUNDRIX32_H
#define TUNDRIX32_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Dialog templates and fonts ---- */

/* Template kinds (the last argument of HackDialogBoxParam). */
#define TEMPLATE_HANDLE   0x1   /* a global memory handle */
#define TEMPLATE_POINTER  0x2   /* a pointer to a template in memory */
#define TEMPLATE_MODELESS 0x10  /* create modeless instead of running modally */

INT_PTR WINAPI HackDialogBoxParam(HINSTANCE instance, LPCSTR tmpl, HWND owner, DLGPROC proc, LPARAM param, DWORD style,
                                  WORD point_size, LPCSTR face, DWORD flags);
HFONT WINAPI iCreateLocalFont(int point_size, int unused);
int WINAPI iLoadString(HINSTANCE instance, UINT id, LPSTR buffer, int size, int unused);

/* ---- Ini and registry objects ---- */

/* Value kinds (low four bits of the type word). */
enum {
    INIKIND_DOUBLE = 1,
    INIKIND_LONG = 2,
    INIKIND_STRING = 3,
    INIKIND_BOOL = 4,
    INIKIND_MASK = 5,
    INIKIND_INDEX = 6,
    INIKIND_ITEMDATA = 7
};

typedef struct INIOBJECT {
    char *file;          /* ini file name, or the key path in registry mode */
    char *section;       /* null: none */
    HWND dialog;         /* for ini-bound dialogs */
    LPCSTR desc_name;    /* description resource name */
    HMODULE desc_module; /* description module */
    HKEY key;            /* open key in registry mode, else null */
} INIOBJECT;

INIOBJECT *WINAPI iniCreate(LPCSTR file, LPCSTR section, HWND dialog, LPCSTR desc_name, HMODULE desc_module);
void WINAPI iniDestroy(INIOBJECT *obj);
BOOL WINAPI iniSetFile(INIOBJECT *obj, LPCSTR file);
BOOL WINAPI iniSetSection(INIOBJECT *obj, LPCSTR section);
int WINAPI GetIniDataEx(INIOBJECT *obj, LPCSTR key, LPCSTR def, int kind, LPSTR buffer, int size);
int WINAPI GetIniData(INIOBJECT *obj, LPCSTR key, LPCSTR def, LPSTR buffer, int size);
BOOL WINAPI SetIniDataEx(INIOBJECT *obj, LPCSTR key, int kind, LPCSTR value, int length);
BOOL WINAPI SetIniData(INIOBJECT *obj, LPCSTR key, LPCSTR text);

INIOBJECT *WINAPI regInit(LPCSTR file, LPCSTR section);
BOOL WINAPI regDone(INIOBJECT *obj);
int WINAPI regReadString(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, int size);
BOOL WINAPI regWriteString(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR text);
long WINAPI regReadInt(INIOBJECT *obj, LPCSTR section, LPCSTR key, long def);
BOOL WINAPI regWriteInt(INIOBJECT *obj, LPCSTR section, LPCSTR key, long value);
int __cdecl regPrintf(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR format, ...);
int __cdecl regScanf(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR def, LPCSTR format, ...);
int WINAPI regEnum(INIOBJECT *obj, LPCSTR name);

#ifdef __cplusplus
}
#endif

#endif
