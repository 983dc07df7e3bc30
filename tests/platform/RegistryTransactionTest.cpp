#include "platform/RegistryTransaction.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/ComponentModel.h"
#include "platform/FileSystem.h"
#include "platform/RegistryHive.h"
#include "tests/platform/RegistryFolderTest.h"

namespace qx6::platform {
namespace {

using namespace test;

// What the helper, a process of its own, prints for its command.
std::string RunHelper(const std::string& arguments, const std::string& environment = "") {
  // exec: a signal that ends the helper ends the process the shell is.
  auto [status, out] = Shell("exec env " + environment + " " + QX6_REGISTRY_HELPER + " " + arguments);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return status == -1 ? "killed" : out;
}

using RegistryTransactionTest = test::RegistryFolderTest;

TEST_F(RegistryTransactionTest, ADiscardedOneLeavesNoTraceAndACommittedOneAppearsWholeToOthers) {
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App", "Old", "before"), ERROR_SUCCESS);
  const std::string userBefore = ReadFile(UserHive());
  {
    RegistryTransaction discarded;
    ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App", "Old", "changed"), ERROR_SUCCESS);
    ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Gone", "x", "y"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Software\\App"), ERROR_SUCCESS);
    ASSERT_EQ(PutText(HKEY_LOCAL_MACHINE, "Software\\Gone", "x", "y"), ERROR_SUCCESS);
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\App", "Old"), "error 2");
  }
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\App", "Old") + GetText(HKEY_CURRENT_USER, "Software\\Gone", "x"),
            "beforeerror 2");
  const long changesBefore = FileSystem::ChangesMade();

  RegistryTransaction transaction;
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App", "Old", "after"), ERROR_SUCCESS);
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App\\Deep\\Er", "New", "n"), ERROR_SUCCESS);
  ASSERT_EQ(PutText(HKEY_LOCAL_MACHINE, "Software\\App", "Machine", "m"), ERROR_SUCCESS);
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Classes\\App.Doc", "", "user class"), ERROR_SUCCESS);

  // This thread reads its pending changes, through the overlay too.
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\App", "Old"), "after");
  EXPECT_EQ(GetText(HKEY_LOCAL_MACHINE, "Software\\App", "Machine"), "m");
  EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "App.Doc", ""), "user class");

  // Nothing of either transaction has reached the disk, and another process
  // sees the old state without waiting for the lock this transaction holds.
  EXPECT_EQ(FileSystem::ChangesMade(), changesBefore);
  EXPECT_EQ(ReadFile(UserHive()), userBefore);
  EXPECT_FALSE(test::FileExists(MachineHive()));
  auto othersSee = [] {
    std::string seen;
    for (const char* read : {"HKCU 'Software\\App' Old", "HKCU 'Software\\App\\Deep\\Er' New",
                             "HKLM 'Software\\App' Machine", "HKCR App.Doc ''"})
      seen += RunHelper(std::string("read ") + read) + "|";
    return seen;
  };
  EXPECT_EQ(othersSee(), "before|error 2|error 2|error 2|");
  ASSERT_EQ(transaction.Commit(), ERROR_SUCCESS);
  EXPECT_EQ(othersSee(), "after|n|m|user class|");
  EXPECT_EQ(transaction.Commit(), ERROR_TRANSACTION_NOT_ACTIVE);

  // After the commit, changes go straight to the disk again, and the locks of
  // both transactions are gone: another process can write at once.
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App", "Later", "l"), ERROR_SUCCESS);
  EXPECT_EQ(RunHelper("read HKCU 'Software\\App' Later"), "l");
  EXPECT_EQ(RunHelper("transaction 1"), "0");
}

