// A test host for the effects library: loads bin/Tarvofx/Tarvofx.dll by
// file name, takes FXNotify, and keeps the two nodes of one attachment
// (the library's node and its own).  Its own notify function answers the
// library's questions from fields a test sets, and records every call.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fxhost.h"

namespace fxtest {

std::string BinDir();
// The library, loaded once per process; null when missing.
HMODULE Library();
CubbyNotify Notify();

struct TestHost;
struct HostNode {
    CubbyNode node;
    TestHost *host;
};

struct Call {
    UINT message;
    WPARAM wparam;
};

struct TestHost {
    CubbyNode lib = {};  // the library's node
    HostNode self = {};  // ours
    CubbyPrivateData priv = {};
    std::vector<uint8_t> select;  // bytes of a type-3 descriptor

    // Answers.
    std::string iniPath;          // FXN_GET_FILE 0 ("" answers 0)
    std::string regPath;          // FXN_GET_FILE 1
    bool answerFormat = true;
    FxVideoFormat format = {};
    FxVideoFormatExt extension = {};
    int32_t frameCount = 0;       // FXN_GET_DATA -3
    uint32_t version = 0;         // FXN_GET_DATA -2
    std::vector<uint8_t> block;   // FXN_GET_DATA with the block type
    INT_PTR putAnswer = 1;
    // Asked first for every message; an answer with `handled` set is final.
    std::function<INT_PTR(UINT message, WPARAM wparam, void *record, bool &handled)> answer;

    // Record of the calls and of what the library gave.
    std::vector<Call> calls;
    std::vector<uint8_t> stored;  // the last FXN_PUT_DATA block
    int32_t storedType = 0;

    // A host of the library linked into the test (or, with `dll`, of
    // bin/Tarvofx/Tarvofx.dll loaded by file name), with its node's name.
    explicit TestHost(const char *name = "Cubby Test", bool dll = false);
    ~TestHost();
    void Number(uint32_t index, uint32_t hostKind = 0);
    void Select(const std::vector<uint32_t> &words, uint32_t hostKind = 0);
    INT_PTR Send(UINT message, WPARAM wparam = 0, void *record = nullptr);
    INT_PTR Attach() { return Send(FXN_ATTACH); }
    INT_PTR Detach() { return Send(FXN_DETACH); }
    FxInstance *Instance() { return static_cast<FxInstance *>(lib.privateData); }
    int Count(UINT message) const;
    void PalFormat();  // 720 x 576, 25 frames, first field first, interlaced
};

// The hand-made settings file beside the test programs.
std::string FixtureIni();
// A fresh settings file in the temp folder with the given lines.
std::string WriteIni(const std::string &name, const std::string &text);

// A request record of the current form with its marker, code, unit, data and size word.
inline FxRequest Current(uint32_t code, uint32_t unit, void *data = nullptr, uintptr_t size = 0)
{
    FxRequest r = {};
    r.data = data;
    r.marker = FXR_MARKER;
    r.code = code;
    r.unit = unit;
    r.second = size;
    return r;
}

// Two 16-bit values in one parameter word, low first.
inline uintptr_t Pack(int low, int high)
{
    return (uintptr_t(uint32_t(high) & 0xFFFF) << 16) | (uint32_t(low) & 0xFFFF);
}

inline FxEffect *Effect(TestHost &h)
{
    return FxCurrentEffect(h.Instance());
}

}  // namespace fxtest
