#include "platform/RegistryTransaction.h"

#include "platform/RegistryStore.h"
#include "platform/SystemMessage.h"

namespace qx6::platform {

RegistryTransaction::RegistryTransaction() : outer_(BeginHiveTransaction()) {}

RegistryTransaction::~RegistryTransaction() {
  if (finished_) return;
  if (outer_) DiscardHiveTransaction();
  else AbandonHiveTransaction();
}

LONG RegistryTransaction::Commit() {
  if (finished_) return ERROR_TRANSACTION_NOT_ACTIVE;
  finished_ = true;
  return outer_ ? CommitHiveTransaction() : ERROR_SUCCESS;
}

}  // namespace qx6::platform
