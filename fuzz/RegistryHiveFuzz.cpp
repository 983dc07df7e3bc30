// Any bytes as a hive file: the reader either builds a hive or says which
// line is at fault, never a crash, and a hive it built is written in a form
// it reads back to the same hive, so that no change ever makes a hive
// unreadable.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/RegistryHive.h"

using namespace qx6::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const char* root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
    std::string problem;
    auto hive = RegistryHive::Parse(bytes, root, &problem);
    if (!hive) {
      if (problem.empty()) std::abort();  // a refusal must say why
      continue;
    }
    (void)hive->AnyEveryone();
    // The first rewrite settles what the file's forms leave open (comments,
    // deletions, unpaired UTF-16); from then on the text is a fixed point.
    const std::string written = hive->Serialize();
    auto back = RegistryHive::Parse(written, root, &problem);
    if (!back) std::abort();
    if (back->Serialize() != written) std::abort();
  }
  return 0;
}
