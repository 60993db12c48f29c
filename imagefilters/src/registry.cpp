// Filter registry: finds the format filters once per process (plug-in
// modules "*.frx" in the library's folder first, then the built-in rows)
// and answers the driver's lookups by id, extension and content probe.
#include "registry.h"
#include <string.h>
#include <stdlib.h>
#include <string>
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(ferrix);

// Built-in enumerators: weak, so that a filter whose file is not part of the
// build is simply absent from the tables (the caller rows are always here).
extern "C" {
int WINAPI BMPEnumReadFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI BMPEnumWriteFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI VIIEnumReadFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI VIIEnumWriteFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI TGAEnumReadFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI TGAEnumWriteFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI GIFEnumReadFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI TIFEnumReadFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI FLCEnumReadFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI PCXEnumReadFormats(int, FormatRecord *) __attribute__((weak));
int WINAPI PICTEnumWriteFormats(int, FormatRecord *) __attribute__((weak));
}

namespace {

// One row of the built-in table: a module file and two enumerator export
// names (null: the filter has no entry of that kind).  Rows that name the
// library itself take the linked-in functions.
struct BuiltinRow
{
    const char *module;
    const char *readName;
    const char *writeName;
    FxEnumFormats read;
    FxEnumFormats write;
};

const BuiltinRow kBuiltins[] = {
    { "ferrix32.dll", "BMPEnumReadFormats", "BMPEnumWriteFormats", BMPEnumReadFormats, BMPEnumWriteFormats },
    { "ferrix32.dll", "VIIEnumReadFormats", "VIIEnumWriteFormats", VIIEnumReadFormats, VIIEnumWriteFormats },
    { "ferrix32.dll", "TGAEnumReadFormats", "TGAEnumWriteFormats", TGAEnumReadFormats, TGAEnumWriteFormats },
    { "ferrix32.dll", "GIFEnumReadFormats", nullptr, GIFEnumReadFormats, nullptr },
    { "ferrix32.dll", "TIFEnumReadFormats", nullptr, TIFEnumReadFormats, nullptr },
    { "ferrix32.dll", "FLCEnumReadFormats", nullptr, FLCEnumReadFormats, nullptr },
    { "ferrix32.dll", "PCXEnumReadFormats", nullptr, PCXEnumReadFormats, nullptr },
    { "ferrix32.dll", "USEREnumReadFormats", "USEREnumWriteFormats", USEREnumReadFormats, USEREnumWriteFormats },
    { "ferrix32.dll", nullptr, "PICTEnumWriteFormats", nullptr, PICTEnumWriteFormats },
};

// An enumerator that never says -1 must not hold a lookup forever.
const int kMaxEntries = 1024;

CRITICAL_SECTION g_lock;
struct LockInit
{
    LockInit() { InitializeCriticalSection(&g_lock); }
} g_lockInit;

FxEnumFormats g_readers[FX_TABLE_SLOTS];
FxEnumFormats g_writers[FX_TABLE_SLOTS];
HMODULE g_modules[FX_TABLE_SLOTS];
int g_readerCount, g_writerCount, g_moduleCount;
bool g_discovered;

bool append(FxEnumFormats *table, int &count, FxEnumFormats fn)
{
    if (!fn || count >= FX_TABLE_SLOTS - 1) return false;
    table[count++] = fn;
    table[count] = nullptr;
    return true;
}

void reportLoadFailure(const char *file)
{
    DWORD err = GetLastError();
    char *text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, err, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (char *)&text, 0, nullptr);
    MessageBoxA(nullptr, text ? text : "", file, MB_ICONINFORMATION);
    if (text) LocalFree(text);
}

