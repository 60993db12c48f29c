// The ffmpeg tool as an independent encoder and decoder in the filter tests:
// it writes files for our readers and decodes files (its own or ours) to raw
// pixels for comparison.  The tool is a Linux program, run through the C
// library's system(); files are shared through the temporary folder, named
// by their Unix path for the tool and by their Windows path for us.
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" char* CDECL wine_get_unix_file_name(LPCWSTR dos);

namespace ff_tool {

using Bytes = std::vector<uint8_t>;

// The Unix path of a Windows path (empty when it has none).
inline std::string UnixPath(const std::string& win)
{
    WCHAR w[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, win.c_str(), -1, w, MAX_PATH)) return std::string();
    char* u = wine_get_unix_file_name(w);
    if (!u) return std::string();
    std::string out(u);
    HeapFree(GetProcessHeap(), 0, u);
    return out;
}

// A file in the temporary folder, per process, by its Windows path.
inline std::string TempFile(const std::string& name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    char pid[16];
    wsprintfA(pid, "ff%lu_", GetCurrentProcessId());
    return std::string(dir) + pid + name;
}

// Runs the tool with `args` (file names in them are Unix paths, quoted by
// the caller).  True when it ran and succeeded.
inline bool Run(const std::string& args)
{
    // FF_TOOL_VERBOSE=1 shows each command and the tool's complaints.
    bool verbose = std::getenv("FF_TOOL_VERBOSE") != nullptr;
    std::string cmd = std::string(verbose ? "set -x; " : "") + "ffmpeg -nostdin -hide_banner -loglevel error -y " +
                      args + (verbose ? "" : " 2>/dev/null");
    return std::system(cmd.c_str()) == 0;
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

inline Bytes Load(const std::string& win)
{
    Bytes out;
    HANDLE h = CreateFileA(win.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    DWORD size = GetFileSize(h, nullptr), done = 0;
    out.resize(size);
    if (size && !ReadFile(h, out.data(), size, &done, nullptr)) out.clear();
    CloseHandle(h);
    return out;
}

// Decodes a file (Windows path) with the tool to raw pixels of `pixFmt`
// (bgra, bgr24, gray ...), top row first.  `demuxer` forces an input format
// when the tool cannot tell it from the name.  Empty when it fails.
inline Bytes Decode(const std::string& win, const char* pixFmt, const char* demuxer = nullptr,
                    const char* outputOptions = nullptr)
{
    std::string raw = TempFile("decoded.raw");
    std::string in = UnixPath(win), out = UnixPath(raw);
    std::string args;
    if (demuxer) args += std::string("-f ") + demuxer + " ";
    args += "-i " + Quote(in) + " -frames:v 1 ";
    if (outputOptions) args += std::string(outputOptions) + " ";
    args += "-f rawvideo -pix_fmt " + std::string(pixFmt) + " " + Quote(out);
    DeleteFileA(raw.c_str());
    if (!Run(args)) return Bytes();
    Bytes b = Load(raw);
    DeleteFileA(raw.c_str());
    return b;
}

// Writes a test picture of w x h with the tool: `source` is a lavfi source
// ("testsrc2", "rgbtestsrc", "mandelbrot" ...), `options` the encoder's and
// the output's options.  Returns the Windows path, or empty on failure.
inline std::string Make(const std::string& name, int w, int h, const std::string& options,
                        const char* source = "testsrc2")
{
    std::string win = TempFile(name);
    DeleteFileA(win.c_str());
    std::string unixPath = UnixPath(win);
    // The sources draw at sizes of their own choosing: draw larger, then scale to the size wanted.
    char size[80];
    std::snprintf(size, sizeof size, "=s=%dx%d:r=1,scale=%d:%d", w < 64 ? 64 : w, h < 64 ? 64 : h, w, h);
    std::string args = std::string("-f lavfi -i ") + source + size + " -frames:v 1 " + options + " " + Quote(unixPath);
    if (!Run(args)) return std::string();
    return win;
}

// Writes one picture of w x h in many variants with one run of the tool:
// names[i] with options[i].  Returns the Windows paths (empty where the
// batch failed: then each variant is tried on its own run).
inline std::vector<std::string> MakeMany(const std::vector<std::string>& names,
                                         const std::vector<std::string>& options, int w, int h,
                                         const char* source = "testsrc2")
{
    std::vector<std::string> paths;
    char size[80];
    std::snprintf(size, sizeof size, "=s=%dx%d:r=1,scale=%d:%d", w < 64 ? 64 : w, h < 64 ? 64 : h, w, h);
    std::string args = std::string("-f lavfi -i ") + source + size;
    for (size_t i = 0; i < names.size(); ++i) {
        paths.push_back(TempFile(names[i]));
        DeleteFileA(paths.back().c_str());
        args += " -frames:v 1 " + options[i] + " " + Quote(UnixPath(paths.back()));
    }
    if (Run(args)) return paths;
    for (size_t i = 0; i < names.size(); ++i) paths[i] = Make(names[i], w, h, options[i], source);
    return paths;
}

// Decodes many files with one run of the tool (see Decode); an empty result
// where a file could not be decoded.
inline std::vector<Bytes> DecodeMany(const std::vector<std::string>& wins, const char* pixFmt)
{
    std::vector<Bytes> out(wins.size());
    std::string args;
    std::vector<std::string> raws;
    for (size_t i = 0; i < wins.size(); ++i) args += "-i " + Quote(UnixPath(wins[i])) + " ";
    for (size_t i = 0; i < wins.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "many%u.raw", unsigned(i));
        raws.push_back(TempFile(name));
        char map[32];
        std::snprintf(map, sizeof map, "-map %u:v ", unsigned(i));
        args += std::string(map) + "-frames:v 1 -f rawvideo -pix_fmt " + pixFmt + " " + Quote(UnixPath(raws.back())) + " ";
    }
    if (!wins.empty() && Run(args)) {
        for (size_t i = 0; i < wins.size(); ++i) out[i] = Load(raws[i]);
    } else {
        for (size_t i = 0; i < wins.size(); ++i) out[i] = Decode(wins[i], pixFmt);
    }
    for (auto& r : raws) DeleteFileA(r.c_str());
    return out;
}

}  // namespace ff_tool
