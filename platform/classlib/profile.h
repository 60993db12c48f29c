/*
 * CProfile: the application profile (settings by section and entry) kept in
 * the registry under HKEY_CURRENT_USER\<root>\<section>.  Tests point the
 * root elsewhere.  Texts are byte strings; integers are DWORD values.
 */
#ifndef CORV_CLASSLIB_PROFILE_H
#define CORV_CLASSLIB_PROFILE_H

#include <windows.h>
#include <string>

namespace cl {

class CProfile {
public:
    explicit CProfile(const std::string &root = "Software\\Halvard\\Corvane") : root_(root) {}
    void SetRoot(const std::string &root) { root_ = root; }
    const std::string &Root() const { return root_; }

    int GetInt(const char *section, const char *entry, int def) const;
    std::string GetString(const char *section, const char *entry, const std::string &def) const;
    bool WriteInt(const char *section, const char *entry, int value) const;
    bool WriteString(const char *section, const char *entry, const std::string &value) const;
    /* Removes the whole root key (tests). */
    bool DeleteAll() const;

private:
    std::string root_;
};

} // namespace cl

#endif
