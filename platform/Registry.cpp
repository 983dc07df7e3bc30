#include "platform/Registry.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/RegistryHive.h"
#include "platform/RegistryStore.h"
#include "runtime/Strings.h"

namespace qx6::platform {

namespace {

enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users };

constexpr REGSAM ReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | READ_CONTROL;
constexpr REGSAM WriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr REGSAM AllRights = ~REGSAM{0};

struct KeyRef {
  Root root = Root::CurrentUser;
  KeyPath path;
  REGSAM granted = AllRights;
  bool predefined = false;
};

// HKEY_CLASSES_ROOT is the machine's Software\Classes overlaid by the user's.
const KeyPath ClassesPrefix = {"Software", "Classes"};

struct Layer {
  HiveId hive;
  KeyPath path;
};

std::vector<Layer> Layers(Root root, const KeyPath& path) {
  auto classes = [&](HiveId hive) {
    KeyPath full = ClassesPrefix;
    full.insert(full.end(), path.begin(), path.end());
    return Layer{hive, std::move(full)};
  };
  switch (root) {
    case Root::ClassesRoot: return {classes(HiveId::CurrentUser), classes(HiveId::LocalMachine)};
    case Root::CurrentUser: return {Layer{HiveId::CurrentUser, path}};
    case Root::LocalMachine: return {Layer{HiveId::LocalMachine, path}};
    case Root::Users: return {Layer{HiveId::Users, path}};
  }
  return {};
}

std::mutex handleMutex;
std::unordered_map<HKEY, KeyRef>& Handles() {
  static std::unordered_map<HKEY, KeyRef> handles;
  return handles;
}
HKEY nextHandle = 0x100;

// The keys that stand in for predefined ones (RegOverridePredefKey), for
// the whole process as on Windows.
std::mutex overrideMutex;
std::unordered_map<HKEY, KeyRef>& Overrides() {
  static std::unordered_map<HKEY, KeyRef> overrides;
  return overrides;
}

LONG Resolve(HKEY key, KeyRef& out) {
  if (key >= HKEY_CLASSES_ROOT && key <= HKEY_USERS) {
    std::lock_guard guard(overrideMutex);
    if (auto it = Overrides().find(key); it != Overrides().end()) {
      out = it->second;
      return ERROR_SUCCESS;
    }
  }
  switch (key) {
    case HKEY_CLASSES_ROOT: out = KeyRef{Root::ClassesRoot, {}, AllRights, true}; return ERROR_SUCCESS;
    case HKEY_CURRENT_USER: out = KeyRef{Root::CurrentUser, {}, AllRights, true}; return ERROR_SUCCESS;
    case HKEY_LOCAL_MACHINE: out = KeyRef{Root::LocalMachine, {}, AllRights, true}; return ERROR_SUCCESS;
    case HKEY_USERS: out = KeyRef{Root::Users, {}, AllRights, true}; return ERROR_SUCCESS;
    default: break;
  }
  std::lock_guard guard(handleMutex);
  auto it = Handles().find(key);
  if (it == Handles().end()) return ERROR_INVALID_HANDLE;
  out = it->second;
  return ERROR_SUCCESS;
}

HKEY NewHandle(KeyRef ref) {
  std::lock_guard guard(handleMutex);
  auto& handles = Handles();
  HKEY handle;
  do {
    handle = nextHandle++;
    if (nextHandle >= HKEY_CLASSES_ROOT) nextHandle = 0x100;
  } while (handles.count(handle));
  handles.emplace(handle, std::move(ref));
  return handle;
}

LONG SplitSubKey(std::string_view text, KeyPath& out) {
  out.clear();
  if (text.empty()) return ERROR_SUCCESS;
  if (text.front() == '\\') return ERROR_BAD_PATHNAME;
  if (text.back() == '\\') text.remove_suffix(1);
  while (true) {
    size_t slash = text.find('\\');
    std::string_view part = text.substr(0, slash);
    if (part.empty()) return ERROR_BAD_PATHNAME;
    if (CharacterCount(part) > MaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    if (!IsValidKeyName(part)) return ERROR_BADKEY;
    out.emplace_back(part);
    if (slash == std::string_view::npos) return ERROR_SUCCESS;
    text.remove_prefix(slash + 1);
  }
}

KeyPath Joined(const KeyPath& a, const KeyPath& b) {
  KeyPath r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

// The key as the hives hold it now, the user's layer first.
struct View {
  LONG status = ERROR_SUCCESS;
  bool exists = false;
  std::vector<std::shared_ptr<const RegistryHive>> hives;
  std::vector<const RegistryKeyNode*> nodes;
};

View ReadKey(Root root, const KeyPath& path) {
  View view;
  for (const Layer& layer : Layers(root, path)) {
    HiveSnapshot snapshot = ReadHive(layer.hive);
    if (snapshot.status != ERROR_SUCCESS) {
      view.status = snapshot.status;
      return view;
    }
    if (const RegistryKeyNode* node = snapshot.hive->Find(layer.path)) view.nodes.push_back(node);
    view.hives.push_back(std::move(snapshot.hive));
  }
  // A root always exists, even the classes root before anything is in it.
  view.exists = path.empty() || !view.nodes.empty();
  return view;
}

// Reads the key behind an open handle; a key deleted since it was opened
// is ERROR_KEY_DELETED.
LONG ReadOpenKey(const KeyRef& ref, View& view) {
  view = ReadKey(ref.root, ref.path);
  if (view.status != ERROR_SUCCESS) return view.status;
  return view.exists ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Where a change to the key goes: its own hive, or for the classes root the
// machine's unless the key, or its nearest existing parent, is only the
// user's.
Layer WriteLayer(Root root, const KeyPath& path) {
  std::vector<Layer> layers = Layers(root, path);
  if (layers.size() == 1) return layers.front();
  HiveSnapshot user = ReadHive(HiveId::CurrentUser);
  HiveSnapshot machine = ReadHive(HiveId::LocalMachine);
  for (size_t depth = path.size() + 1; depth-- > 0;) {
    KeyPath probe = ClassesPrefix;
    probe.insert(probe.end(), path.begin(), path.begin() + static_cast<std::ptrdiff_t>(depth));
    if (machine.hive && machine.hive->Find(probe)) return layers[1];
    if (user.hive && user.hive->Find(probe)) return layers[0];
  }
  return layers[1];
}

REGSAM MapGeneric(REGSAM sam) {
  if (sam & GENERIC_READ) sam |= KEY_READ;
  if (sam & GENERIC_EXECUTE) sam |= KEY_EXECUTE;
  if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
  if (sam & GENERIC_ALL) sam |= KEY_ALL_ACCESS;
  return sam & ~(GENERIC_READ | GENERIC_EXECUTE | GENERIC_WRITE | GENERIC_ALL | KEY_WOW64_32KEY | KEY_WOW64_64KEY);
}

// What a handle opened with `sam` may do; ERROR_ACCESS_DENIED when the
// hive does not allow it. The key must exist and be readable already.
LONG Grant(Root root, const KeyPath& path, REGSAM sam, REGSAM& granted) {
  sam = MapGeneric(sam);
  if (!(sam & (WriteRights | MAXIMUM_ALLOWED))) {
    granted = sam;
    return ERROR_SUCCESS;
  }
  const bool writable = CheckHiveWritable(WriteLayer(root, path).hive) == ERROR_SUCCESS;
  if (sam & MAXIMUM_ALLOWED) {
    granted = (sam & ~MAXIMUM_ALLOWED) | ReadRights | (writable ? WriteRights : 0);
    return ERROR_SUCCESS;
  }
  if ((sam & WriteRights) && !writable) return ERROR_ACCESS_DENIED;
  granted = sam;
  return ERROR_SUCCESS;
}

LONG CopyOut(const RegistryValue& value, DWORD* type, BYTE* data, DWORD* cbData) {
  if (type) *type = value.type;
  if (!cbData) return ERROR_SUCCESS;
  const DWORD size = static_cast<DWORD>(value.data.size());
  if (data) {
    if (*cbData < size) {
      *cbData = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, value.data.data(), size);
  }
  *cbData = size;
  return ERROR_SUCCESS;
}

// Values seen through the layers: the user's first, then those of the
// machine's key that the user's does not have.
std::vector<const RegistryValue*> MergedValues(const View& view) {
  std::vector<const RegistryValue*> values;
  for (size_t layer = 0; layer < view.nodes.size(); ++layer) {
    for (const RegistryValue& value : view.nodes[layer]->Values()) {
      bool shadowed = false;
      for (size_t upper = 0; upper < layer && !shadowed; ++upper)
        shadowed = view.nodes[upper]->FindValue(value.name) != nullptr;
      if (!shadowed) values.push_back(&value);
    }
  }
  return values;
}

std::vector<const RegistryKeyNode*> MergedSubkeys(const View& view) {
  std::vector<const RegistryKeyNode*> keys;
  for (const RegistryKeyNode* node : view.nodes)
    for (size_t i = 0; i < node->SubkeyCount(); ++i) keys.push_back(&node->SubkeyAt(i));
  if (view.nodes.size() > 1) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const RegistryKeyNode* a, const RegistryKeyNode* b) { return a->FoldedName() < b->FoldedName(); });
    keys.erase(std::unique(keys.begin(), keys.end(),
                           [](const RegistryKeyNode* a, const RegistryKeyNode* b) { return a->FoldedName() == b->FoldedName(); }),
               keys.end());
  }
  return keys;
}

// The layer's key as its hive holds it now (null when it has none).
const RegistryKeyNode* LayerNode(const Layer& layer, std::shared_ptr<const RegistryHive>& keepAlive) {
  HiveSnapshot snapshot = ReadHive(layer.hive);
  if (snapshot.status != ERROR_SUCCESS) return nullptr;
  keepAlive = std::move(snapshot.hive);
  return keepAlive->Find(layer.path);
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The node of `path` in a hive being changed; the root levels of the
// classes branch are made when missing.
RegistryKeyNode* NodeForChange(RegistryHive& hive, Root root, const KeyPath& layerPath) {
  if (root == Root::ClassesRoot && layerPath.size() == ClassesPrefix.size()) {
    RegistryKeyNode* node = &hive.Root();
    for (const std::string& part : layerPath) node = &node->AddSubkey(part);
    return node;
  }
  return hive.Find(layerPath);
}

}  // namespace

bool InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision) {
  if (!descriptor || revision != SECURITY_DESCRIPTOR_REVISION) return false;
  *descriptor = SECURITY_DESCRIPTOR{static_cast<BYTE>(revision), false, nullptr};
  return true;
}

