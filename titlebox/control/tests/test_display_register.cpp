// Registration with the system's regsvr32: removed and made again.  Runs
// as a display test, in a private copy of the build's prefix, so no other
// test sees the control unregistered meanwhile.
#include <catch2/catch.hpp>

#include <windows.h>
#include <ole2.h>

#include <string>

#include "Lumicard_h.h"

namespace {

bool KeyExists(const std::string &key)
{
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

DWORD RunRegsvr32(const std::string &args)
{
    std::string cmd = "regsvr32.exe /s " + args;
    STARTUPINFOA si = {sizeof(si)};
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return DWORD(-1);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

struct Ole {
    Ole() { OleInitialize(nullptr); }
    ~Ole() { OleUninitialize(); }
};

}  // namespace

TEST_CASE("regsvr32 removes and registers the classes, ProgIDs and type library", "[register]")
{
    Ole ole;
    char module[MAX_PATH] = {};
    LONG len = sizeof(module);
    REQUIRE(RegQueryValueA(HKEY_CLASSES_ROOT, "CLSID\\{03EF03CA-9399-4D22-917C-4D4E3B295D10}\\InprocServer32",
                           module, &len) == ERROR_SUCCESS);
    const std::string quoted = std::string("\"") + module + "\"";
    const char *keys[] = {"CLSID\\{03EF03CA-9399-4D22-917C-4D4E3B295D10}",
                          "CLSID\\{36C4279A-CCA2-4FA6-97B4-28E7CF3067F2}", "Lumicard.LumicardCtrl.1",
                          "Lumicard.LumicardPropPage.1", "TypeLib\\{F29737B2-FC85-44E3-B81A-05C9909C3478}\\1.0"};
    REQUIRE(RunRegsvr32("/u " + quoted) == 0);
    for (const char *k : keys) {
        INFO(k);
        CHECK_FALSE(KeyExists(k));
    }
    REQUIRE(RunRegsvr32(quoted) == 0);
    for (const char *k : keys) {
        INFO(k);
        CHECK(KeyExists(k));
    }
    char value[64] = {};
    len = sizeof(value);
    REQUIRE(RegQueryValueA(HKEY_CLASSES_ROOT, "Lumicard.LumicardCtrl.1\\CLSID", value, &len) == ERROR_SUCCESS);
    CHECK(std::string(value) == "{03EF03CA-9399-4D22-917C-4D4E3B295D10}");
    CHECK(KeyExists("CLSID\\{03EF03CA-9399-4D22-917C-4D4E3B295D10}\\Control"));
    // The library's registered file holds the event interface with its 30 events.
    char tlb[MAX_PATH] = {};
    len = sizeof(tlb);
    REQUIRE(RegQueryValueA(HKEY_CLASSES_ROOT, "TypeLib\\{F29737B2-FC85-44E3-B81A-05C9909C3478}\\1.0\\0\\win64", tlb,
                           &len) == ERROR_SUCCESS);
    INFO(tlb);
    WCHAR wtlb[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, tlb, -1, wtlb, MAX_PATH);
    ITypeLib *lib = nullptr;
    REQUIRE(LoadTypeLibEx(wtlb, REGKIND_NONE, &lib) == S_OK);
    ITypeInfo *ti = nullptr;
    CHECK(lib->GetTypeInfoOfGuid(DIID__DLumicardEvents, &ti) == S_OK);
    if (ti) {
        TYPEATTR *ta = nullptr;
        ti->GetTypeAttr(&ta);
        CHECK(ta->cFuncs == 30);
        ti->ReleaseTypeAttr(ta);
        ti->Release();
    }
    lib->Release();
}

