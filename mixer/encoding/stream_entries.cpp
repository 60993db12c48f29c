#include "stream_entries.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char *const kStandardSizes[6] = {"160 x 120", "176 x 144 (QCIF)", "320 x 240", "352 x 288 (CIF)",
                                       "640 x 480", "Custom..."};
const char kCustomSize[] = "Custom...";

void VideoStreamEntry::SetName(const std::string &name)
{
    size_t n = name.size() < sizeof(targetName) - 1 ? name.size() : sizeof(targetName) - 1;
    memset(targetName, 0, sizeof(targetName));
    memcpy(targetName, name.data(), n);
}

VideoStreamEntry *StreamEntries::Find(const std::string &name, int index)
{
    for (auto &e : entries)
        if (e.index == index && name == e.targetName) return &e;
    return nullptr;
}

bool StreamEntries::Remove(const std::string &name, int index)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].index != index || name != entries[i].targetName) continue;
        entries.erase(entries.begin() + i);
        /* Entries after the removed one follow on from its index. */
        int running = index;
        for (size_t j = i; j < entries.size(); ++j) {
            if (entries[j].index == running + 1) {
                entries[j].index = running;
                ++running;
            }
        }
        return true;
    }
    return false;
}

std::vector<std::string> StreamEntries::Lines() const
{
    std::vector<std::string> lines;
    for (auto &e : entries) lines.push_back(e.targetName);
    return lines;
}

void SizeList::Fill()
{
    lines.assign(kStandardSizes, kStandardSizes + 6);
}

int SizeList::Lookup(int width, int height)
{
    if (lines.empty()) return -1;
    char text[48];
    snprintf(text, sizeof(text), "%d x %d", width, height);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i] == text) return (int)i;
    lines.push_back(text);
    return (int)lines.size() - 1;
}

bool SizeList::Parse(const std::string &line, int *width, int *height)
{
    size_t x = line.find('x');
    if (x == std::string::npos || x < 2 || line.compare(x - 1, 1, " ") != 0) return false;
    std::string w = line.substr(0, x - 1);
    std::string rest = x + 2 <= line.size() ? line.substr(x + 2) : std::string();
    size_t paren = rest.find('(');
    std::string h = paren == std::string::npos ? rest : rest.substr(0, paren ? paren - 1 : 0);
    char *end = nullptr;
    long wv = strtol(w.c_str(), &end, 10);
    if (end == w.c_str()) return false;
    long hv = strtol(h.c_str(), &end, 10);
    if (end == h.c_str()) return false;
    if (wv < 1 || hv < 1 || wv > 16384 || hv > 16384) return false;
    *width = (int)wv;
    *height = (int)hv;
    return true;
}