TEST_F(RegistryTransactionTest, AnInnerTransactionJoinsTheOuterOneEachHiveIsWrittenOnceOrNotAtAll) {
  const std::string empty = "error 2";
  {
    RegistryTransaction outer;
    {
      RegistryTransaction inner;
      ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Nested", "inner", "i"), ERROR_SUCCESS);
      EXPECT_EQ(inner.Commit(), ERROR_SUCCESS);
    }
    EXPECT_FALSE(test::FileExists(UserHive()));
    ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Nested", "outer", "o"), ERROR_SUCCESS);
    ASSERT_EQ(outer.Commit(), ERROR_SUCCESS);
  }
  EXPECT_EQ(RunHelper("read HKCU 'Software\\Nested' inner") + RunHelper("read HKCU 'Software\\Nested' outer"), "io");

  // An inner part that gives up dooms the whole.
  const std::string before = ReadFile(UserHive());
  {
    RegistryTransaction outer;
    ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Nested", "outer", "changed"), ERROR_SUCCESS);
    {
      RegistryTransaction inner;
      ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Nested", "inner", "changed"), ERROR_SUCCESS);
    }
    // Doomed: its copy is gone and it takes no more changes.
    EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\Nested", "outer"), "o");
    EXPECT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Nested", "late", "l"), ERROR_TRANSACTION_ALREADY_ABORTED);
    EXPECT_EQ(outer.Commit(), ERROR_TRANSACTION_ALREADY_ABORTED);
    EXPECT_FALSE(RegistryFailureDetail().empty());
  }
  EXPECT_EQ(ReadFile(UserHive()), before);
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\Nested", "outer"), "o");
  // However many changes a transaction holds, each hive is written once.
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App", "Seed", "s"), ERROR_SUCCESS);
  auto changesOfCommit = [](int values) {
    RegistryTransaction transaction;
    for (int i = 0; i < values; ++i)
      EXPECT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App\\K" + std::to_string(i % 5), "v" + std::to_string(i),
                        std::to_string(values)),
                ERROR_SUCCESS);
    const long before = FileSystem::ChangesMade();
    EXPECT_EQ(transaction.Commit(), ERROR_SUCCESS);
    return FileSystem::ChangesMade() - before;
  };
  const long one = changesOfCommit(1);
  EXPECT_GT(one, 0);
  EXPECT_EQ(changesOfCommit(40), one);
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\App\\K4", "v39"), "40");
  // A commit that cannot write writes nothing.
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\App", "Small", "s"), ERROR_SUCCESS);
  ASSERT_EQ(PutText(HKEY_LOCAL_MACHINE, "Software\\App", "Small", "s"), ERROR_SUCCESS);
  const std::string user = ReadFile(UserHive());
  const std::string machine = ReadFile(MachineHive());
  // A file size limit makes the user's hive too large to write, even for
  // root; the machine's is prepared first and must not be renamed either.
  EXPECT_EQ(Wait(Spawn([] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{4096, 4096};
              if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
              RegistryTransaction transaction;
              if (PutText(HKEY_LOCAL_MACHINE, "Software\\App", "Small", "changed") != 0) return 11;
              if (PutText(HKEY_CURRENT_USER, "Software\\App", "Big", std::string(8192, 'b')) != 0) return 12;
              if (transaction.Commit() == ERROR_SUCCESS) return 13;
              const std::string detail = RegistryFailureDetail();
              if (detail.find("HKEY_CURRENT_USER.reg: ") == std::string::npos) return 14;
              return detail.find(std::strerror(EFBIG)) == std::string::npos ? 15 : 0;
            })),
            0);
  EXPECT_EQ(ReadFile(UserHive()), user);
  EXPECT_EQ(ReadFile(MachineHive()), machine);
  ExpectNoTemporaryFiles();
}

// Each hive holds its one seed value, or the seed and every value of the
// transaction: never a part.
void ExpectOldOrNew(const std::string& path, const char* root, size_t count, const std::string& when) {
  auto hive = RegistryHive::Parse(ReadFile(path), root);
  ASSERT_TRUE(hive) << when << ": " << path;
  const RegistryKeyNode* tx = hive->Find({"Software", "Tx"});
  ASSERT_TRUE(tx) << when;
  const size_t values = tx->Values().size();
  EXPECT_TRUE(values == 1 || values == count + 1) << when << ": " << values << " values in " << path;
}

