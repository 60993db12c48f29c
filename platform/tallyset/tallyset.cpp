// The store: entries by (kind, number) in memory, written whole to the
// store's file after every change.
//
// File layout (little-endian): "TALY", u32 version 1, u32 entry count;
// then per entry: i32 kind, i32 number, u32 name length (< 80), the name,
// u32 record size, u32 block size (a card's effect block, else 0), the
// record, the block.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tallyset.h"

namespace {

constexpr uint32_t MAX_PART = 64u << 20;   // a record or block; larger is refused
constexpr uint32_t MAX_ENTRIES = 1u << 20;

struct Entry {
    std::string name;
    std::vector<uint8_t> record;
    std::vector<uint8_t> block;
};

struct Store {
    CRITICAL_SECTION lock;
    std::map<std::pair<int, int>, Entry> entries;
    std::string file;
    Store() { InitializeCriticalSection(&lock); }
};

Store &TheStore()
{
    static Store s;
    return s;
}

struct Lock {
    Store &s;
    explicit Lock(Store &st) : s(st) { EnterCriticalSection(&s.lock); }
    ~Lock() { LeaveCriticalSection(&s.lock); }
};

bool IsCard(const void *record, size_t size)
{
    if (size < 16 + sizeof(void *))
        return false;
    uint32_t type;
    memcpy(&type, static_cast<const uint8_t *>(record) + 4, 4);
    return type == TALLY_CARD_TYPE;
}

void Put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

bool Save(const Store &s)
{
    if (s.file.empty())
        return true;
    std::vector<uint8_t> out = { 'T', 'A', 'L', 'Y' };
    Put32(out, 1);
    Put32(out, uint32_t(s.entries.size()));
    for (auto &kv : s.entries) {
        Put32(out, uint32_t(kv.first.first));
        Put32(out, uint32_t(kv.first.second));
        Put32(out, uint32_t(kv.second.name.size()));
        out.insert(out.end(), kv.second.name.begin(), kv.second.name.end());
        Put32(out, uint32_t(kv.second.record.size()));
        Put32(out, uint32_t(kv.second.block.size()));
        out.insert(out.end(), kv.second.record.begin(), kv.second.record.end());
        out.insert(out.end(), kv.second.block.begin(), kv.second.block.end());
    }
    // Written beside and then moved over, so a failed write keeps the old store.
    std::string temp = s.file + ".new";
    HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    BOOL ok = WriteFile(h, out.data(), DWORD(out.size()), &done, nullptr) && done == out.size();
    CloseHandle(h);
    if (!ok || !MoveFileExA(temp.c_str(), s.file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}

struct Reader {
    const uint8_t *p, *end;
    bool Get32(uint32_t &v)
    {
        if (end - p < 4)
            return false;
        v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        p += 4;
        return true;
    }
    bool Bytes(size_t n, const uint8_t *&out)
    {
        if (size_t(end - p) < n)
            return false;
        out = p;
        p += n;
        return true;
    }
};

// Parses a whole store file; false for anything that is not one.
bool Parse(const std::vector<uint8_t> &data, std::map<std::pair<int, int>, Entry> &out)
{
    if (data.size() < 12 || memcmp(data.data(), "TALY", 4) != 0)
        return false;
    Reader r{ data.data() + 4, data.data() + data.size() };
    uint32_t version, count;
    if (!r.Get32(version) || version != 1 || !r.Get32(count) || count > MAX_ENTRIES)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t kind, number, nameLen, recLen, blockLen;
        const uint8_t *name, *rec, *block;
        if (!r.Get32(kind) || !r.Get32(number) || !r.Get32(nameLen) || nameLen >= TALLY_NAME_MAX ||
            !r.Bytes(nameLen, name) || !r.Get32(recLen) || !r.Get32(blockLen) || recLen > MAX_PART ||
            blockLen > MAX_PART || !r.Bytes(recLen, rec) || !r.Bytes(blockLen, block))
            return false;
        if (blockLen && !IsCard(rec, recLen))
            return false;
        Entry &e = out[{ int(kind), int(number) }];
        e.name.assign(reinterpret_cast<const char *>(name), nameLen);
        e.record.assign(rec, rec + recLen);
        e.block.assign(block, block + blockLen);
    }
    return r.p == r.end;
}

} // namespace

extern "C" int __cdecl RegSetFile(const char *path)
{
    Store &s = TheStore();
    Lock l(s);
    s.entries.clear();
    s.file = path && *path ? path : "";
    if (s.file.empty())
        return 1;
    HANDLE h = CreateFileA(s.file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 1;   // a new store
    LARGE_INTEGER size;
    std::vector<uint8_t> data;
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (1LL << 30);
    if (ok) {
        data.resize(size_t(size.QuadPart));
        DWORD got = 0;
        ok = data.empty() || (ReadFile(h, data.data(), DWORD(data.size()), &got, nullptr) && got == data.size());
    }
    CloseHandle(h);
    std::map<std::pair<int, int>, Entry> entries;
    if (!ok || !Parse(data, entries)) {
        // Not a store: nothing is loaded and nothing will be written over it.
        s.file.clear();
        return 0;
    }
    s.entries.swap(entries);
    return 1;
}

extern "C" const char *__cdecl RegGetFile(void)
{
    return TheStore().file.c_str();
}

extern "C" int __cdecl RegSetData(int kind, int number, const char *name, const void *record, int size)
{
    if (size < 0 || uint32_t(size) > MAX_PART || (size > 0 && !record))
        return 0;
    Entry e;
    e.name = name ? std::string(name, strnlen(name, TALLY_NAME_MAX - 1)) : std::string();
    const uint8_t *r = static_cast<const uint8_t *>(record);
    e.record.assign(r, r + size);
    if (IsCard(record, size_t(size))) {
        uint32_t blockSize;
        const uint8_t *block;
        memcpy(&blockSize, r + 12, 4);
        memcpy(&block, r + 16, sizeof block);
        if (block && blockSize <= MAX_PART)
            e.block.assign(block, block + blockSize);
    }
    Store &s = TheStore();
    Lock l(s);
    s.entries[{ kind, number }] = std::move(e);
    return Save(s) ? 1 : 0;
}

extern "C" void *__cdecl RegGetData(int kind, int number, char *name, int *length)
{
    Store &s = TheStore();
    Lock l(s);
    auto it = s.entries.find({ kind, number });
    if (it == s.entries.end())
        return nullptr;
    const Entry &e = it->second;
    size_t total = e.record.size() + e.block.size();
    uint8_t *copy = static_cast<uint8_t *>(malloc(total ? total : 1));
    if (!copy)
        return nullptr;
    if (!e.record.empty())
        memcpy(copy, e.record.data(), e.record.size());
    if (!e.block.empty()) {
        // The card's block follows its record; the record points at it.
        uint8_t *block = copy + e.record.size();
        memcpy(block, e.block.data(), e.block.size());
        memcpy(copy + 16, &block, sizeof block);
    }
    if (name) {
        memcpy(name, e.name.c_str(), e.name.size() + 1);
    }
    if (length)
        *length = int(e.record.size());
    return copy;
}

extern "C" void __cdecl RegFreeData(void *record)
{
    free(record);
}

extern "C" int __cdecl RegEnumData(int kind, int first, int last, TallyEnumProc callback, void *context)
{
    if (!callback)
        return 0;
    std::vector<int> numbers;
    {
        Store &s = TheStore();
        Lock l(s);
        for (auto it = s.entries.lower_bound({ kind, first }); it != s.entries.end(); ++it) {
            if (it->first.first != kind || it->first.second > last)
                break;
            numbers.push_back(it->first.second);
        }
    }
    // Called without the lock: a callback may read the entries.
    int calls = 0;
    for (int n : numbers) {
        ++calls;
        if (!callback(kind, n, context))
            break;
    }
    return calls;
}

extern "C" int __cdecl RegFillLBEx(HWND list, int kind, int style, int, void *, void *)
{
    if (!list)
        return 0;
    bool combo = (style & 0xFFFF) == 0x8005;
    UINT reset = combo ? CB_RESETCONTENT : LB_RESETCONTENT;
    UINT add = combo ? CB_ADDSTRING : LB_ADDSTRING;
    UINT setData = combo ? CB_SETITEMDATA : LB_SETITEMDATA;
    SendMessageA(list, reset, 0, 0);
    std::vector<std::pair<int, std::string>> items;
    {
        Store &s = TheStore();
        Lock l(s);
        for (auto &kv : s.entries)
            if (kv.first.first == kind)
                items.push_back({ kv.first.second, kv.second.name });
    }
    int n = 0;
    for (auto &it : items) {
        char text[TALLY_NAME_MAX + 16];
        snprintf(text, sizeof text, "%5d %s", it.first, it.second.c_str());
        LRESULT at = SendMessageA(list, add, 0, LPARAM(text));
        if (at >= 0) {
            SendMessageA(list, setData, WPARAM(at), LPARAM(it.first));
            ++n;
        }
    }
    return n;
}

// ---------------------------------------------------------------- list buttons

namespace {

// The name prompt: a caption, "Name:", an edit field, OK and Cancel, from
// a template written into memory (strings of any length, items DWORD-aligned).
struct TemplateWriter {
    std::vector<WORD> words;
    void Word(WORD w) { words.push_back(w); }
    void Dword(DWORD d)
    {
        Word(WORD(d & 0xFFFF));
        Word(WORD(d >> 16));
    }
    void Text(const char *t)
    {
        while (*t)
            Word(WORD(uint8_t(*t++)));
        Word(0);
    }
    void Item(WORD atom, DWORD style, short x, short y, short cx, short cy, WORD id, const char *text)
    {
        if (words.size() % 2)
            Word(0);
        Dword(WS_CHILD | WS_VISIBLE | style);
        Dword(0);
        Word(WORD(x));
        Word(WORD(y));
        Word(WORD(cx));
        Word(WORD(cy));
        Word(id);
        Word(0xFFFF);
        Word(atom);
        Text(text);
        Word(0);   // no creation data
    }
};

struct Prompt {
    char name[TALLY_CARD_NAME_MAX + 1];
};

INT_PTR CALLBACK PromptProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lp);
        Prompt *p = reinterpret_cast<Prompt *>(lp);
        SendDlgItemMessageA(dialog, TALLY_ID_NAME, EM_LIMITTEXT, TALLY_CARD_NAME_MAX, 0);
        SetDlgItemTextA(dialog, TALLY_ID_NAME, p->name);
        SendDlgItemMessageA(dialog, TALLY_ID_NAME, EM_SETSEL, 0, -1);
        SetFocus(GetDlgItem(dialog, TALLY_ID_NAME));
        return FALSE;
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        Prompt *p = reinterpret_cast<Prompt *>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (LOWORD(wp) == IDOK) {
            GetDlgItemTextA(dialog, TALLY_ID_NAME, p->name, sizeof p->name);
            // A name of blanks only is no name.
            const char *c = p->name;
            while (*c == ' ')
                ++c;
            if (!*c) {
                MessageBeep(MB_ICONWARNING);
                return TRUE;
            }
        }
        EndDialog(dialog, LOWORD(wp) == IDOK ? 1 : 0);
        return TRUE;
    }
    return FALSE;
}

