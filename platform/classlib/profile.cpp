#include "profile.h"

namespace cl {

namespace {
std::string Key(const std::string &root, const char *section)
{
    return section && *section ? root + "\\" + section : root;
}
}

int CProfile::GetInt(const char *section, const char *entry, int def) const
{
    DWORD v = 0, size = sizeof(v), type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, Key(root_, section).c_str(), entry, RRF_RT_REG_DWORD, &type, &v, &size)
        != ERROR_SUCCESS)
        return def;
    return (int)v;
}

std::string CProfile::GetString(const char *section, const char *entry, const std::string &def) const
{
    DWORD size = 0;
    std::string key = Key(root_, section);
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), entry, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return def;
    std::string s(size + 1, '\0');
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), entry, RRF_RT_REG_SZ, nullptr, &s[0], &size) != ERROR_SUCCESS)
        return def;
    s.resize(strlen(s.c_str()));
    return s;
}

bool CProfile::WriteInt(const char *section, const char *entry, int value) const
{
    DWORD v = (DWORD)value;
    return RegSetKeyValueA(HKEY_CURRENT_USER, Key(root_, section).c_str(), entry, REG_DWORD, &v, sizeof(v))
           == ERROR_SUCCESS;
}

bool CProfile::WriteString(const char *section, const char *entry, const std::string &value) const
{
    return RegSetKeyValueA(HKEY_CURRENT_USER, Key(root_, section).c_str(), entry, REG_SZ, value.c_str(),
                           (DWORD)value.size() + 1) == ERROR_SUCCESS;
}

bool CProfile::DeleteAll() const
{
    LSTATUS r = RegDeleteTreeA(HKEY_CURRENT_USER, root_.c_str());
    return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

} // namespace cl
