#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstring>
#include <thread>
#include <tuple>

#include "platform/Environment.h"
#include "platform/RegistryHive.h"
#include "platform/RegistryStore.h"
#include "tests/platform/RegistryFolderTest.h"

namespace qx6::platform {
namespace {

using namespace test;

HKEY Create(HKEY root, std::string_view path, const SECURITY_ATTRIBUTES* security = nullptr) {
  HKEY key = 0;
  EXPECT_EQ(RegCreateKeyEx(root, path, 0, "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, security, &key), ERROR_SUCCESS)
      << path;
  return key;
}

LONG Set(HKEY key, std::string_view name, DWORD type, const std::string& data) {
  return RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
}

// Sets a REG_SZ value given without its zero.
void SetAndClose(HKEY root, std::string_view path, std::string_view name, const std::string& text) {
  EXPECT_EQ(Put(root, path, name, REG_SZ, text), ERROR_SUCCESS) << path;
}

std::string Text(const std::string& s) { return s + '\0'; }

// The names RegEnumValue (or RegEnumKeyEx) gives for the open key.
std::vector<std::string> Names(HKEY key, bool subkeys = false) {
  std::vector<std::string> names;
  std::string name;
  for (DWORD i = 0; (subkeys ? RegEnumKeyEx(key, i, &name) : RegEnumValue(key, i, &name)) == ERROR_SUCCESS; ++i)
    names.push_back(name);
  return names;
}

// The same for the key at `path`, opened for reading.
std::vector<std::string> NamesAt(HKEY root, std::string_view path, bool subkeys = false) {
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyEx(root, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
  std::vector<std::string> names = Names(key, subkeys);
  RegCloseKey(key);
  return names;
}

using RegistryTest = test::RegistryFolderTest;

TEST_F(RegistryTest, ValuesAreWrittenQueriedAndEnumeratedAndNamesKeepTheirCase) {
  HKEY key = 0;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Quorvex 6\\Font", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key,
                           &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

  // A string given without its zero gets one.
  ASSERT_EQ(Set(key, "FontName", REG_SZ, "Tahoma"), ERROR_SUCCESS);
  ASSERT_EQ(Set(key, "FontSize", REG_DWORD, Lit("\x0A\0\0\0")), ERROR_SUCCESS);
  ASSERT_EQ(Set(key, "", REG_BINARY, "\x01\x02\x03"), ERROR_SUCCESS);

  const Read font = Query(HKEY_CURRENT_USER, "Software\\Quorvex 6\\Font", "FontName");
  EXPECT_EQ(std::tuple(font.status, font.type, font.data), std::tuple(ERROR_SUCCESS, REG_SZ, Text("Tahoma")));
  DWORD type = 0, size = 3;
  BYTE small[3];
  EXPECT_EQ(RegQueryValueEx(key, "FontName", &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(RegQueryValueEx(key, "FontName", &type, small, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueEx(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);

  DWORD subKeys = 9, longestKey = 9, values = 0, longestName = 0, longestData = 0;
  ASSERT_EQ(RegQueryInfoKey(key, &subKeys, &longestKey, &values, &longestName, &longestData), ERROR_SUCCESS);
  EXPECT_EQ((std::vector<DWORD>{subKeys, longestKey, values, longestName, longestData}),
            (std::vector<DWORD>{0, 0, 3, 8, 7}));

  EXPECT_EQ(Names(key), (std::vector<std::string>{"FontName", "FontSize", ""}));
  std::string name;
  EXPECT_EQ(RegEnumValue(key, 3, &name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // Paths and names compare without regard to case and keep the case first given.
  SetAndClose(HKEY_CURRENT_USER, "Software\\MiXed\\Sub", "ValueName", "x");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "SOFTWARE\\mixed\\sUB\\", "VALUENAME").data, Text("x"));
  SetAndClose(HKEY_CURRENT_USER, "software\\MIXED\\sub", "valuename", "y");
  EXPECT_EQ(NamesAt(HKEY_CURRENT_USER, "Software", true), (std::vector<std::string>{"MiXed", "Quorvex 6"}));
  EXPECT_EQ(NamesAt(HKEY_CURRENT_USER, "Software\\Mixed\\Sub"), std::vector<std::string>{"ValueName"});
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\MiXed\\Sub", "ValueName").data, Text("y"));
}

TEST_F(RegistryTest, BadArgumentsHandlesAndDepthsGiveTheirCodes) {
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "A\\\\B", 0, "", 0, KEY_WRITE, nullptr, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, std::string(256, 'k'), 0, "", 0, KEY_WRITE, nullptr, &key),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Line\nbreak", 0, "", 0, KEY_WRITE, nullptr, &key), ERROR_BADKEY);
  EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Volatile", 0, "", REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(0x1234), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(0x1234, "", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);

  HKEY reader = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Args", 0, "", 0, KEY_READ, nullptr, &reader), ERROR_SUCCESS);
  EXPECT_EQ(Set(reader, "v", REG_SZ, "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(reader), ERROR_INVALID_HANDLE);
  HKEY writer = 0;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Args", 0, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueEx(writer, "v", nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Set(writer, "two\nlines", REG_SZ, "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Set(writer, "v", REG_SZ, "\xC3\x28"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(writer, "v", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueEx(writer, "v", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  RegCloseKey(writer);

  // Keys deeper than 512 levels are not created.
  std::string path = "k";
  for (size_t i = 1; i < MaxKeyDepth; ++i) path += "\\k";
  ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, "", 0, KEY_ALL_ACCESS, nullptr, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegCreateKeyEx(key, "one more", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key), ERROR_BADKEY);
  EXPECT_NE(RegistryFailureDetail().find("at most 512 levels"), std::string::npos) << RegistryFailureDetail();
  // Below the classes root the machine's Software\Classes count too.
  const std::string classes = path.substr(0, path.size() - 2);  // 511 levels
  EXPECT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, classes, 0, "", 0, KEY_ALL_ACCESS, nullptr, &key), ERROR_BADKEY);
}

TEST_F(RegistryTest, DeletingKeysValuesAndTreesAndADamagedHiveIsAnErrorNeverOverwritten) {
  SetAndClose(HKEY_CURRENT_USER, "A\\B\\C", "deep", "1");
  SetAndClose(HKEY_CURRENT_USER, "A\\B", "mid", "2");
  SetAndClose(HKEY_CURRENT_USER, "Keep", "k", "3");
  HKEY b = 0;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "A\\B", 0, KEY_ALL_ACCESS, &b), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(b, "missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValue(b, "MID"), ERROR_SUCCESS);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "A\\B", "mid").status, ERROR_FILE_NOT_FOUND);

  // With no sub-key the key's contents go and the key stays.
  ASSERT_EQ(Set(b, "again", REG_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTree(b, ""), ERROR_SUCCESS);
  DWORD subKeys = 1, values = 1;
  ASSERT_EQ(RegQueryInfoKey(b, &subKeys, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(subKeys + values, 0u);

  SetAndClose(HKEY_CURRENT_USER, "A\\B\\C", "deep", "1");
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "a"), ERROR_SUCCESS);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "A\\B\\C", "deep").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "A"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Keep", "k").data, Text("3"));

  // A handle outlives its key.
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueEx(b, "x", nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(Set(b, "x", REG_SZ, "x"), ERROR_KEY_DELETED);
  HKEY child = 0;
  EXPECT_EQ(RegCreateKeyEx(b, "Child", 0, "", 0, KEY_WRITE, nullptr, &child), ERROR_KEY_DELETED);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "A", "").status, ERROR_FILE_NOT_FOUND);
  RegCloseKey(b);
  // A damaged hive is an error that says where, and is never overwritten.
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\"x\"=hex:0g\n";
  WriteFile(UserHive(), damaged);
  const std::string expected = UserHive() + ", line 4: bad hex byte \"0g\"";
  // Every kind of call, again from the cache, or through the classes root:
  // the same error and detail.
  HKEY key = 0;
  const std::pair<const char*, std::function<LONG()>> calls[] = {
      {"open", [&] { return RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key); }},
      {"set", [] { return Set(HKEY_CURRENT_USER, "v", REG_SZ, "x"); }},
      {"classes", [&] { return RegOpenKeyEx(HKEY_CLASSES_ROOT, "", 0, KEY_READ, &key); }}};
  for (const auto& [what, call] : calls) {
    EXPECT_EQ(call(), ERROR_REGISTRY_CORRUPT) << what;
    EXPECT_EQ(RegistryFailureDetail(), expected) << what;
  }
  RegCloseKey(HKEY_CURRENT_USER);  // closing touches no hive and keeps the detail
  EXPECT_EQ(RegistryFailureDetail(), expected);
  EXPECT_EQ(ReadFile(UserHive()), damaged);

  // The other hives are not affected, the next call that succeeds leaves no
  // detail, and a repaired file is read again.
  SetAndClose(HKEY_LOCAL_MACHINE, "Software\\Fine", "v", "ok");
  EXPECT_EQ(RegistryFailureDetail(), "");
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Fine", "v").data, Text("ok"));
  WriteFile(UserHive(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software]\n\"x\"=hex:0f,01\n");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software", "x").data, "\x0f\x01");

  std::filesystem::remove(UserHive());
  std::filesystem::create_directory(UserHive());
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(RegistryFailureDetail(), UserHive() + ": " + std::strerror(EISDIR));
}

// Puts the process's umask back at the end of the scope.
struct ScopedUmask {
  mode_t old;
  ~ScopedUmask() { umask(old); }
};

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST_F(RegistryTest, HiveAndLockModesHoldWhateverTheUmaskAndEveryoneKeysOpenTheMachineHive) {
  for (mode_t mask : {mode_t{0}, mode_t{077}}) {
    ScopedUmask scoped{umask(mask)};
    TempFolder root;
    const std::string folder = root / "registry";
    ScopedEnv dir("QX6_REGISTRY_DIR", folder);
    // The user's hive and lock are private, the others readable by all.
    auto expectModes = [&](const char* when) {
      for (const char* hive : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"})
        for (const char* suffix : {".reg", ".reg.lock"})
          EXPECT_EQ(ModeOf(folder + "/" + hive + suffix), hive[5] == 'C' ? 0600u : 0644u)
              << hive << suffix << " umask " << mask << when;
    };
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
      SetAndClose(hive, "Software\\Modes", "v", "1");
    EXPECT_EQ(ModeOf(folder), 0700u) << "umask " << mask;
    expectModes("");
    // Files found with other rights are set right by the next write.
    for (auto [file, mode] : {std::pair{"/HKEY_CURRENT_USER.reg", 0666}, {"/HKEY_CURRENT_USER.reg.lock", 0644},
                              {"/HKEY_LOCAL_MACHINE.reg", 0600}, {"/HKEY_LOCAL_MACHINE.reg.lock", 0600}})
      chmod((folder + file).c_str(), mode);
    SetAndClose(HKEY_CURRENT_USER, "Software\\Modes", "v", "2");
    SetAndClose(HKEY_LOCAL_MACHINE, "Software\\Modes", "v", "2");
    expectModes(", rewritten");
  }
  // Keys for everyone are marked and open the machine's hive to all.
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, true, nullptr, false));
  SECURITY_ATTRIBUTES security;
  security.lpSecurityDescriptor = &descriptor;
  // A key that already stood stays private; the ones created with it are marked.
  SetAndClose(HKEY_CURRENT_USER, "Software\\Private", "v", "1");
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Shared\\Open", &security));
  const std::string text = ReadFile(UserHive());
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Shared]\n; everyone\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Shared\\Open]\n; everyone\n"), std::string::npos);
  EXPECT_EQ(text.find("[HKEY_CURRENT_USER\\Software]\n; everyone"), std::string::npos);
  // The user's hive stays private whatever it holds; a machine hive with an
  // everyone key, and its lock, are opened to all, and without the key it is
  // readable by all again, no more.
  EXPECT_EQ(ModeOf(UserHive()), 0600u);
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Plain"));  // a parent that is not everyone's
  RegCloseKey(Create(HKEY_LOCAL_MACHINE, "Software\\Shared", &security));
  for (const std::string& file : {MachineHive(), MachineHive() + ".lock"}) EXPECT_EQ(ModeOf(file), 0666u) << file;
  ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Shared"), ERROR_SUCCESS);
  for (const std::string& file : {MachineHive(), MachineHive() + ".lock"}) EXPECT_EQ(ModeOf(file), 0644u) << file;

  // Only the null access list can be stored.
  const int notAList = 0;
  EXPECT_FALSE(SetSecurityDescriptorDacl(&descriptor, true, reinterpret_cast<const ACL*>(&notAList), false));
  EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
}

TEST_F(RegistryTest, ALinkInPlaceOfTheLockFileIsRefusedNotFollowed) {
  TempFolder elsewhere;
  const std::string victim = elsewhere / "victim";
  WriteFile(victim, "precious");
  chmod(victim.c_str(), 0640);
  std::filesystem::create_directories(Folder());
  for (const std::string& target : {victim, elsewhere / "not-there"}) {
    std::filesystem::remove(UserHive() + ".lock");
    std::filesystem::create_symlink(target, UserHive() + ".lock");
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "v", REG_SZ, "x"), ERROR_ACCESS_DENIED) << target;
    EXPECT_EQ(RegistryFailureDetail().rfind(UserHive() + ".lock: a symbolic link", 0), 0u) << RegistryFailureDetail();
    EXPECT_FALSE(test::FileExists(UserHive()));
  }
  EXPECT_EQ(ReadFile(victim), "precious");
  EXPECT_EQ(ModeOf(victim), 0640u);
  EXPECT_FALSE(test::FileExists(elsewhere / "not-there"));
  // Reading needs no lock and still works.
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "", 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, AChangeByAnotherWriterIsSeenAMissingFolderIsMadeAndClassesOverlay) {
  SetAndClose(HKEY_CURRENT_USER, "Software\\Seen", "v", "first");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\Seen", "v").data, Text("first"));
  // Rewritten in place, same size: only the time stamps differ, and a coarse
  // clock needs a moment to move on.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::string text = ReadFile(UserHive());
  text.replace(text.find("first"), 5, "other");
  WriteFile(UserHive(), text);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\Seen", "v").data, Text("other"));
  // A folder that is not there is made by the first write only.
  const std::string nested = root_ / "a/b/registry";
  ScopedEnv dir("QX6_REGISTRY_DIR", nested);
  HKEY key = 0;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(NamesAt(HKEY_CURRENT_USER, "", true).empty());
  EXPECT_FALSE(test::FileExists(root_ / "a"));
  SetAndClose(HKEY_CURRENT_USER, "Software", "v", "1");
  EXPECT_TRUE(test::FileExists(nested + "/HKEY_CURRENT_USER.reg"));
  EXPECT_TRUE(test::FileExists(nested + "/HKEY_CURRENT_USER.reg.lock"));
  // The classes root overlays the user's classes on the machine's.
  SetAndClose(HKEY_LOCAL_MACHINE, "Software\\Classes\\Shared", "", "machine");
  SetAndClose(HKEY_LOCAL_MACHINE, "Software\\Classes\\Shared", "MachineOnly", "m");
  SetAndClose(HKEY_LOCAL_MACHINE, "Software\\Classes\\Shared\\MachineSub", "", "");
  SetAndClose(HKEY_CURRENT_USER, "Software\\Classes\\Shared", "", "user");
  SetAndClose(HKEY_CURRENT_USER, "Software\\Classes\\Shared\\UserSub", "", "");
  SetAndClose(HKEY_CURRENT_USER, "Software\\Classes\\Shared\\machinesub", "", "");
  SetAndClose(HKEY_CURRENT_USER, "Software\\Classes\\UserOnly", "", "u");

  EXPECT_EQ(Query(HKEY_CLASSES_ROOT, "Shared", "").data, Text("user"));
  EXPECT_EQ(Query(HKEY_CLASSES_ROOT, "Shared", "MachineOnly").data, Text("m"));
  HKEY shared = 0;
  ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "shared", 0, KEY_ALL_ACCESS, &shared), ERROR_SUCCESS);
  EXPECT_EQ(Names(shared), (std::vector<std::string>{"", "MachineOnly"}));
  EXPECT_EQ(Names(shared, true), (std::vector<std::string>{"machinesub", "UserSub"}));