// Asks for a name (`name` holds the one offered and gets the answer);
// false when cancelled.
bool AskName(HWND owner, const char *caption, char *name)
{
    TemplateWriter t;
    t.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND);
    t.Dword(0);
    t.Word(4);   // items
    t.Word(0);
    t.Word(0);
    t.Word(180);
    t.Word(52);
    t.Word(0);   // no menu
    t.Word(0);   // the dialog class
    t.Text(caption);
    t.Item(0x0082, SS_LEFT, 6, 8, 24, 10, 0xFFFF, "Name:");
    t.Item(0x0081, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 32, 6, 142, 12, TALLY_ID_NAME, "");
    t.Item(0x0080, WS_TABSTOP | BS_DEFPUSHBUTTON, 70, 30, 50, 14, IDOK, "OK");
    t.Item(0x0080, WS_TABSTOP | BS_PUSHBUTTON, 124, 30, 50, 14, IDCANCEL, "Cancel");
    Prompt p;
    lstrcpynA(p.name, name, sizeof p.name);
    HINSTANCE module = owner ? HINSTANCE(GetWindowLongPtrA(owner, GWLP_HINSTANCE)) : GetModuleHandleA(nullptr);
    const auto *dlg = reinterpret_cast<const DLGTEMPLATE *>(t.words.data());
    if (DialogBoxIndirectParamA(module, dlg, owner, PromptProc, LPARAM(&p)) != 1)
        return false;
    lstrcpynA(name, p.name, TALLY_CARD_NAME_MAX + 1);
    return true;
}

