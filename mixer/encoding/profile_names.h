/*
 * Names of the operator's own profiles: a ".prx" file in the folder
 * "UserProfiles" beside the program, named after what the operator types.
 */
#ifndef CORV_MIXER_PROFILE_NAMES_H
#define CORV_MIXER_PROFILE_NAMES_H

#include <string>

/* True when a name stays a plain file name inside "UserProfiles": not
 * empty, no "..", no "\", "/", ":", wildcards, quotes, "<", ">", "|" or
 * control characters, no trailing dot or blank, at most 200 characters. */
bool IsSafeProfileName(const std::string &name);
/* programFolder + "\UserProfiles\" + name + ".prx", or empty when the name
 * is not safe. */
std::string UserProfilePath(const std::string &programFolder, const std::string &name);

#endif
