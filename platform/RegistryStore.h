// Where the hive files live and how they are read and changed: a per-process
// cache of parsed hives, and for every change (or every transaction) an
// exclusive lock, a fresh read, a temporary file and a rename.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/RegistryHive.h"
#include "platform/Win32Types.h"

namespace qx6::platform {

enum class HiveId { CurrentUser, LocalMachine, Users };

// "HKEY_CURRENT_USER" and so on.
const char* HiveRootName(HiveId hive);
// The machine's registry folder unless QX6_REGISTRY_DIR says otherwise.
inline constexpr const char* SystemRegistryFolder = "/var/lib/quorvex/registry";
// The hive file's path; empty when it cannot be determined (the user's hive
// without HOME or XDG_CONFIG_HOME).
std::string HivePath(HiveId hive);

struct HiveSnapshot {
  LONG status = 0;  // ERROR_SUCCESS, or why the hive cannot be read
  std::shared_ptr<const RegistryHive> hive;
  std::string problem;  // with a failure: what RegistryFailureDetail says
};
// The hive as it is on disk now; a missing file is an empty hive. Inside a
// transaction that has changed the hive, the pending copy, which later
// changes of the same transaction alter: hold nothing read from it across
// a change.
HiveSnapshot ReadHive(HiveId hive);

// ERROR_SUCCESS when the calling user may change the hive: the file, or its
// folder (or the nearest existing folder above it), is writable.
LONG CheckHiveWritable(HiveId hive);

// Changes the hive under its exclusive lock. `change` gets the hive as it is
// on disk at that moment, returns an error code and sets `changed` when
// there is something to write; nothing is written on an error, and then
// `change` must have left the hive as it was. A damaged hive is never
// handed to `change` (ERROR_REGISTRY_CORRUPT). Inside a transaction the
// change goes to the transaction's copy of the hive, written on commit.
using HiveChange = std::function<LONG(RegistryHive& hive, bool& changed)>;
LONG ChangeHive(HiveId hive, const HiveChange& change);

// The calling thread's transaction (see RegistryTransaction.h).
// True when this begins one; false when one is open and the caller joins it.
bool BeginHiveTransaction();
// Writes what the transaction changed, one rename per hive, and ends it.
LONG CommitHiveTransaction();
// Ends the transaction, dropping its changes and releasing its locks.
void DiscardHiveTransaction();
// An inner part ended without committing: the whole transaction is
// doomed. Its changes and locks go at once; further changes and the
// outermost Commit answer ERROR_TRANSACTION_ALREADY_ABORTED.
void AbandonHiveTransaction();

// The calling thread's last failure detail (RegistryFailureDetail).
const std::string& FailureDetail();
void ClearFailureDetail();
void SetFailureDetail(std::string detail);

}  // namespace qx6::platform