bool SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, bool daclPresent, const ACL* dacl, bool) {
  if (!descriptor || descriptor->revision != SECURITY_DESCRIPTOR_REVISION) return false;
  if (daclPresent && dacl) return false;
  descriptor->daclPresent = daclPresent;
  descriptor->dacl = nullptr;
  return true;
}

LONG RegOpenKeyEx(HKEY key, std::string_view subKey, DWORD, REGSAM samDesired, HKEY* result) {
  ClearFailureDetail();
  if (!result) return ERROR_INVALID_PARAMETER;
  KeyRef base;
  if (LONG status = Resolve(key, base)) return status;
  KeyPath sub;
  if (LONG status = SplitSubKey(subKey, sub)) return status;
  KeyRef ref{base.root, Joined(base.path, sub), 0, false};
  View view = ReadKey(ref.root, ref.path);
  if (view.status != ERROR_SUCCESS) return view.status;
  if (!view.exists) return sub.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
  if (LONG status = Grant(ref.root, ref.path, samDesired, ref.granted)) return status;
  *result = NewHandle(std::move(ref));
  return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY key, std::string_view subKey, DWORD reserved, std::string_view, DWORD options,
                    REGSAM samDesired, const SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition) {
  ClearFailureDetail();
  if (!result || reserved != 0) return ERROR_INVALID_PARAMETER;
  if (options & REG_OPTION_VOLATILE) return ERROR_INVALID_PARAMETER;
  const SECURITY_DESCRIPTOR* descriptor = security ? security->lpSecurityDescriptor : nullptr;
  const bool everyone = descriptor && descriptor->daclPresent && !descriptor->dacl;
  KeyRef base;
  if (LONG status = Resolve(key, base)) return status;
  KeyPath sub;
  if (LONG status = SplitSubKey(subKey, sub)) return status;
  KeyRef ref{base.root, Joined(base.path, sub), 0, false};

  View view = ReadKey(ref.root, ref.path);
  if (view.status != ERROR_SUCCESS) return view.status;
  bool created = false;
  if (!view.exists) {
    if (!(base.granted & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    const Layer target = WriteLayer(ref.root, ref.path);
    if (target.path.size() > MaxKeyDepth) {
      SetFailureDetail("a key " + std::to_string(target.path.size()) + " levels below " + HiveRootName(target.hive) +
                       " is refused: keys nest at most " + std::to_string(MaxKeyDepth) + " levels deep");
      return ERROR_BADKEY;
    }
    const size_t prefix = target.path.size() - sub.size();
    const KeyPath basePath(target.path.begin(), target.path.begin() + static_cast<std::ptrdiff_t>(prefix));
    LONG status = ChangeHive(target.hive, [&](RegistryHive& hive, bool& changed) -> LONG {
      if (!base.predefined && ref.root != Root::ClassesRoot && !hive.Find(basePath)) return ERROR_KEY_DELETED;
      RegistryKeyNode* node = &hive.Root();
      for (size_t i = 0; i < target.path.size(); ++i) {
        bool made = false;
        node = &node->AddSubkey(target.path[i], &made);
        if (made && i >= prefix && everyone) node->SetEveryone(true);
        created = created || made;
      }
      changed = created;
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
  }
  if (LONG status = Grant(ref.root, ref.path, samDesired, ref.granted)) return status;
  *result = NewHandle(std::move(ref));
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegOverridePredefKey(HKEY key, HKEY newKey) {
  ClearFailureDetail();
  if (key < HKEY_CLASSES_ROOT || key > HKEY_USERS) return ERROR_INVALID_HANDLE;
  if (newKey == 0) {
    std::lock_guard guard(overrideMutex);
    Overrides().erase(key);
    return ERROR_SUCCESS;
  }
  KeyRef ref;
  if (LONG status = Resolve(newKey, ref)) return status;
  std::lock_guard guard(overrideMutex);
  Overrides().insert_or_assign(key, std::move(ref));
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key >= HKEY_CLASSES_ROOT && key <= HKEY_USERS) return ERROR_SUCCESS;
  std::lock_guard guard(handleMutex);
  return Handles().erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, BYTE* data, DWORD* cbData) {
  ClearFailureDetail();
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  if (!(ref.granted & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (data && !cbData) return ERROR_INVALID_PARAMETER;
  View view;
  if (LONG status = ReadOpenKey(ref, view)) return status;
  for (const RegistryKeyNode* node : view.nodes)
    if (const RegistryValue* value = node->FindValue(valueName)) return CopyOut(*value, type, data, cbData);
  return ERROR_FILE_NOT_FOUND;
}

LONG RegSetValueEx(HKEY key, std::string_view valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD cbData) {
  ClearFailureDetail();
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  if (!(ref.granted & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (reserved != 0 || (!data && cbData) || !IsValidValueName(valueName)) return ERROR_INVALID_PARAMETER;
  std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), cbData) : std::string();
  if (IsStringType(type)) {
    if (!IsValidUtf8(bytes)) return ERROR_INVALID_PARAMETER;
    if (type != REG_MULTI_SZ && (bytes.empty() || bytes.back() != '\0')) bytes += '\0';
  }
  const Layer target = WriteLayer(ref.root, ref.path);
  return ChangeHive(target.hive, [&](RegistryHive& hive, bool& changed) -> LONG {
    RegistryKeyNode* node = NodeForChange(hive, ref.root, target.path);
    if (!node) return ERROR_KEY_DELETED;
    changed = node->SetValue(valueName, type, std::move(bytes));
    return ERROR_SUCCESS;
  });
}

LONG RegDeleteValue(HKEY key, std::string_view valueName) {
  ClearFailureDetail();
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  if (!(ref.granted & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  View view;
  if (LONG status = ReadOpenKey(ref, view)) return status;
  bool found = false;
  // Removed from every layer that holds it, so that the merged view loses it.
  for (const Layer& layer : Layers(ref.root, ref.path)) {
    std::shared_ptr<const RegistryHive> hold;
    const RegistryKeyNode* seen = LayerNode(layer, hold);
    if (!seen || !seen->FindValue(valueName)) continue;
    LONG status = ChangeHive(layer.hive, [&](RegistryHive& hive, bool& changed) -> LONG {
      RegistryKeyNode* node = hive.Find(layer.path);
      changed = node && node->DeleteValue(valueName);
      found = found || changed;
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
  }
  return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteTree(HKEY key, std::string_view subKey) {
  ClearFailureDetail();
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  if (!(ref.granted & DELETE)) return ERROR_ACCESS_DENIED;
  KeyPath sub;
  if (LONG status = SplitSubKey(subKey, sub)) return status;
  const KeyPath path = Joined(ref.path, sub);
  View view = ReadKey(ref.root, path);
  if (view.status != ERROR_SUCCESS) return view.status;
  if (!view.exists) return sub.empty() ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
  for (const Layer& layer : Layers(ref.root, path)) {
    std::shared_ptr<const RegistryHive> hold;
    if (!LayerNode(layer, hold)) continue;
    LONG status = ChangeHive(layer.hive, [&](RegistryHive& hive, bool& changed) -> LONG {
      RegistryKeyNode* node = hive.Find(layer.path);
      if (!node) return ERROR_SUCCESS;
      if (sub.empty()) {
        changed = !node->Values().empty() || node->SubkeyCount() > 0;
        node->Clear();
      } else {
        KeyPath parentPath(layer.path.begin(), layer.path.end() - 1);
        changed = hive.Find(parentPath)->RemoveSubkey(layer.path.back());
      }
      return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

LONG RegEnumValue(HKEY key, DWORD index, std::string* valueName, DWORD* type, BYTE* data, DWORD* cbData) {
  ClearFailureDetail();
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  if (!(ref.granted & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!valueName || (data && !cbData)) return ERROR_INVALID_PARAMETER;
  View view;
  if (LONG status = ReadOpenKey(ref, view)) return status;
  const std::vector<const RegistryValue*> values = MergedValues(view);
  if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
  *valueName = values[index]->name;
  return CopyOut(*values[index], type, data, cbData);
}

LONG RegEnumKeyEx(HKEY key, DWORD index, std::string* name) {
  ClearFailureDetail();
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  if (!(ref.granted & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  if (!name) return ERROR_INVALID_PARAMETER;
  View view;
  if (LONG status = ReadOpenKey(ref, view)) return status;
  const std::vector<const RegistryKeyNode*> keys = MergedSubkeys(view);
  if (index >= keys.size()) return ERROR_NO_MORE_ITEMS;
  *name = keys[index]->Name();
  return ERROR_SUCCESS;
}

LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values, DWORD* maxValueNameLength,
                     DWORD* maxValueLength) {
  ClearFailureDetail();
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  if (!(ref.granted & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  View view;
  if (LONG status = ReadOpenKey(ref, view)) return status;
  const auto keys = MergedSubkeys(view);
  const auto merged = MergedValues(view);
  DWORD longestKey = 0, longestName = 0, longestData = 0;
  for (const RegistryKeyNode* k : keys) longestKey = std::max(longestKey, static_cast<DWORD>(CharacterCount(k->Name())));
  for (const RegistryValue* v : merged) {
    longestName = std::max(longestName, static_cast<DWORD>(CharacterCount(v->name)));
    longestData = std::max(longestData, static_cast<DWORD>(v->data.size()));
  }
  if (subKeys) *subKeys = static_cast<DWORD>(keys.size());
  if (maxSubKeyLength) *maxSubKeyLength = longestKey;
  if (values) *values = static_cast<DWORD>(merged.size());
  if (maxValueNameLength) *maxValueNameLength = longestName;
  if (maxValueLength) *maxValueLength = longestData;
  return ERROR_SUCCESS;
}

std::string RegistryFailureDetail() { return FailureDetail(); }

LONG RegGetKeyAccess(HKEY key, REGSAM* granted) {
  ClearFailureDetail();
  if (!granted) return ERROR_INVALID_PARAMETER;
  KeyRef ref;
  if (LONG status = Resolve(key, ref)) return status;
  View view;
  if (LONG status = ReadOpenKey(ref, view)) return status;
  const bool writable = CheckHiveWritable(WriteLayer(ref.root, ref.path).hive) == ERROR_SUCCESS;
  *granted = ReadRights | (writable ? WriteRights : 0);
  return ERROR_SUCCESS;
}

}  // namespace qx6::platform
