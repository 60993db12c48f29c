#include "text_file.h"

#include <windows.h>
#include <cctype>

namespace textfile {

ReadResult ReadAll(const std::string &path, std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return ReadResult::CannotOpen;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(f, &size)) {
        CloseHandle(f);
        return ReadResult::CannotOpen;
    }
    if (size.QuadPart > static_cast<LONGLONG>(kMaxFileBytes)) {
        CloseHandle(f);
        return ReadResult::TooLarge;
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    BOOL ok = bytes.empty() || ReadFile(f, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(f);
    if (!ok)
        return ReadResult::CannotOpen;
    bytes.resize(got);
    return ReadResult::Ok;
}

static bool write_handle(HANDLE f, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD put = 0;
        if (!WriteFile(f, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put, nullptr) || !put)
            return false;
        done += put;
    }
    return true;
}

bool ReplaceWith(const std::string &path, const std::string &bytes)
{
    std::string tmp = path + ".new";
    HANDLE f = CreateFileA(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    bool ok = write_handle(f, bytes);
    ok = CloseHandle(f) && ok;
    if (ok)
        ok = MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok)
        DeleteFileA(tmp.c_str());
    return ok;
}

bool Append(const std::string &path, const std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    bool ok = write_handle(f, bytes);
    return CloseHandle(f) && ok;
}

std::vector<std::string> SplitLines(const std::string &bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t lf = bytes.find('\n', start);
        size_t end = lf == std::string::npos ? bytes.size() : lf;
        size_t len = end - start;
        if (lf != std::string::npos && len && bytes[end - 1] == '\r')
            --len;
        lines.push_back(bytes.substr(start, len));
        if (lf == std::string::npos)
            break;
        start = lf + 1;
    }
    return lines;
}

std::vector<std::string> SplitFields(const std::string &line, char sep)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t at = line.find(sep, start);
        if (at == std::string::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, at - start));
        start = at + 1;
    }
}

bool PathExists(const std::string &path)
{
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsNetworkAddress(const std::string &path)
{
    return path.find("://") != std::string::npos;
}

bool HasExtension(const std::string &path, const char *ext3)
{
    if (path.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(path[path.size() - 3 + i])) != ext3[i])
            return false;
    return true;
}

} // namespace textfile