  // A key both hold is written in the machine's; one only the user has, in
  // the user's; a new key where its parent is.
  ASSERT_EQ(Set(shared, "Added", REG_SZ, "a"), ERROR_SUCCESS);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Classes\\Shared", "Added").data, Text("a"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\Classes\\Shared", "Added").status, ERROR_FILE_NOT_FOUND);
  SetAndClose(HKEY_CLASSES_ROOT, "UserOnly", "v", "u2");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\Classes\\UserOnly", "v").data, Text("u2"));
  SetAndClose(HKEY_CLASSES_ROOT, "UserOnly\\Child", "v", "c");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\Classes\\UserOnly\\Child", "v").data, Text("c"));
  SetAndClose(HKEY_CLASSES_ROOT, "CLSID\\{X}", "", "new");
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{X}", "").data, Text("new"));

  // Deleting through the overlay removes what either hive holds.
  EXPECT_EQ(RegDeleteValue(shared, ""), ERROR_SUCCESS);
  EXPECT_EQ(Query(HKEY_CLASSES_ROOT, "Shared", "").status, ERROR_FILE_NOT_FOUND);
  RegCloseKey(shared);
  EXPECT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "Shared"), ERROR_SUCCESS);
  EXPECT_EQ(Query(HKEY_CLASSES_ROOT, "Shared", "MachineOnly").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, "Software\\Classes\\Shared\\UserSub", "").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Query(HKEY_CLASSES_ROOT, "UserOnly", "").data, Text("u"));
}

