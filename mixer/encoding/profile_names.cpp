#include "profile_names.h"

bool IsSafeProfileName(const std::string &name)
{
    if (name.empty() || name.size() > 200) return false;
    if (name.find("..") != std::string::npos) return false;
    for (unsigned char c : name) {
        if (c < 32 || c == 127) return false;
        switch (c) {
        case '\\': case '/': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
            return false;
        default:
            break;
        }
    }
    char last = name.back();
    return last != '.' && last != ' ';
}

std::string UserProfilePath(const std::string &programFolder, const std::string &name)
{
    if (!IsSafeProfileName(name)) return {};
    std::string folder = programFolder;
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    return folder + "\\UserProfiles\\" + name + ".prx";
}
