/*
 * Helpers of the scheduler tests: a prompt that records what the operator
 * would have seen and answers questions from a script, and a private
 * temporary folder per test program.
 */
#ifndef SCHEDULER_TEST_SUPPORT_H
#define SCHEDULER_TEST_SUPPORT_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "common/prompt.h"

class RecordingPrompt : public OperatorPrompt {
public:
    std::vector<std::string> warnings, questions;
    std::deque<bool> answers; /* Yes/No in order; No when exhausted */

    void Warn(const std::string &text) override { warnings.push_back(text); }
    bool AskYesNo(const std::string &text) override
    {
        questions.push_back(text);
        if (answers.empty())
            return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void Reset()
    {
        warnings.clear();
        questions.clear();
        answers.clear();
    }
};

/* A fresh folder under the temporary folder, named after the program and its
 * process id (ends in '\'). */
/* std::to_string does not link in winelib programs (an inline function's
 * static table); this does the same. */
inline std::string Num(long long v)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%lld", v);
    return buf;
}

inline std::string TestFolder(const char *name)
{
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string dir = std::string(tmp) + name + "_" + Num(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

inline void WriteBytes(const std::string &path, const std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    if (f != INVALID_HANDLE_VALUE) {
        WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
        CloseHandle(f);
    }
}

inline std::string ReadBytes(const std::string &path)
{
    std::string out;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return "<missing>";
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got)
        out.append(buf, got);
    CloseHandle(f);
    return out;
}

/* For CHECKs: Catch binds operands by reference, and std::string::npos
 * cannot be referenced from a winelib program. */
inline bool Contains(const std::string &s, const std::string &part)
{
    return s.find(part) != std::string::npos;
}

inline std::string ReplaceAll(std::string s, const std::string &from, const std::string &to)
{
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

#endif