TEST_F(RegistryTest, AReadOnlyHiveDeniesWrites) {
  SetAndClose(HKEY_CURRENT_USER, "Software\\Locked", "v", "kept");
  chmod(root_.Path().c_str(), 0755);
  const std::string before = ReadFile(UserHive());
  // As a user who does not own the hives (nobody when the tests run as root).
  chmod(Folder().c_str(), 0555);
  chmod(UserHive().c_str(), 0444);
  const int verdict = RunInChild([] {
    if (Query(HKEY_CURRENT_USER, "Software\\Locked", "v").data != Text("kept")) return 1;
    HKEY key = 0;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Locked", 0, KEY_READ, &key) != 0) return 2;
    REGSAM granted = 0;
    if (RegGetKeyAccess(key, &granted) != 0 || (granted & KEY_READ) != KEY_READ || (granted & KEY_SET_VALUE)) return 3;
    RegCloseKey(key);
    if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Locked", 0, KEY_WRITE, &key) != ERROR_ACCESS_DENIED) return 4;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\New", 0, "", 0, KEY_WRITE, nullptr, &key) != ERROR_ACCESS_DENIED)
      return 5;
    if (Set(HKEY_CURRENT_USER, "v", REG_SZ, "x") != ERROR_ACCESS_DENIED) return 6;
    if (RegDeleteTree(HKEY_CURRENT_USER, "Software") != ERROR_ACCESS_DENIED) return 7;
    return 0;
  }, true);
  chmod(Folder().c_str(), 0755);
  EXPECT_EQ(verdict, 0);
  EXPECT_EQ(ReadFile(UserHive()), before);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceKeepEveryValueAndAKilledWriterLeavesTheHiveWhole) {
  constexpr int Writes = 200;
  auto writer = [](char tag) {
    for (int i = 0; i < Writes; ++i)
      if (Put(HKEY_CURRENT_USER, "Software\\Race", tag + std::to_string(i), REG_SZ, std::to_string(i)) != 0) return 1;
    return 0;
  };
  const pid_t a = Spawn([&] { return writer('a'); }), b = Spawn([&] { return writer('b'); });
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);

  auto hive = RegistryHive::Parse(ReadFile(UserHive()), "HKEY_CURRENT_USER");
  ASSERT_TRUE(hive);
  const RegistryKeyNode* race = hive->Find({"Software", "Race"});
  ASSERT_TRUE(race);
  EXPECT_EQ(race->Values().size(), 2u * Writes);
  for (const char* last : {"a199", "b199"}) EXPECT_TRUE(race->FindValue(last)) << last;
  // A writer killed in the middle of a write leaves the hive whole.
  SetAndClose(HKEY_CURRENT_USER, "Software\\Crash", "start", "1");
  for (int round = 0; round < 4; ++round) {
    const pid_t pid = Spawn([] {
      HKEY key = 0;
      if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Crash", 0, KEY_SET_VALUE, &key) != 0) return 1;
      for (int i = 0;; ++i) Set(key, "v" + std::to_string(i % 40), REG_SZ, std::string(500 + i % 97, 'x'));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(15 + 11 * round));
    kill(pid, SIGKILL);
    Wait(pid);
    auto hive = RegistryHive::Parse(ReadFile(UserHive()), "HKEY_CURRENT_USER");
    ASSERT_TRUE(hive) << "round " << round;
    const RegistryKeyNode* crash = hive->Find({"Software", "Crash"});
    EXPECT_TRUE(crash && crash->FindValue("start")) << "round " << round;
  }
  // The next write clears the temporary files the killed writers left.
  SetAndClose(HKEY_CURRENT_USER, "Software\\Crash", "after", "1");
  ExpectNoTemporaryFiles();
}

