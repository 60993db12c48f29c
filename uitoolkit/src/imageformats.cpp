/* Format lists of the image dialogs.  The image filters are bound by
 * ordinal the first time a list is wanted. */
#include "imageformats.h"
#include "tundrix32.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

HMODULE g_ferrix;
FARPROC Ferrix(int ordinal)
{
    if (!g_ferrix) g_ferrix = LoadLibraryA("Ferrix32.dll");
    return g_ferrix ? GetProcAddress(g_ferrix, MAKEINTRESOURCEA(ordinal)) : nullptr;
}

struct Gather {
    std::vector<FormatRecord> *out;
    size_t count;
    bool copy;
};

int WINAPI CountOrCopy(FormatRecord *rec, LPARAM user)
{
    auto *g = reinterpret_cast<Gather *>(user);
    if (g->copy) {
        if (g->out->size() < g->count) g->out->push_back(*rec);
    } else {
        ++g->count;
    }
    return 1;
}

std::string Lower(std::string s)
{
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Name(const FormatRecord &rec) { return std::string(rec.name, strnlen(rec.name, sizeof rec.name)); }

}  // namespace

std::vector<std::string> FormatExtensions(const FormatRecord &rec, bool read)
{
    const char *p = read ? rec.u.read.extensions : rec.u.write.extensions;
    size_t size = read ? sizeof rec.u.read.extensions : sizeof rec.u.write.extensions;
    std::vector<std::string> exts;
    size_t i = 0;
    while (i < size && p[i]) {
        size_t n = strnlen(p + i, size - i);
        exts.emplace_back(p + i, n);
        i += n + 1;
    }
    return exts;
}

std::vector<FormatRecord> UsableFormats(const std::vector<FormatRecord> &all, uint16_t depth_mask)
{
    std::vector<FormatRecord> out;
    for (const FormatRecord &r : all) {
        if ((r.form >> 24) != 0xFF) continue;
        uint32_t caps = r.form & 3;
        if (caps && caps != 3) continue;
        if (depth_mask && !(r.depthMask & depth_mask)) continue;
        out.push_back(r);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const FormatRecord &a, const FormatRecord &b) { return Name(a) < Name(b); });
    return out;
}

std::string ImageFilterText(const std::vector<FormatRecord> &formats, bool read, const char *const *required)
{
    std::string text;
    if (read) {
        std::vector<std::string> all;
        auto add = [&all](const std::string &ext) {
            std::string e = Lower(ext);
            if (e.empty() || std::find(all.begin(), all.end(), e) != all.end()) return;
            /* Ordered by first letter; same letters keep their arrival order. */
            auto at = std::find_if(all.begin(), all.end(), [&e](const std::string &x) { return x[0] > e[0]; });
            all.insert(at, e);
        };
        for (const FormatRecord &r : formats)
            for (const std::string &e : FormatExtensions(r, true)) add(e);
        for (const char *const *q = required; q && *q; ++q) add(*q);
        std::string patterns;
        for (const std::string &e : all) patterns += (patterns.empty() ? "*." : ";*.") + e;
        text += std::string("All Formats") + '\0' + patterns + '\0';
    }
    for (const FormatRecord &r : formats) {
        std::string patterns;
        for (const std::string &e : FormatExtensions(r, read)) patterns += (patterns.empty() ? "*." : ";*.") + Lower(e);
        if (patterns.empty()) continue;
        text += Name(r) + ", (" + patterns + ")" + '\0' + patterns + '\0';
    }
    return text + '\0';
}

std::vector<FormatRecord> EnumerateImageFormats(bool read)
{
    std::vector<FormatRecord> out;
    auto enumerate = reinterpret_cast<int(WINAPI *)(FxEnumCallback, LPARAM)>(Ferrix(read ? 19 : 20));
    if (!enumerate) return out;
    Gather g = {&out, 0, false};
    enumerate(CountOrCopy, reinterpret_cast<LPARAM>(&g));
    out.reserve(g.count);
    g.copy = true;
    enumerate(CountOrCopy, reinterpret_cast<LPARAM>(&g));
    return out;
}

extern "C" int WINAPI Type2GFW(FormatRecord *rec, LPARAM user)
{
    auto *want = reinterpret_cast<FormatRecord *>(user);
    if (!rec || !want) return 1;
    if (rec->formatId == want->formatId && rec->u.write.subFormat == want->u.write.subFormat) {
        *want = *rec;
        return 0;
    }
    return 1;
}