void discoverPlugins(const std::string &folder)
{
    char oldDir[MAX_PATH];
    DWORD got = GetCurrentDirectoryA(sizeof(oldDir), oldDir);
    bool changed = got > 0 && got < sizeof(oldDir) && SetCurrentDirectoryA(folder.c_str());

    std::string pattern = folder + "\\*.frx";
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(pattern.c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            HMODULE mod = LoadLibraryA(fd.cFileName);
            if (!mod) {
                WINE_ERR("cannot load filter module %s (%lu)\n", fd.cFileName, (unsigned long)GetLastError());
                reportLoadFailure(fd.cFileName);
                continue;
            }
            FxEnumFormats read = (FxEnumFormats)GetProcAddress(mod, "EnumReadFormats");
            if (!read) read = (FxEnumFormats)GetProcAddress(mod, "_EnumReadFormats@8");
            FxEnumFormats write = (FxEnumFormats)GetProcAddress(mod, "_EnumWriteFormats@8");
            bool self = mod == fxModule();
            // A module is kept only when it has an enumerator and a slot.
            if ((!read && !write) || (!self && g_moduleCount >= FX_TABLE_SLOTS - 1)) {
                if (!self) FreeLibrary(mod);
                continue;
            }
            WINE_TRACE("filter module %s: reader %p, writer %p\n", fd.cFileName, read, write);
            if (!self) g_modules[g_moduleCount++] = mod;
            append(g_readers, g_readerCount, read);
            append(g_writers, g_writerCount, write);
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    if (changed) SetCurrentDirectoryA(oldDir);
}

void discoverBuiltins()
{
    for (const BuiltinRow &row : kBuiltins) {
        if (lstrcmpiA(row.module, "ferrix32.dll") == 0) {
            if (!row.read && !row.write) continue;
            append(g_readers, g_readerCount, row.read);
            append(g_writers, g_writerCount, row.write);
            continue;
        }
        HMODULE mod = LoadLibraryA(row.module);
        if (!mod) continue;
        FxEnumFormats read = row.readName ? (FxEnumFormats)GetProcAddress(mod, row.readName) : nullptr;
        FxEnumFormats write = row.writeName ? (FxEnumFormats)GetProcAddress(mod, row.writeName) : nullptr;
        if ((!read && !write) || g_moduleCount >= FX_TABLE_SLOTS - 1) {
            FreeLibrary(mod);
            continue;
        }
        g_modules[g_moduleCount++] = mod;
        append(g_readers, g_readerCount, read);
        append(g_writers, g_writerCount, write);
    }
}

std::string libraryFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(fxModule(), path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) return std::string();
    std::string s(path, n);
    size_t cut = s.find_last_of('\\');
    return cut == std::string::npos ? std::string() : s.substr(0, cut);
}

void discoverLocked(const std::string &folder)
{
    if (g_discovered) return;
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (!folder.empty()) discoverPlugins(folder);
    discoverBuiltins();
    g_readers[g_readerCount] = nullptr;
    g_writers[g_writerCount] = nullptr;
    g_modules[g_moduleCount] = nullptr;
    SetErrorMode(oldMode);
    g_discovered = true;
    WINE_TRACE("%d readers, %d writers, %d modules\n", g_readerCount, g_writerCount, g_moduleCount);
}

// Walks the entries of one enumerator: fn(record, index) returns true to stop.
template <class F>
bool walkEntries(FxEnumFormats en, F fn)
{
    FormatRecord rec;
    for (int i = 0; i < kMaxEntries; i++) {
        memset(&rec, 0, sizeof(rec));
        int left = en(i, &rec);
        if (left < 0) return false;
        if (fn(rec, i)) return true;
        if (left == 0) return false;
    }
    return false;
}

bool listHas(const char *list, size_t size, const char *ext)
{
    size_t i = 0;
    while (i < size && list[i]) {
        size_t n = strnlen(list + i, size - i);
        if (n < size - i && lstrcmpiA(list + i, ext) == 0) return true;
        i += n + 1;
    }
    return false;
}

bool newForm(const FormatRecord &rec) { return (rec.form >> 24) == 0xFF; }

}  // namespace

extern "C" {

void fxLock(void) { EnterCriticalSection(&g_lock); }
void fxUnlock(void) { LeaveCriticalSection(&g_lock); }

HINSTANCE fxModule(void)
{
    static HMODULE self;
    if (!self)
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)&fxModule, &self);
    return self;
}

void fxFillRecord(FormatRecord *record, const char *name, uint16_t formatId, uint16_t depthMask)
{
    if (!record) return;
    record->form = FX_RECORD_FORM;
    strncpy(record->name, name ? name : "", sizeof(record->name));
    record->formatId = formatId;
    record->depthMask = depthMask;
    record->instance = fxModule();
}

void fxSetExtensions(char *field, size_t size, const char *list)
{
    if (!field || size < 2) return;
    memset(field, 0, size);
    size_t used = 0;
    while (list && *list) {
        size_t n = strlen(list);
        if (used + n + 2 > size) break;   // keep room for the ending empty string
        memcpy(field + used, list, n);
        used += n + 1;
        list += n + 1;
    }
}

void fxDiscover(void)
{
    fxLock();
    discoverLocked(libraryFolder());
    fxUnlock();
}

void fxRegistryReset(void)
{
    fxLock();
    if (g_discovered) {
        g_discovered = false;
        for (int i = 0; i < FX_TABLE_SLOTS && g_modules[i]; i++) FreeLibrary(g_modules[i]);
    }
    memset(g_readers, 0, sizeof(g_readers));
    memset(g_writers, 0, sizeof(g_writers));
    memset(g_modules, 0, sizeof(g_modules));
    g_readerCount = g_writerCount = g_moduleCount = 0;
    fxUnlock();
}