const TallyButtonRecord *Buttons(void *record)
{
    const auto *b = static_cast<const TallyButtonRecord *>(record);
    return b && b->window && IsWindow(b->window) ? b : nullptr;
}

// The number of the list's selected entry, -1 with none.
int Selected(HWND list)
{
    if (!list)
        return -1;
    const LRESULT at = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (at < 0)
        return -1;
    return int(SendMessageA(list, LB_GETITEMDATA, WPARAM(at), 0));
}

// Refills the list and selects the entry numbered `number`.
void Refill(HWND list, int kind, int number)
{
    if (!list)
        return;
    RegFillLBEx(list, kind, 0x8004, 0, nullptr, nullptr);
    const LRESULT n = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i)
        if (int(SendMessageA(list, LB_GETITEMDATA, WPARAM(i), 0)) == number) {
            SendMessageA(list, LB_SETCURSEL, WPARAM(i), 0);
            return;
        }
}

bool Has(int kind, int number, std::string *name = nullptr)
{
    Store &s = TheStore();
    Lock l(s);
    auto it = s.entries.find({ kind, number });
    if (it == s.entries.end())
        return false;
    if (name)
        *name = it->second.name;
    return true;
}

// Asks the window to fill a card for `number` and stores it.
int StoreFromWindow(const TallyButtonRecord *b, HWND list, int number, const char *name)
{
    TallyCardRecord card;
    memset(&card, 0, sizeof card);
    card.type = TALLY_CARD_TYPE;
    card.number = uint16_t(number);
    lstrcpynA(card.name, name, TALLY_CARD_NAME_MAX + 1);
    if (!SendMessageA(b->window, TALLY_MSG_REQUEST, TALLY_REQ_STORE, LPARAM(&card)) || !card.block) {
        if (card.block)
            GlobalFree(card.block);
        return 0;
    }
    card.type = TALLY_CARD_TYPE;
    card.number = uint16_t(number);
    const int ok = RegSetData(b->kind, number, card.name, &card, int(sizeof card));
    GlobalFree(card.block);
    card.block = nullptr;
    if (ok)
        SendMessageA(b->window, TALLY_MSG_REQUEST, TALLY_REQ_STORED, LPARAM(&card));
    Refill(list, b->kind, number);
    return ok;
}

} // namespace

