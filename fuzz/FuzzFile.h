// The fuzz targets hand their input to code that reads files, so each input
// is first written to one scratch file (in memory where /dev/shm exists).
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace qx6::fuzz {

inline std::string ScratchPath(const char* name) {
  const char* tmp = getenv("TMPDIR");
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp ? tmp : "/tmp");
  return std::string(base) + "/qx6fuzz." + std::to_string(getpid()) + "." + name;
}

inline std::string WriteScratch(const char* name, const uint8_t* data, size_t size) {
  std::string path = ScratchPath(name);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

}  // namespace qx6::fuzz
