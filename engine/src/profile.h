/*
 * CProfile: the store of Windows Media encoding profiles behind the profile
 * exports.  The store itself is filled in by the profile work; until then
 * every operation answers "nothing" (0, an empty string or E_NOTIMPL) and
 * the exports stay callable.
 */
#ifndef CORVENGINE_PROFILE_H
#define CORVENGINE_PROFILE_H

#include <windows.h>

#pragma pack(push, 1)
struct Wm9ConfigRecord {
    BYTE kind;
    char id[48];
    char file[40];
    char name[49];
    INT16 destination;
};
#pragma pack(pop)
static_assert(sizeof(Wm9ConfigRecord) == 140, "Wm9ConfigRecord is 140 bytes");

class CProfile {
public:
    virtual ~CProfile() {}
    HRESULT lastResult = S_OK;
    char text[260] = {};
    Wm9ConfigRecord *records = nullptr;
    int recordCount = 0;

    int Count() { return 0; }
    const char *Name(int) { text[0] = 0; return text; }
    const char *Description(int) { text[0] = 0; return text; }
};

extern CProfile g_profiles;

#endif