void fxDiscoverFolder(const char *folder)
{
    fxLock();
    fxRegistryReset();
    discoverLocked(folder ? folder : "");
    fxUnlock();
}

const FxEnumFormats *fxReaderTable(void) { return g_readers; }
const FxEnumFormats *fxWriterTable(void) { return g_writers; }
const HMODULE *fxModuleTable(void) { return g_modules; }

FxReaderOpen fxReaderById(uint16_t formatId)
{
    fxDiscover();
    FxReaderOpen found = nullptr;
    for (int t = 0; !found && g_readers[t]; t++)
        walkEntries(g_readers[t], [&](const FormatRecord &r, int) {
            if (r.formatId != formatId) return false;
            found = r.u.read.open;
            return true;
        });
    return found;
}

FxWriterOpen fxWriterById(uint16_t formatId)
{
    fxDiscover();
    FxWriterOpen found = nullptr;
    for (int t = 0; !found && g_writers[t]; t++)
        walkEntries(g_writers[t], [&](const FormatRecord &r, int) {
            if (r.formatId != formatId) return false;
            found = r.u.write.open;
            return true;
        });
    return found;
}

FxReaderOpen fxReaderByExtension(const char *extension, uint16_t *formatId)
{
    fxDiscover();
    if (!extension || !*extension) return nullptr;
    FxReaderOpen found = nullptr;
    for (int t = 0; !found && g_readers[t]; t++)
        walkEntries(g_readers[t], [&](const FormatRecord &r, int) {
            if (!newForm(r) || !listHas(r.u.read.extensions, sizeof(r.u.read.extensions), extension))
                return false;
            found = r.u.read.open;
            if (formatId) *formatId = r.formatId;
            return true;
        });
    return found;
}

FxWriterOpen fxWriterByExtension(const char *extension, uint16_t *formatId, uint16_t *subFormat)
{
    fxDiscover();
    if (!extension || !*extension) return nullptr;
    FxWriterOpen found = nullptr;
    for (int t = 0; !found && g_writers[t]; t++)
        walkEntries(g_writers[t], [&](const FormatRecord &r, int index) {
            if (!newForm(r) || !listHas(r.u.write.extensions, sizeof(r.u.write.extensions), extension))
                return false;
            found = r.u.write.open;
            if (formatId) *formatId = r.formatId;
            if (subFormat) *subFormat = (uint16_t)index;
            return true;
        });
    return found;
}

int fxReaderByProbe(ConvertSource *source)
{
    fxDiscover();
    if (!source) return FX_E_NOSOURCE;
    for (int t = 0; g_readers[t]; t++) {
        bool ok = walkEntries(g_readers[t], [&](const FormatRecord &r, int) {
            if (!r.u.read.probe || !r.u.read.open) return false;
            // Every try starts from the stream's start with empty reader slots.
            if (source->stream) bfSeek(source->stream, 0, 0);
            source->skipRow = nullptr; source->beginRows = nullptr; source->readRow = nullptr;
            source->readImage = nullptr; source->prepare = nullptr; source->close = nullptr;
            source->getPalette = nullptr; source->priv = nullptr;
            if (r.u.read.open(source) != 0) return false;
            source->formatId = r.formatId;
            source->open = r.u.read.open;
            return true;
        });
        if (ok) return 0;
    }
    return FX_E_NOFILTER;
}

// Both walks clear the record before each filter's first entry.
static int enumerate(FxEnumFormats *table, FxEnumCallback callback, LPARAM user)
{
    fxDiscover();
    if (!callback) return 0;
    FormatRecord rec;
    for (int t = 0; t < FX_TABLE_SLOTS && table[t]; t++) {
        memset(&rec, 0, sizeof(rec));
        for (int i = 0; i < kMaxEntries; i++) {
            int left = table[t](i, &rec);
            if (left < 0) break;          // a filter with no (more) entries calls back nothing
            if (!callback(&rec, user) || left < 1) break;
        }
    }
    return 0;
}

int WINAPI ferrixEnumReadFormats(FxEnumCallback callback, LPARAM user)
{
    WINE_TRACE("(%p, %#lx)\n", callback, (long)user);
    return enumerate(g_readers, callback, user);
}

int WINAPI ferrixEnumWriteFormats(FxEnumCallback callback, LPARAM user)
{
    WINE_TRACE("(%p, %#lx)\n", callback, (long)user);
    return enumerate(g_writers, callback, user);
}

void fxLibraryAttach(HINSTANCE) { fxModule(); }

void fxLibraryDetach(void)
{
    fxRegistryReset();
    DeleteCriticalSection(&g_lock);
}

}  // extern "C"
