/*
 * Whole-file reads and writes of the scheduler's text files through Win32
 * (paths are Windows paths in the ANSI code page).
 */
#ifndef SCHEDULER_TEXT_FILE_H
#define SCHEDULER_TEXT_FILE_H

#include <string>
#include <vector>

namespace textfile {

/* Largest schedule or log file read: far beyond any real schedule. */
constexpr size_t kMaxFileBytes = 16u << 20;

enum class ReadResult { Ok, CannotOpen, TooLarge };
ReadResult ReadAll(const std::string &path, std::string &bytes);

/* Writes to a temporary file beside 'path' and moves it over the old file,
 * so a failed write never leaves a truncated file behind. */
bool ReplaceWith(const std::string &path, const std::string &bytes);
bool Append(const std::string &path, const std::string &bytes);

/* Lines split at LF; one optional CR before each LF is removed; a final
 * line without LF counts, an empty tail after the last LF does not. */
std::vector<std::string> SplitLines(const std::string &bytes);
std::vector<std::string> SplitFields(const std::string &line, char sep = ',');

bool PathExists(const std::string &path);
/* True for addresses such as "http://", "mms://" that are never files. */
bool IsNetworkAddress(const std::string &path);
/* Last three characters, upper-cased, equal 'ext3'. */
bool HasExtension(const std::string &path, const char *ext3);

} // namespace textfile

#endif
