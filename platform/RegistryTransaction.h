// Several registry changes made as one: while a transaction is open on a
// thread, every change that thread makes (through any Reg* function, from
// the host or from a component it loaded) goes to a private copy of each
// hive it touches, held under that hive's exclusive lock, and Commit writes
// each changed hive with a single rename. Other threads and processes see
// the hives as they were or as committed, never a part of the changes.
#pragma once

#include "platform/Win32Types.h"

namespace qx6::platform {

// Every registry change the calling thread makes while one is open becomes one
// atomic change per hive: written on Commit with a single rename, or not at all.
class RegistryTransaction {
 public:
  RegistryTransaction();   // begins on the calling thread; an inner one joins the outer
  ~RegistryTransaction();  // discards what was not committed
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;
  // ERROR_SUCCESS, or the code of the write that failed (nothing written
  // then); an inner one's Commit only returns ERROR_SUCCESS. An inner one
  // ended without Commit dooms the whole: the outer Commit then writes
  // nothing and answers ERROR_TRANSACTION_ALREADY_ABORTED. A second Commit
  // answers ERROR_TRANSACTION_NOT_ACTIVE. RegistryFailureDetail says more
  // about a failure.
  LONG Commit();

 private:
  bool outer_;
  bool finished_ = false;
};

}  // namespace qx6::platform