extern "C" int __cdecl RegBtnAdd(HWND window, HWND list, DWORD, void *record)
{
    const TallyButtonRecord *b = Buttons(record);
    if (!b)
        return 0;
    // The window's suggestion when it is free, else one past the highest.
    TallyCardRecord ask;
    memset(&ask, 0, sizeof ask);
    SendMessageA(b->window, TALLY_MSG_REQUEST, TALLY_REQ_NUMBER, LPARAM(&ask));
    int number = ask.number;
    // 0 and 0xFFFF are "no card".
    if (number < 1 || number == 0xFFFF || Has(b->kind, number)) {
        number = 1;
        Store &s = TheStore();
        Lock l(s);
        for (auto &kv : s.entries)
            if (kv.first.first == b->kind && kv.first.second >= number)
                number = kv.first.second + 1;
    }
    if (number >= 0xFFFF)
        return 0;   // card numbers are 16-bit, 0xFFFF is none
    char name[TALLY_CARD_NAME_MAX + 1] = "";
    if (!AskName(window, "Add", name))
        return 0;
    return StoreFromWindow(b, list, number, name);
}

extern "C" int __cdecl RegBtnUpdate(HWND, HWND list, DWORD, void *record)
{
    const TallyButtonRecord *b = Buttons(record);
    const int number = Selected(list);
    std::string name;
    if (!b || number < 0 || !Has(b->kind, number, &name))
        return 0;
    return StoreFromWindow(b, list, number, name.c_str());
}

