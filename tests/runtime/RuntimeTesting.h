// Helpers shared by the runtime tests.
#pragma once

#include "runtime/DateTime.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"

namespace qx6::test {

// The error number a call raises, 0 when it raises none.
int ErrorOf(auto&& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

// The user's locale for one scope, US English again after it.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) { Locale::SetUser(name); }
  ~LocaleScope() { Locale::SetUser("en_US"); }
};

// The clock stands at `serial` for one scope, and runs again after it.
class NowScope {
 public:
  explicit NowScope(double serial) { DateTime::SetNowForTesting(serial); }
  ~NowScope() { DateTime::SetNowForTesting(std::nullopt); }
};

inline double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return DateTime::Combine(DateTime::DateSerial(y, mo, d), DateTime::TimeSerial(h, mi, s));
}

}  // namespace qx6::test
