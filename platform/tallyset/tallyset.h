// The store of numbered entries the effects library binds as
// "tallyset.dll": entries are numbered within a kind and each has a name
// (at most 79 characters) and a data record.  The store lives in one file
// (RegSetFile); every change is written back at once.
#pragma once

#include <windows.h>

#include <cstdint>

// A card or template record points at its effect block: type word 6 at
// byte 4, the block's size at byte 12, the block's address at byte 16.
// The store keeps a copy of the block and hands records back pointing at
// their own copy.
constexpr int TALLY_CARD_TYPE = 6;
constexpr int TALLY_NAME_MAX = 80;   // with the NUL

typedef int(__cdecl *TallyEnumProc)(int kind, int number, void *context);

extern "C" {
// Sets the store's file and loads it (a missing file is an empty store);
// 0 when the file exists but is not a store.
int __cdecl RegSetFile(const char *path);
// The store's file ("" when none).
const char *__cdecl RegGetFile(void);
// Stores (or replaces) an entry; 1 when stored and written.
int __cdecl RegSetData(int kind, int number, const char *name, const void *record, int size);
// A copy of the entry's record (freed with RegFreeData), its name into
// `name` (80 bytes) and its size into `length`; null when absent.
void *__cdecl RegGetData(int kind, int number, char *name, int *length);
void __cdecl RegFreeData(void *record);
// Calls back once per entry of the kind numbered first..last, in number
// order, until the callback answers 0; the count of calls.
int __cdecl RegEnumData(int kind, int first, int last, TallyEnumProc callback, void *context);
// Fills a list box (0x8004) or combo box (0x8005) with "%5d %s" (number,
// name) per entry of the kind, the number as item data; the count.
int __cdecl RegFillLBEx(HWND list, int kind, int style, int reserved, void *apply, void *context);
}
