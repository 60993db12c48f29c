#include "fxhost_host.h"

#include <cstring>

namespace fxtest {

namespace {

INT_PTR WINAPI HostNotify(CubbyNode *node, CubbyNode *, UINT message, WPARAM wparam, void *record)
{
    TestHost *h = reinterpret_cast<HostNode *>(node)->host;
    h->calls.push_back({message, wparam});
    if (h->answer) {
        bool handled = false;
        const INT_PTR r = h->answer(message, wparam, record, handled);
        if (handled) return r;
    }
    switch (message) {
    case FXN_GET_FILE:
        if (wparam == 0) return h->iniPath.empty() ? 0 : INT_PTR(h->iniPath.c_str());
        if (wparam == 1) return h->regPath.empty() ? 0 : INT_PTR(h->regPath.c_str());
        return 0;
    case FXN_VIDEO_FORMAT: {
        auto *q = static_cast<FxVideoFormatQuery *>(record);
        if (!h->answerFormat || !q || q->code != 17 || q->index != 1 || !q->out) return 0;
        const uint32_t view = static_cast<const uint32_t *>(q->out)[1];
        if (view == 0) {
            std::memcpy(q->out, &h->format, sizeof h->format);
            return 1;
        }
        if (view == FX_VIEW_EXTENSION) {
            std::memcpy(q->out, &h->extension, sizeof h->extension);
            return 1;
        }
        return 0;
    }
    case FXN_GET_DATA: {
        auto *r = static_cast<FxHostDataRecord *>(record);
        if (r->selector == -3) r->size = uint32_t(h->frameCount);
        if (r->selector == -2) r->value = h->version;
        if ((r->selector == 8 || r->selector == 20) && !h->block.empty()) {
            r->size = uint32_t(h->block.size());
            r->value = uintptr_t(h->block.data());
        }
        return 1;
    }
    case FXN_PUT_DATA: {
        auto *r = static_cast<FxHostDataRecord *>(record);
        const uint8_t *p = reinterpret_cast<const uint8_t *>(r->value);
        h->stored.assign(p, p + r->size);
        h->storedType = r->selector;
        return h->putAnswer;
    }
    default:
        return 0;
    }
}

}  // namespace

std::string BinDir()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string s(exe);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

HMODULE Library()
{
    static HMODULE lib = LoadLibraryA((BinDir() + "Tarvofx\\Tarvofx.dll").c_str());
    return lib;
}

CubbyNotify Notify()
{
    HMODULE lib = Library();
    return lib ? reinterpret_cast<CubbyNotify>(reinterpret_cast<void *>(GetProcAddress(lib, "FXNotify"))) : nullptr;
}

TestHost::TestHost(const char *name, bool dll)
{
    lib.notify = dll ? Notify() : &FXNotify;
    lib.id = FX_NODE_ID;
    lstrcpynA(lib.name, name, sizeof lib.name);
    lib.module = dll ? Library() : GetModuleHandleA(nullptr);
    lib.privateData = &priv;
    self.node.notify = &HostNotify;
    self.node.id = 0x2C910000;
    lstrcpynA(self.node.name, "Cubby 4.0 Renderer", sizeof self.node.name);
    self.node.module = GetModuleHandleA(nullptr);
    self.host = this;
    priv.type = REG_DWORD;
    priv.value = 0;
    iniPath = FixtureIni();
    format.size = sizeof format;
    extension.size = sizeof extension;
    extension.view = FX_VIEW_EXTENSION;
}

TestHost::~TestHost()
{
    // A test that left its node attached detaches it here.
    if (lib.privateData && lib.privateData != &priv) Detach();
}

void TestHost::Number(uint32_t index, uint32_t hostKind)
{
    priv.type = REG_DWORD;
    priv.value = index;
    priv.hostKind = hostKind;
}

void TestHost::Select(const std::vector<uint32_t> &words, uint32_t hostKind)
{
    select.assign(words.size() * 4, 0);
    if (!words.empty()) std::memcpy(select.data(), words.data(), select.size());
    priv.type = REG_BINARY;
    priv.value = uintptr_t(select.data());
    priv.hostKind = hostKind;
}

INT_PTR TestHost::Send(UINT message, WPARAM wparam, void *record)
{
    return lib.notify ? lib.notify(&lib, &self.node, message, wparam, record) : 0;
}

int TestHost::Count(UINT message) const
{
    int n = 0;
    for (const Call &c : calls)
        if (c.message == message) ++n;
    return n;
}

void TestHost::PalFormat()
{
    format.view = 0;
    format.fieldOrder = 1;
    format.flags = 0x2;
    format.frameRate = 25;
    format.width = 720;
    format.height = 576;
    format.aspectX = 4;
    format.aspectY = 3;
    format.further[0] = 11;
    format.further[3] = 44;
}

std::string FixtureIni()
{
    return BinDir() + "fxhost\\quillon.ini";
}

std::string WriteIni(const std::string &name, const std::string &text)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + "fxhost_" + std::to_string(GetCurrentProcessId()) + "_" + name;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(f, text.data(), DWORD(text.size()), &done, nullptr);
    CloseHandle(f);
    return path;
}

}  // namespace fxtest
