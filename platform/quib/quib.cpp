// quib.dll: reads the named layers of a movie file, each a container of the
// graphics core's codec.  The whole file is read at open; every size, offset
// and container header is checked against the bytes present before the
// graphics core decodes anything.
#include "quib.h"

#include <new>
#include <string.h>
#include <vector>

extern "C" LONG PIXAPI DecodeVexa2Layer(Layer *layer, const BYTE *buffer, LONG fieldFlag, LONG field);

struct QuibFile {
    std::vector<BYTE> bytes;
    std::vector<QuibEntry> entries;
};

namespace {

uint32_t Le32(const BYTE *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

bool ReadWhole(const char *name, std::vector<BYTE> &out)
{
    HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0, size = GetFileSize(h, &high), done = 0;
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= 0x10000000u;
    if (ok) {
        try {
            out.resize(size);
        } catch (...) {
            ok = false;
        }
    }
    if (ok && size) ok = ReadFile(h, out.data(), size, &done, nullptr) && done == size;
    CloseHandle(h);
    return ok;
}

// A container that lies inside the file and whose header words agree.
bool ContainerSound(const QuibFile &f, const QuibEntry &e)
{
    if (e.length < 16 || e.offset > f.bytes.size() || e.length > f.bytes.size() - e.offset) return false;
    const BYTE *c = f.bytes.data() + e.offset;
    uint32_t size = Le32(c), check = Le32(c + 4);
    return size == ~check && size <= e.length - 8;
}

}  // namespace

extern "C" QuibFile *WINAPI quibOpen(DWORD, const char *name, DWORD)
{
    if (!name || !*name) return nullptr;
    QuibFile *f = new (std::nothrow) QuibFile;
    if (!f) return nullptr;
    bool ok = ReadWhole(name, f->bytes) && f->bytes.size() >= 12 && Le32(f->bytes.data()) == QUIB_MAGIC &&
              Le32(f->bytes.data() + 4) == 1;
    uint32_t n = ok ? Le32(f->bytes.data() + 8) : 0;
    if (ok && (n > QUIB_MAX_LAYERS || 12 + size_t(n) * sizeof(QuibEntry) > f->bytes.size())) ok = false;
    for (uint32_t i = 0; ok && i < n; ++i) {
        QuibEntry e;
        memcpy(&e, f->bytes.data() + 12 + size_t(i) * sizeof e, sizeof e);
        e.name[31] = 0;
        f->entries.push_back(e);
    }
    if (!ok) {
        delete f;
        return nullptr;
    }
    return f;
}

extern "C" Layer *WINAPI quibReadLayer(QuibFile *f, DWORD index, const char *name, DWORD, DWORD)
{
    if (!f || !name) return nullptr;
    DWORD seen = 0;
    for (const QuibEntry &e : f->entries) {
        if (lstrcmpiA(e.name, name) != 0) continue;
        if (seen++ != index) continue;
        if (!e.width || !e.height || e.width > QUIB_MAX_SIDE || e.height > QUIB_MAX_SIDE || !ContainerSound(*f, e))
            return nullptr;
        Layer *layer = CreateLayer(LONG(e.width), LONG(e.height), 1);
        if (!layer) return nullptr;
        DecodeVexa2Layer(layer, f->bytes.data() + e.offset, 0, 0);
        return layer;
    }
    return nullptr;
}

extern "C" LONG WINAPI quibClose(QuibFile *f)
{
    if (!f) return 0;
    delete f;
    return 1;
}
