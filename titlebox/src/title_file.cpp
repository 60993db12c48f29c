#include "title_file.h"

namespace titlebox {

bool ReadWholeFile(const char* path, std::vector<uint8_t>* out, size_t limit)
{
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(f, &size) && uint64_t(size.QuadPart) <= limit;
    if (ok) {
        out->assign(size_t(size.QuadPart), 0);
        DWORD got = 0;
        ok = out->empty() || (ReadFile(f, out->data(), DWORD(out->size()), &got, nullptr) && got == out->size());
    }
    CloseHandle(f);
    return ok;
}

bool WriteWholeFile(const char* path, const void* bytes, size_t size)
{
    HANDLE f = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    const bool ok = size == 0 || (WriteFile(f, bytes, DWORD(size), &put, nullptr) && put == size);
    CloseHandle(f);
    return ok;
}

std::vector<uint8_t> StoreTitleFile(const TitleObjectList& page)
{
    Archive ar;
    ar.Write("LMF", 3);
    ar.PutI32(int32_t(page.size()));
    for (const auto& o : page) o->Serialize(ar, 10);
    return ar.Bytes();
}

TitleLoadResult LoadTitleFile(const std::vector<uint8_t>& bytes, const TitleDefaults& d, const PageScale& s,
                              TitleObjectList* page)
{
    Archive ar(bytes);
    TitleObjectList loaded;
    try {
        char magic[3];
        ar.Read(magic, 3);
        if (magic[0] != 'L' || magic[1] != 'M' || magic[2] != 'F') {
            MessageBoxA(nullptr, "Not a Lumicard file! Unknown format!", nullptr, MB_OK | MB_ICONINFORMATION);
            return TITLE_NOT_OURS;
        }
        const int32_t count = ar.GetI32();
        // Every record is longer than 150 bytes: a count the rest of the
        // file cannot hold is refused before anything is made.
        if (count < 0 || size_t(count) > ar.Left() / 150) throw ArchiveEnd();
        for (int32_t i = 0; i < count; ++i) {
            std::unique_ptr<TitleObject> o(new TitleObject(d, s));
            o->tracker.reset(new RectTracker);
            o->tracker->hFactor = s.h;
            o->tracker->vFactor = s.v;
            o->Serialize(ar, 10);
            BoundTitleFont(*o, s);
            loaded.push_back(std::move(o));
        }
    } catch (const ArchiveEnd&) {
        return TITLE_DAMAGED;
    }
    for (auto& o : loaded) page->push_back(std::move(o));
    return TITLE_LOADED;
}

bool SaveTitleFile(const char* path, const TitleObjectList& page)
{
    const std::vector<uint8_t> b = StoreTitleFile(page);
    return WriteWholeFile(path, b.data(), b.size());
}

TitleLoadResult OpenTitleFile(const char* path, const TitleDefaults& d, const PageScale& s, TitleObjectList* page)
{
    std::vector<uint8_t> b;
    if (!ReadWholeFile(path, &b)) return TITLE_DAMAGED;
    return LoadTitleFile(b, d, s, page);
}

}  // namespace titlebox