TEST_F(RegistryTransactionTest, TransactionsInOppositeOrderDoNotWaitForeverAndACrashLeavesEachHiveOldOrNew) {
  int toChild[2], toParent[2];
  ASSERT_EQ(pipe(toChild), 0);
  ASSERT_EQ(pipe(toParent), 0);
  char byte = 0;
  const pid_t pid = Spawn([&] {
    RegistryTransaction transaction;
    if (PutText(HKEY_LOCAL_MACHINE, "Software\\Order", "child", "c") != 0) return 20;
    if (write(toParent[1], "x", 1) != 1 || read(toChild[0], &byte, 1) != 1) return 21;
    const LONG status = PutText(HKEY_CURRENT_USER, "Software\\Order", "child", "c");
    if (status == ERROR_POSSIBLE_DEADLOCK) return transaction.Commit() == ERROR_TRANSACTION_ALREADY_ABORTED ? 1 : 22;
    return status == 0 && transaction.Commit() == ERROR_SUCCESS ? 0 : 23;
  });
  RegistryTransaction transaction;
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Order", "parent", "p"), ERROR_SUCCESS);
  ASSERT_EQ(read(toParent[0], &byte, 1), 1);
  ASSERT_EQ(write(toChild[1], "x", 1), 1);
  const LONG status = PutText(HKEY_LOCAL_MACHINE, "Software\\Order", "parent", "p");
  const LONG committed = transaction.Commit();
  const int child = Wait(pid);
  // The one that took the hives out of order (the user's, then the
  // machine's) gave up and let go; the other then had both and wrote both.
  EXPECT_EQ(std::tuple(status, committed, child),
            std::tuple(ERROR_POSSIBLE_DEADLOCK, ERROR_TRANSACTION_ALREADY_ABORTED, 0));
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\Order", "child") +
                GetText(HKEY_LOCAL_MACHINE, "Software\\Order", "child") +
                GetText(HKEY_CURRENT_USER, "Software\\Order", "parent"),
            "ccerror 2");
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
  // A crash anywhere in a commit leaves each hive old or new.
  constexpr size_t Count = 50;
  ASSERT_EQ(PutText(HKEY_CURRENT_USER, "Software\\Tx", "seed", "s"), ERROR_SUCCESS);
  ASSERT_EQ(PutText(HKEY_LOCAL_MACHINE, "Software\\Tx", "seed", "s"), ERROR_SUCCESS);
  int crashes = 0;
  bool finished = false;
  for (int at = 1; at <= 40 && !finished; ++at) {
    for (const char* torn : {"0", "1"}) {
      const std::string when = "crash at " + std::to_string(at) + (torn[0] == '1' ? ", torn" : "");
      const std::string out = RunHelper("transaction " + std::to_string(Count),
                                        "QX6_CRASH_AT=" + std::to_string(at) + " QX6_CRASH_TORN=" + torn);
      ExpectOldOrNew(UserHive(), "HKEY_CURRENT_USER", Count, when);
      ExpectOldOrNew(MachineHive(), "HKEY_LOCAL_MACHINE", Count, when);
      if (out == "killed") {
        ++crashes;
        continue;
      }
      EXPECT_EQ(out, "0") << when;
      finished = true;
      break;
    }
  }
  EXPECT_TRUE(finished);
  EXPECT_GE(crashes, 8);
  EXPECT_EQ(GetText(HKEY_CURRENT_USER, "Software\\Tx", "v49") + GetText(HKEY_LOCAL_MACHINE, "Software\\Tx", "v49"),
            "value 49value 49");
}

TEST_F(RegistryTransactionTest, ARegistrationIsWrittenWholeOrNotAtAll) {
  std::string error;
  {
    ScopedEnv fails("QX6_TEST_REGISTRATION_FAILS", "1");
    EXPECT_TRUE(Failed(RegisterLibrary(QX6_REGISTRATION_FIXTURE, false, &error)));
    EXPECT_NE(error.find("DllRegisterServer"), std::string::npos) << error;
  }
  EXPECT_FALSE(test::FileExists(MachineHive()));
  EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "Fixture.Class", ""), "error 2");

  ASSERT_EQ(RegisterLibrary(QX6_REGISTRATION_FIXTURE, false, &error), S_OK) << error;
  EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "Fixture.Class\\CLSID", ""), "second");
  EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "Fixture.Other", ""), "third");

  // An unregistration that fails keeps the registration.
  {
    ScopedEnv fails("QX6_TEST_REGISTRATION_FAILS", "1");
    EXPECT_TRUE(Failed(RegisterLibrary(QX6_REGISTRATION_FIXTURE, true, &error)));
  }
  EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "Fixture.Other", ""), "third");
  ASSERT_EQ(RegisterLibrary(QX6_REGISTRATION_FIXTURE, true, &error), S_OK) << error;
  EXPECT_EQ(GetText(HKEY_CLASSES_ROOT, "Fixture.Class", ""), "error 2");
}

}  // namespace
}  // namespace qx6::platform
