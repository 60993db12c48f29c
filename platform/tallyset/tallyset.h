// The store of numbered entries the effects library binds as
// "tallyset.dll": entries are numbered within a kind and each has a name
// (at most 79 characters) and a data record.  The store lives in one file
// (RegSetFile); every change is written back at once.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// A card or template record points at its effect block: type word 6 at
// byte 4, the block's size at byte 12, the block's address at byte 16.
// The store keeps a copy of the block and hands records back pointing at
// their own copy.
constexpr int TALLY_CARD_TYPE = 6;
constexpr int TALLY_NAME_MAX = 80;   // with the NUL

typedef int(__cdecl *TallyEnumProc)(int kind, int number, void *context);

// The list buttons work for a window that holds the list: they ask it
// through TALLY_MSG_REQUEST (wParam a code, lParam a TallyCardRecord) to
// fill a card from its effect, to load one, for the number it suggests,
// and tell it when a card was stored or renamed.
constexpr UINT TALLY_MSG_REQUEST = 1312;
enum { TALLY_REQ_STORE = 1, TALLY_REQ_LOAD = 2, TALLY_REQ_NUMBER = 4, TALLY_REQ_STORED = 5, TALLY_REQ_RENAMED = 6 };

// What the buttons are given: the window to ask and the kind of the list.
struct TallyButtonRecord {
    HWND window;
    int32_t kind;
};

// The card record the window fills (store) or is handed (load).  A block
// filled in by the window is the window's GlobalAlloc and the store frees
// it once copied.
struct TallyCardRecord {
    uint32_t word0;
    uint32_t type;            // TALLY_CARD_TYPE
    uint16_t word8;
    uint16_t number;
    uint32_t blockSize;
    void *block;
    char name[TALLY_NAME_MAX];
};
static_assert(offsetof(TallyCardRecord, number) == 10 && offsetof(TallyCardRecord, blockSize) == 12 &&
                  offsetof(TallyCardRecord, block) == 16 && offsetof(TallyCardRecord, name) == 24,
              "the card record's layout");

// The name prompt of Add and Rename: its edit control and its longest name
// (a card keeps 63 characters).
constexpr int TALLY_ID_NAME = 1001;
constexpr int TALLY_CARD_NAME_MAX = 63;

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

// The list buttons (record: TallyButtonRecord).  Add asks for a name and
// stores a card under a free number (the window's suggestion when free
// and not 0 or 0xFFFF, which mean no card; else one past the highest); Update stores the window's card over the
// selected entry; Rename asks for a new name; Delete asks whether to
// delete the selected entry.  Each refills the list, selects the entry it
// worked on, and answers 1 when the store changed, 0 otherwise.
int __cdecl RegBtnAdd(HWND window, HWND list, DWORD flags, void *record);
int __cdecl RegBtnUpdate(HWND window, HWND list, DWORD flags, void *record);
int __cdecl RegBtnRename(HWND window, HWND list, DWORD flags, void *record);
int __cdecl RegBtnDelete(HWND window, HWND list, DWORD flags, void *record);
// Hands the selected entry's card to the window (TALLY_REQ_LOAD) and
// answers the window's answer; 0 with nothing selected.
LONG_PTR __cdecl RegBtnLoad(HWND window, HWND list, void *record, DWORD flags);
// The entry's key as the lists show it, "%5d %s" (number, name), into
// `out` of `size` bytes; its length, 0 when there is no such entry or no
// room for it.
LONG_PTR __cdecl RegGetStrKey(LONG_PTR kind, LONG_PTR number, LONG_PTR out, LONG_PTR size);
}
