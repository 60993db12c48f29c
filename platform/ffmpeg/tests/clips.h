// Where the generated test clips live (made by tests/make_clips.sh).
#pragma once
#include <cstdlib>
#include <string>

inline std::string clipDir() {
  const char* d = std::getenv("FFCLIPS");
  return d && *d ? d : "/tmp/ffclips";
}
inline std::string clipPath(const std::string& name) { return clipDir() + "/" + name; }
