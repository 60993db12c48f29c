#include "shared_block.h"

#include <cstdio>

bool SharedBlock::Open(const char *name)
{
    char lock_name[128];
    std::snprintf(lock_name, sizeof lock_name, "%s lock", name);
    mutex_ = CreateMutexA(nullptr, FALSE, lock_name);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(SharedControlData), name);
    if (!mapping_) return false;
    /* A fresh mapping is zero-filled, which is the block's empty state. */
    data_ = static_cast<SharedControlData *>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0,
                                                           sizeof(SharedControlData)));
    return data_ != nullptr;
}

void SharedBlock::Close()
{
    if (data_) UnmapViewOfFile(data_);
    if (mapping_) CloseHandle(mapping_);
    if (mutex_) CloseHandle(mutex_);
    data_ = nullptr;
    mapping_ = mutex_ = nullptr;
}

void SharedBlock::Lock()
{
    if (mutex_) WaitForSingleObject(mutex_, 5000);
}

void SharedBlock::Unlock()
{
    if (mutex_) ReleaseMutex(mutex_);
}
