/*
 * Helpers of the project and slide-show tests: a private temporary folder,
 * whole-file reads and writes.
 */
#ifndef CORV_MIXER_TESTS_PROJECT_TEST_UTIL_H
#define CORV_MIXER_TESTS_PROJECT_TEST_UTIL_H

#include <windows.h>
#include <shlobj.h>
#include <cstring>
#include <string>
#include <vector>

/* A fresh folder under the temporary folder, removed with its files. */
class TempFolder {
public:
    explicit TempFolder(const char *tag)
    {
        static int serial = 0;
        char base[MAX_PATH] = {};
        GetTempPathA(sizeof(base), base);
        path_ = std::string(base) + "corv_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++serial);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() { Remove(path_); }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }

private:
    static void Remove(const std::string &dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..") continue;
                std::string full = dir + "\\" + name;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(full);
                else {
                    SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(full.c_str());
                }
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }
    std::string path_;
};

inline bool WriteBytes(const std::string &path, const std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = bytes.empty() || WriteFile(f, bytes.data(), (DWORD)bytes.size(), &put, nullptr);
    CloseHandle(f);
    return ok && put == bytes.size();
}

/* The file's bytes; "<missing>" when it cannot be read. */
inline std::string ReadBytes(const std::string &path)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof(buf), &got, nullptr) && got) out.append(buf, got);
    CloseHandle(f);
    return out;
}

inline bool FileExists(const std::string &path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

/* A shell drop of these paths, as the shell hands it to WM_DROPFILES
 * (DROPFILES, then the names, each ended by a NUL, and one more NUL). */
inline HDROP MakeDrop(const std::vector<std::string> &files)
{
    size_t size = sizeof(DROPFILES) + 1;
    for (const auto &f : files) size += f.size() + 1;
    HGLOBAL h = GlobalAlloc(GHND, size);
    auto *df = static_cast<DROPFILES *>(GlobalLock(h));
    df->pFiles = sizeof(DROPFILES);
    df->fWide = FALSE;
    char *p = reinterpret_cast<char *>(df + 1);
    for (const auto &f : files) {
        memcpy(p, f.c_str(), f.size() + 1);
        p += f.size() + 1;
    }
    GlobalUnlock(h);
    return static_cast<HDROP>(h);
}

/* A 24-bit bitmap file of w x h pixels in one colour. */
inline bool WriteBitmap(const std::string &path, int w, int h, unsigned rgb)
{
    int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof(ih);
    ih.biWidth = w;
    ih.biHeight = h;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = stride * h;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    std::string bytes((const char *)&fh, sizeof(fh));
    bytes.append((const char *)&ih, sizeof(ih));
    std::string row(stride, '\0');
    for (int x = 0; x < w; ++x) {
        row[x * 3] = (char)(rgb & 0xff);
        row[x * 3 + 1] = (char)((rgb >> 8) & 0xff);
        row[x * 3 + 2] = (char)((rgb >> 16) & 0xff);
    }
    for (int y = 0; y < h; ++y) bytes += row;
    return WriteBytes(path, bytes);
}

/* An uncompressed AVI of frames pictures of w x h pixels in one colour
 * (24-bit, 25 frames a second, with its index). */
inline bool WriteRawAvi(const std::string &path, int w, int h, int frames, unsigned rgb)
{
    auto u32 = [](std::string &s, unsigned v) { s.append((const char *)&v, 4); };
    auto u16 = [](std::string &s, unsigned v) { unsigned short x = (unsigned short)v; s.append((const char *)&x, 2); };
    auto chunk = [&](const char *id, const std::string &body) {
        std::string c(id, 4);
        u32(c, (unsigned)body.size());
        c += body;
        if (body.size() & 1) c += '\0';
        return c;
    };
    auto list = [&](const char *type, const std::string &body) { return chunk("LIST", std::string(type, 4) + body); };
    const int stride = (w * 3 + 3) & ~3;
    const unsigned frameSize = (unsigned)(stride * h);
    std::string avih;
    for (unsigned v : {40000u, frameSize * 25, 0u, 0x10u, (unsigned)frames, 0u, 1u, frameSize, (unsigned)w,
                       (unsigned)h, 0u, 0u, 0u, 0u})
        u32(avih, v);
    std::string strh = "vidsDIB ";
    for (unsigned v : {0u, 0u, 0u, 1u, 25u, 0u, (unsigned)frames, frameSize, 0xFFFFFFFFu, 0u}) u32(strh, v);
    for (unsigned v : {0u, 0u, (unsigned)w, (unsigned)h}) u16(strh, v);
    std::string strf;
    for (unsigned v : {40u, (unsigned)w, (unsigned)h}) u32(strf, v);
    u16(strf, 1);
    u16(strf, 24);
    for (unsigned v : {0u, frameSize, 0u, 0u, 0u, 0u}) u32(strf, v);
    std::string pixels(frameSize, '\0');
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            pixels[y * stride + x * 3] = (char)(rgb & 0xff);
            pixels[y * stride + x * 3 + 1] = (char)((rgb >> 8) & 0xff);
            pixels[y * stride + x * 3 + 2] = (char)((rgb >> 16) & 0xff);
        }
    std::string movi, idx;
    for (int i = 0; i < frames; ++i) {
        unsigned offset = 4 + (unsigned)movi.size();
        movi += chunk("00db", pixels);
        idx += "00db";
        u32(idx, 0x10);
        u32(idx, offset);
        u32(idx, frameSize);
    }
    std::string body = "AVI " + list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf))) +
                       list("movi", movi) + chunk("idx1", idx);
    return WriteBytes(path, chunk("RIFF", body));
}

#endif
