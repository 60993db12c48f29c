/*
 * The block of data a control library shares between every process that
 * loads it: the registered message number, the global atoms and the attach
 * count.  Winelib modules are ELF objects without shared data sections, so
 * the block lives in a named page-file mapping; every process that maps the
 * same name sees the same bytes.
 */
#ifndef CONTROLS_SHARED_BLOCK_H
#define CONTROLS_SHARED_BLOCK_H

#include <windows.h>
#include <cstdint>

struct SharedControlData {
    char atom_name[64];
    char class_name[32];
    char font_atom_name[64];
    uint32_t message;      /* registered "Knobkit-Halvard" */
    uint16_t atom;         /* global atom of atom_name */
    uint16_t font_atom;    /* global atom of font_atom_name (button library) */
    uint32_t attach_count;
    uint32_t reserved;
};

class SharedBlock {
public:
    /* Maps (creating on first use) the block named name.  The mutex named
     * name + " lock" serialises attach and detach across processes. */
    bool Open(const char *name);
    void Close();
    SharedControlData *data() const { return data_; }
    void Lock();
    void Unlock();

private:
    HANDLE mapping_ = nullptr;
    HANDLE mutex_ = nullptr;
    SharedControlData *data_ = nullptr;
};

#endif