extern "C" int __cdecl RegBtnRename(HWND window, HWND list, DWORD, void *record)
{
    const TallyButtonRecord *b = Buttons(record);
    const int number = Selected(list);
    std::string old;
    if (!b || number < 0 || !Has(b->kind, number, &old))
        return 0;
    char name[TALLY_CARD_NAME_MAX + 1];
    lstrcpynA(name, old.c_str(), sizeof name);
    if (!AskName(window, "Rename", name))
        return 0;
    bool ok;
    {
        Store &s = TheStore();
        Lock l(s);
        auto it = s.entries.find({ b->kind, number });
        if (it == s.entries.end())
            return 0;
        it->second.name = name;
        // The card's own copy of its name follows.
        if (IsCard(it->second.record.data(), it->second.record.size()) &&
            it->second.record.size() >= offsetof(TallyCardRecord, name) + TALLY_NAME_MAX) {
            char *in = reinterpret_cast<char *>(it->second.record.data()) + offsetof(TallyCardRecord, name);
            memset(in, 0, TALLY_NAME_MAX);
            memcpy(in, name, strlen(name));
        }
        ok = Save(s);
    }
    TallyCardRecord card;
    memset(&card, 0, sizeof card);
    card.type = TALLY_CARD_TYPE;
    card.number = uint16_t(number);
    lstrcpynA(card.name, name, sizeof card.name);
    SendMessageA(b->window, TALLY_MSG_REQUEST, TALLY_REQ_RENAMED, LPARAM(&card));
    Refill(list, b->kind, number);
    return ok ? 1 : 0;
}

extern "C" int __cdecl RegBtnDelete(HWND window, HWND list, DWORD, void *record)
{
    const TallyButtonRecord *b = Buttons(record);
    const int number = Selected(list);
    std::string name;
    if (!b || number < 0 || !Has(b->kind, number, &name))
        return 0;
    char text[TALLY_NAME_MAX + 32];
    snprintf(text, sizeof text, "Delete %d %s?", number, name.c_str());
    if (MessageBoxA(window, text, "Delete", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return 0;
    bool ok;
    {
        Store &s = TheStore();
        Lock l(s);
        s.entries.erase({ b->kind, number });
        ok = Save(s);
    }
    Refill(list, b->kind, -1);
    return ok ? 1 : 0;
}

extern "C" LONG_PTR __cdecl RegBtnLoad(HWND, HWND list, void *record, DWORD)
{
    const TallyButtonRecord *b = Buttons(record);
    const int number = Selected(list);
    if (!b || number < 0)
        return 0;
    int length = 0;
    void *data = RegGetData(b->kind, number, nullptr, &length);
    if (!data)
        return 0;
    LONG_PTR r = 0;
    // Only a card goes to the window as one.
    if (size_t(length) >= sizeof(TallyCardRecord) && IsCard(data, size_t(length)))
        r = SendMessageA(b->window, TALLY_MSG_REQUEST, TALLY_REQ_LOAD, LPARAM(data));
    RegFreeData(data);
    return r;
}

extern "C" LONG_PTR __cdecl RegGetStrKey(LONG_PTR kind, LONG_PTR number, LONG_PTR out, LONG_PTR size)
{
    std::string name;
    if (!out || size <= 0 || !Has(int(kind), int(number), &name))
        return 0;
    char text[TALLY_NAME_MAX + 16];
    const int n = snprintf(text, sizeof text, "%5d %s", int(number), name.c_str());
    if (n < 0 || n >= size)
        return 0;
    memcpy(reinterpret_cast<char *>(out), text, size_t(n) + 1);
    return n;
}