TEST(RegistryLocation, HivesLiveInTheXdgConfigFolderAndTheSystemFolderAndSystemTextsFollowWindows) {
  TempFolder root;
  ScopedEnv noDir("QX6_REGISTRY_DIR", nullptr);
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", root / "config");
    EXPECT_EQ(HivePath(HiveId::CurrentUser), root / "config/quorvex/registry/HKEY_CURRENT_USER.reg");
    SetAndClose(HKEY_CURRENT_USER, "Software\\Where", "v", "here");
    EXPECT_TRUE(test::FileExists(root / "config/quorvex/registry/HKEY_CURRENT_USER.reg"));
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/is/ignored");
    ScopedEnv home("HOME", root / "home");
    EXPECT_EQ(HivePath(HiveId::CurrentUser), root / "home/.config/quorvex/registry/HKEY_CURRENT_USER.reg");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(HivePath(HiveId::CurrentUser), "");
    HKEY key = 0;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "v", REG_SZ, "x"), ERROR_PATH_NOT_FOUND);
  }
  EXPECT_EQ(HivePath(HiveId::LocalMachine), "/var/lib/quorvex/registry/HKEY_LOCAL_MACHINE.reg");
  ScopedEnv dir("QX6_REGISTRY_DIR", root / "both/");
  EXPECT_EQ(HivePath(HiveId::CurrentUser), root / "both/HKEY_CURRENT_USER.reg");
  EXPECT_EQ(HivePath(HiveId::LocalMachine), root / "both/HKEY_LOCAL_MACHINE.reg");
  // System messages have the Windows wording, for known codes only.
  EXPECT_EQ(FormatSystemMessage(2), "The system cannot find the file specified.");
  EXPECT_EQ(FormatSystemMessage(259), "No more data is available.");
  EXPECT_EQ(FormatSystemMessage(1015)->rfind("The registry is corrupted.", 0), 0u);
  EXPECT_FALSE(FormatSystemMessage(9999));
  EXPECT_FALSE(FormatSystemMessage(0xFFFFFFFFu));
  // Only set variables are expanded; an unset name's closing "%" may open the next reference.
  ScopedEnv a("QX6_TEST_A", "alpha");
  ScopedEnv unset("QX6_TEST_UNSET", nullptr);
  const std::pair<const char*, const char*> cases[] = {
      {"%QX6_TEST_A%/x", "alpha/x"}, {"%qx6_test_a%", "alpha"}, {"%QX6_TEST_UNSET%", "%QX6_TEST_UNSET%"},
      {"100% and %QX6_TEST_A%", "100% and alpha"}, {"%QX6_TEST_UNSET%QX6_TEST_A%", "%QX6_TEST_UNSETalpha"},
      {"%%QX6_TEST_A%", "%alpha"}, {"50%", "50%"}};
  for (const auto& [text, expanded] : cases) EXPECT_EQ(ExpandEnvironmentStrings(text), expanded) << text;
}

