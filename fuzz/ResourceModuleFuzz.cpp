// Any bytes as a language or branding library: loading and reading strings
// gives a module or none and a string or none, never a read outside the file.
#include <cstdint>

#include "fuzz/FuzzFile.h"
#include "platform/ResourceModule.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = qx6::fuzz::WriteScratch("dll", data, size);
  auto module = qx6::platform::ResourceModule::Load(path);
  if (!module) return 0;
  // Two bytes of UTF-16 in the file never give more than three of UTF-8.
  auto check = [&](uint32_t id) {
    if (auto text = module->LoadString(id); text && text->size() > size * 3 / 2) __builtin_trap();
  };
  for (uint32_t id = 0; id <= 320; ++id) check(id);
  for (uint32_t id : {1000u, 4095u, 65535u, 65536u, 0xFFFFFFFFu}) check(id);
  return 0;
}