// The hive file on its own.
std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

// Values as "name type data" lines, for one comparison that shows what differs.
std::string Show(const std::vector<RegistryValue>& values) {
  std::string out;
  for (const RegistryValue& v : values) out += v.name + " " + std::to_string(v.type) + " " + v.data + "\n";
  return out;
}

std::unique_ptr<RegistryHive> ParseUser(std::string_view text, std::string* problem = nullptr) {
  return RegistryHive::Parse(text, "HKEY_CURRENT_USER", problem);
}

TEST(RegistryHive, EveryValueTypeSurvivesTheFileInTheFormsRegeditWritesAndChangesAreReported) {
  RegistryHive hive("HKEY_CURRENT_USER");
  RegistryKeyNode& key = hive.Root().AddSubkey("Software").AddSubkey("Quorvex 6 \xC3\xA9t\xC3\xA9");
  key.SetEveryone(true);
  std::string longBinary;
  for (int i = 0; i < 300; ++i) longBinary += static_cast<char>(i & 0xFF);
  const std::vector<RegistryValue> values = {
      {"", REG_SZ, Lit("default\0")}, {"Plain", REG_SZ, Lit("C:\\Path \"quoted\" \xE2\x82\xAC\0")},
      {"Two lines", REG_SZ, Lit("a\r\nb\0")}, {"No terminator", REG_SZ, "abc"}, {"Empty", REG_SZ, ""},
      {"Expand", REG_EXPAND_SZ, Lit("%HOME%/x\0")}, {"Binary", REG_BINARY, longBinary},
      {"Number", REG_DWORD, Lit("\x09\x04\x00\x00")}, {"Short number", REG_DWORD, Lit("\x01\x02")},
      {"Big endian", REG_DWORD_BIG_ENDIAN, Lit("\x00\x00\x04\x09")},
      {"List", REG_MULTI_SZ, Lit("one\0two\0\xF0\x9F\x98\x80\0\0")},
      {"Quad", REG_QWORD, Lit("\x01\x02\x03\x04\x05\x06\x07\x08")}, {"None", REG_NONE, ""},
      {"Odd type", 0x12345, "xyz"}, {"Name with \\ and \"", REG_SZ, Lit("v\0")}};
  for (const RegistryValue& v : values) key.SetValue(v.name, v.type, v.data);
  hive.Root().AddSubkey("Empty key");

  const std::string text = hive.Serialize();
  std::string problem;
  auto back = ParseUser(text, &problem);
  ASSERT_TRUE(back) << problem << "\n" << text;
  const RegistryKeyNode* found = back->Find({"software", "QUORVEX 6 \xC3\xA9T\xC3\xA9"});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Name(), "Quorvex 6 \xC3\xA9t\xC3\xA9");
  EXPECT_TRUE(found->Everyone());
  EXPECT_EQ(Show(found->Values()), Show(values));
  EXPECT_TRUE(back->Find({"Empty key"}));
  EXPECT_FALSE(back->Find({"Software"})->Everyone());
  EXPECT_EQ(back->Serialize(), text);
  // Long data are wrapped as regedit wraps them.
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u);
  RegistryHive machine("HKEY_LOCAL_MACHINE");
  RegistryKeyNode& app = machine.Root().AddSubkey("Software").AddSubkey("App");
  app.SetValue("Text", REG_SZ, Lit("C:\\x\0"));
  app.SetValue("Count", REG_DWORD, Lit("\x2A\0\0\0"));
  app.SetValue("", REG_BINARY, "\x01\xFF");
  EXPECT_EQ(machine.Serialize(),
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software]\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"Text\"=\"C:\\\\x\"\n\"Count\"=dword:0000002a\n@=hex:01,ff\n\n");
  // Case-insensitive paths and names are pinned through the registry API; here,
  // what only the tree tells: whether a call changed anything, and the order.
  RegistryKeyNode& mixed = machine.Root().AddSubkey("MixedCase");
  bool created = true;
  EXPECT_EQ(&machine.Root().AddSubkey("MIXEDCASE", &created), &mixed);
  EXPECT_FALSE(created);
  EXPECT_TRUE(mixed.SetValue("Value", REG_SZ, "1"));
  EXPECT_FALSE(mixed.SetValue("VALUE", REG_SZ, "1"));
  EXPECT_TRUE(mixed.SetValue("VALUE", REG_SZ, "2"));
  EXPECT_EQ(mixed.Values().at(0).name, "Value");
  machine.Root().AddSubkey("b");
  machine.Root().AddSubkey("A");
  std::string order;
  for (size_t i = 0; i < machine.Root().SubkeyCount(); ++i) order += machine.Root().SubkeyAt(i).Name() + " ";
  EXPECT_EQ(order, "A b MixedCase Software ");
}

// The value forms themselves come back in the round trip above; here, what
// regedit's own export adds: UTF-16 with a byte order mark, CR LF, comments.
TEST(RegistryHive, ReadsARegeditExportWithDeletionsAndAbbreviatedRoots) {
  const std::u16string_view text =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quorvex 6]\r\n"
      u"\"LocaleId\"=dword:00000407\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Software\\Quorvex 6\\Font]\r\n"
      u"\"Path\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,\\\r\n"
      u"  00,45,00,25,00,5c,00,78,00,00,00\r\n";
  std::string problem;
  auto hive = ParseUser(Utf16Le(text), &problem);
  ASSERT_TRUE(hive) << problem;
  const RegistryKeyNode* app = hive->Find({"Software", "Quorvex 6"});
  ASSERT_TRUE(app && app->SubkeyCount() == 1);
  EXPECT_EQ(Show(app->Values()) + Show(app->SubkeyAt(0).Values()),
            "LocaleId 4 " + Lit("\x07\x04\0\0") + "\nPath 2 " + Lit("%USERPROFILE%\\x\0") + "\n");

  // Deletions and abbreviated roots are applied.
  hive = ParseUser(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "[HKCU\\A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
      "[HKEY_CURRENT_USER\\A\\B]\n\"x\"=-\n[HKEY_CURRENT_USER\\C]\n[-HKEY_CURRENT_USER\\C]\n"
      "[HKEY_CURRENT_USER]\n@=dword:1\n");
  ASSERT_TRUE(hive);
  EXPECT_FALSE(hive->Find({"A", "B"})->FindValue("x"));
  EXPECT_TRUE(hive->Find({"a", "b"})->FindValue("Y"));
  EXPECT_FALSE(hive->Find({"C"}));
  EXPECT_EQ(hive->Root().FindValue("")->data, Lit("\1\0\0\0"));
}

// "[HKEY_CURRENT_USER\k\k...]" with `depth` levels.
std::string DeepKeyLine(size_t depth, std::string_view prefix = "") {
  std::string line = "[" + std::string(prefix) + "HKEY_CURRENT_USER";
  line.reserve(line.size() + depth * 2 + 2);
  for (size_t i = 0; i < depth; ++i) line += "\\k";
  return line + "]\n";
}

TEST(RegistryHive, ReadsEmptyTextRejectsDamagedTextAndNestsKeysAtMost512LevelsWithoutRecursion) {
  for (std::string_view text : {"", "  \n\r\n\t", "Windows Registry Editor Version 5.00\r\n"}) {
    auto hive = ParseUser(text);
    EXPECT_TRUE(hive && hive->Root().SubkeyCount() == 0) << text;
  }
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string key = header + "[HKEY_CURRENT_USER\\A]\n";
  const std::vector<std::string> damaged = {
      "[HKEY_CURRENT_USER\\A]\n", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n",  // no header, another header
      header + "\"x\"=\"before any key\"\n", header + "[HKEY_LOCAL_MACHINE\\A]\n",  // another root
      header + "[HKEY_CURRENT_USER\\A\n", header + "[HKEY_CURRENT_USER\\A\\\\B]\n",  // no bracket, empty level
      key + "\"x\"=\"open\n", key + "\"x\"=\"a\" trailing\n", key + "\"x\"=hex:123\n",
      key + "\"x\"=hex(2):41,00,42\n",  // odd UTF-16
      key + "\"x\"=hex(2:41,00\n", key + "\"x\"=hex:01,\\\n",  // continues past the end
      key + "\"x\"=dword:123456789\n", key + "\"x\"=qword:1\n", key + "garbage\n",
      key + "\"x\"=\"\xC3\x28\"\n",  // not UTF-8
      Lit("\xFF\xFE") + Utf16Le(u"W") + "x"};  // odd UTF-16 file
  for (const std::string& text : damaged) {
    std::string problem;
    EXPECT_FALSE(ParseUser(text, &problem)) << text;
    EXPECT_FALSE(problem.empty());
  }
  std::string problem;
  ParseUser(header + "\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:zz\n", &problem);
  EXPECT_EQ(problem, "line 4: bad hex byte \"zz\"");
  ParseUser(header + "[HKEY_CURRENT_USER\\A]\n\n\"x\"=\"\xC3\x28\"\n", &problem);
  EXPECT_EQ(problem.rfind("line 4: the text is not UTF-8", 0), 0u) << problem;
  // However long the name at fault, the message stays short.
  ParseUser(header + "[HKEY_CURRENT_USER\\A\x01" + std::string(100000, 'n') + "]\n", &problem);
  EXPECT_LT(problem.size(), 200u);
  auto deepest = ParseUser(header + "\n" + DeepKeyLine(MaxKeyDepth) + "\"v\"=dword:00000001\n", &problem);
  ASSERT_TRUE(deepest) << problem;
  auto again = ParseUser(deepest->Serialize(), &problem);
  ASSERT_TRUE(again) << problem;
  EXPECT_EQ(again->Serialize(), deepest->Serialize());

  for (size_t depth : {MaxKeyDepth + 1, size_t{100000}}) {
    for (std::string_view prefix : {"", "-"}) {
      EXPECT_FALSE(ParseUser(header + "\n" + DeepKeyLine(depth, prefix), &problem)) << depth;
      EXPECT_EQ(problem, "line 3: the key is nested deeper than 512 levels");
    }
  }
  // A tree of any depth is walked and freed without recursion, deeper than
  // any stack would take one frame per level for.
  auto hive = std::make_unique<RegistryHive>("HKEY_CURRENT_USER");
  RegistryKeyNode* node = &hive->Root();
  for (int i = 0; i < 200000; ++i) node = &node->AddSubkey("k");
  EXPECT_FALSE(hive->AnyEveryone());
  node->SetEveryone(true);
  EXPECT_TRUE(hive->AnyEveryone());
  hive->Root().AddSubkey("k").AddSubkey("k").RemoveSubkey("k");
  EXPECT_EQ(hive->Root().SubkeyAt(0).SubkeyAt(0).SubkeyCount(), 0u);
  hive.reset();
}

}  // namespace
}  // namespace qx6::platform
