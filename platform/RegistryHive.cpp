#include "platform/RegistryHive.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "runtime/Strings.h"

namespace qx6::platform {

namespace {

constexpr std::string_view Header = "Windows Registry Editor Version 5.00";
constexpr uint32_t TypeString = 1, TypeExpandString = 2, TypeBinary = 3, TypeDword = 4, TypeMultiString = 7;

bool IsStringType(uint32_t type) {
  return type == TypeString || type == TypeExpandString || type == TypeMultiString;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool StartsWithText(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && Strings::EqualsText(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads 1 to `maxDigits` hex digits making up all of `s`.
bool ParseHexNumber(std::string_view s, size_t maxDigits, uint32_t& out) {
  if (s.empty() || s.size() > maxDigits) return false;
  out = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    out = out * 16 + static_cast<uint32_t>(d);
  }
  return true;
}

// Decodes one code point of valid UTF-8 at `i`, advancing `i`.
char32_t DecodeUtf8(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i++]);
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
  char32_t cp = c & (0x3F >> extra);
  for (int k = 0; k < extra && i < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  return cp;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// UTF-16LE as regedit writes string data; an unpaired surrogate becomes
// U+FFFD. False for an odd number of bytes.
bool Utf16LeToUtf8(std::string_view bytes, std::string& out) {
  if (bytes.size() % 2 != 0) return false;
  auto unit = [&](size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (size_t i = 0; i < bytes.size(); i += 2) {
    char32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
        i += 2;
        continue;
      }
    }
    AppendUtf8(u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u, out);
  }
  return true;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>((u >> 8) & 0xFF);
  };
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = DecodeUtf8(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

// A name as an error message shows it: a damaged file may hold a name of
// any length.
std::string Shown(std::string_view name) {
  constexpr size_t Longest = 60;
  if (name.size() <= Longest) return std::string(name);
  size_t cut = Longest;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return std::string(name.substr(0, cut)) + "...";
}

// Where the first byte that is not UTF-8 lies; npos when all are.
size_t Utf8ErrorOffset(std::string_view s) noexcept {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t extra;
    char32_t cp;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { extra = 3; cp = c & 0x07; }
    else return i;
    if (i + extra >= s.size()) return i;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return i;
    i += extra + 1;
  }
  return std::string_view::npos;
}

// A root given by its full name or its usual abbreviation.
bool IsRootName(std::string_view candidate, std::string_view rootName) {
  if (Strings::EqualsText(candidate, rootName)) return true;
  static constexpr std::pair<std::string_view, std::string_view> Short[] = {
      {"HKEY_CURRENT_USER", "HKCU"}, {"HKEY_LOCAL_MACHINE", "HKLM"},
      {"HKEY_USERS", "HKU"},         {"HKEY_CLASSES_ROOT", "HKCR"}};
  for (const auto& [full, abbreviation] : Short)
    if (Strings::EqualsText(rootName, full) && Strings::EqualsText(candidate, abbreviation)) return true;
  return false;
}

class Parser {
 public:
  Parser(std::vector<std::string_view> lines, RegistryHive& hive) : lines_(std::move(lines)), hive_(hive) {}

  bool Run(std::string& problem) {
    bool header = false;
    for (line_ = 0; line_ < lines_.size(); ++line_) {
      std::string_view line = TrimBlanks(lines_[line_]);
      if (line.empty()) continue;
      if (!header) {
        if (line != Header) return Fail(problem, "the header \"Windows Registry Editor Version 5.00\" is missing");
        header = true;
        continue;
      }
      bool ok = true;
      switch (line.front()) {
        case ';': Comment(line); break;
        case '[': ok = Key(line); break;
        case '"':
        case '@': ok = Value(line); break;
        default: ok = false; error_ = "not a key, value or comment line"; break;
      }
      if (!ok) return Fail(problem, error_);
    }
    return true;
  }

 private:
  bool Fail(std::string& problem, const std::string& why) {
    problem = "line " + std::to_string(line_ + 1) + ": " + why;
    return false;
  }

  void Comment(std::string_view line) {
    if (current_ && Strings::EqualsText(TrimBlanks(line.substr(1)), "everyone")) current_->SetEveryone(true);
  }

  bool Key(std::string_view line) {
    if (line.back() != ']') return Error("a key line must end with \"]\"");
    std::string_view inner = line.substr(1, line.size() - 2);
    bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    KeyPath path;
    size_t start = 0;
    bool first = true;
    while (true) {
      size_t slash = inner.find('\\', start);
      std::string_view part = inner.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
      if (first) {
        if (!IsRootName(part, hive_.RootName())) return Error("the key is not under " + hive_.RootName());
        first = false;
      } else {
        // Checked before the name, so that a line of any depth is refused
        // after at most MaxKeyDepth names.
        if (path.size() == MaxKeyDepth)
          return Error("the key is nested deeper than " + std::to_string(MaxKeyDepth) + " levels");
        if (!IsValidKeyName(part)) return Error("invalid key name \"" + Shown(part) + "\"");
        path.emplace_back(part);
      }
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
    if (remove) {
      current_ = nullptr;
      if (path.empty()) {
        hive_.Root().Clear();
        return true;
      }
      std::string last = path.back();
      path.pop_back();
      if (RegistryKeyNode* parent = hive_.Find(path)) parent->RemoveSubkey(last);
      return true;
    }
    current_ = &hive_.Root();
    for (const std::string& part : path) current_ = &current_->AddSubkey(part);
    return true;
  }

  bool Error(std::string why) {
    error_ = std::move(why);
    return false;
  }

  // A quoted text at `pos`; backslash escapes a quote or a backslash.
  bool Quoted(std::string_view line, size_t& pos, std::string& out) {
    ++pos;
    while (pos < line.size()) {
      char c = line[pos++];
      if (c == '"') return true;
      if (c == '\\' && pos < line.size() && (line[pos] == '\\' || line[pos] == '"')) c = line[pos++];
      out += c;
    }
    return Error("a quoted text has no closing quote");
  }

  bool Value(std::string_view line) {
    std::string name;
    size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else if (!Quoted(line, pos, name)) {
      return false;
    }
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
    if (pos >= line.size() || line[pos] != '=') return Error("\"=\" expected after the value name");
    if (!current_) return Error("a value outside a key");
    if (!IsValidValueName(name)) return Error("invalid value name");
    std::string_view rest = TrimBlanks(line.substr(pos + 1));
    if (rest == "-") {
      current_->DeleteValue(name);
      return true;
    }
    uint32_t type = 0;
    std::string data;
    if (!rest.empty() && rest.front() == '"') {
      size_t p = 0;
      if (!Quoted(rest, p, data)) return false;
      if (!TrimBlanks(rest.substr(p)).empty()) return Error("text after the closing quote");
      type = TypeString;
      data += '\0';
    } else if (StartsWithText(rest, "dword:")) {
      uint32_t number = 0;
      if (!ParseHexNumber(TrimBlanks(rest.substr(6)), 8, number)) return Error("bad dword value");
      type = TypeDword;
      for (int k = 0; k < 4; ++k) data += static_cast<char>((number >> (8 * k)) & 0xFF);
    } else if (StartsWithText(rest, "hex")) {
      if (!Hex(rest.substr(3), type, data)) return false;
    } else {
      return Error("unknown value form");
    }
    current_->SetValue(name, type, std::move(data));
    return true;
  }

  // After "hex": ":" or "(N):", then comma-separated bytes, continued on
  // the next line after a trailing backslash.
  bool Hex(std::string_view form, uint32_t& type, std::string& data) {
    type = TypeBinary;
    if (!form.empty() && form.front() == '(') {
      size_t close = form.find(')');
      if (close == std::string_view::npos || !ParseHexNumber(form.substr(1, close - 1), 8, type))
        return Error("bad hex type");
      form.remove_prefix(close + 1);
    }
    if (form.empty() || form.front() != ':') return Error("\":\" expected after hex");
    std::string list(TrimBlanks(form.substr(1)));
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      if (++line_ >= lines_.size()) return Error("the hex data continue past the end of the file");
      std::string_view next = TrimBlanks(lines_[line_]);
      if (next.empty()) return Error("the hex data continue onto an empty line");
      list += next;
    }
    std::string bytes;
    std::string_view items = list;
    while (!items.empty()) {
      size_t comma = items.find(',');
      std::string_view item = TrimBlanks(items.substr(0, comma));
      bool last = comma == std::string_view::npos;
      uint32_t byte = 0;
      if (!(item.empty() && last && !bytes.empty()) && !ParseHexNumber(item, 2, byte))
        return Error("bad hex byte \"" + Shown(item) + "\"");
      if (!item.empty()) bytes += static_cast<char>(byte);
      if (last) break;
      items.remove_prefix(comma + 1);
    }
    if (IsStringType(type)) {
      if (!Utf16LeToUtf8(bytes, data)) return Error("string data of an odd number of bytes");
    } else {
      data = std::move(bytes);
    }
    return true;
  }

  std::vector<std::string_view> lines_;
  RegistryHive& hive_;
  size_t line_ = 0;
  RegistryKeyNode* current_ = nullptr;
  std::string error_;
};

void AppendQuoted(std::string_view text, std::string& out) {
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

void AppendHex(std::string_view prefix, std::string_view bytes, std::string& out) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string line(prefix);
  for (size_t i = 0; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    char item[3] = {Digits[b >> 4], Digits[b & 15], ','};
    size_t length = i + 1 < bytes.size() ? 3 : 2;
    if (line.size() + length > 77 && line != "  ") {
      out += line;
      out += "\\\n";
      line = "  ";
    }
    line.append(item, length);
  }
  out += line;
  out += '\n';
}

// A REG_SZ that the quoted form can carry: one terminating zero, no other
// zero, no line break.
bool Quotable(std::string_view data) {
  if (data.empty() || data.back() != '\0') return false;
  data.remove_suffix(1);
  return data.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

void AppendValue(const RegistryValue& value, std::string& out) {
  std::string prefix;
  if (value.name.empty()) prefix = "@";
  else AppendQuoted(value.name, prefix);
  prefix += '=';
  if (value.type == TypeString && Quotable(value.data)) {
    out += prefix;
    AppendQuoted(std::string_view(value.data).substr(0, value.data.size() - 1), out);
    out += '\n';
    return;
  }
  if (value.type == TypeDword && value.data.size() == 4) {
    uint32_t n = 0;
    for (int k = 3; k >= 0; --k) n = (n << 8) | static_cast<unsigned char>(value.data[static_cast<size_t>(k)]);
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", n);
    out += prefix + text + "\n";
    return;
  }
  if (value.type == TypeBinary) {
    AppendHex(prefix + "hex:", value.data, out);
    return;
  }
  char form[24];
  std::snprintf(form, sizeof form, "hex(%x):", value.type);
  AppendHex(prefix + form, IsStringType(value.type) ? Utf8ToUtf16Le(value.data) : value.data, out);
}

// The key's own lines: its [path] line, the everyone mark and its values.
void AppendKeyLines(const RegistryKeyNode& key, const std::string& path, bool isRoot, std::string& out) {
  if (isRoot && key.Values().empty() && !key.Everyone()) return;
  out += "\n[" + path + "]\n";
  if (key.Everyone()) out += "; everyone\n";
  for (const RegistryValue& value : key.Values()) AppendValue(value, out);
}

// Visits every key below `root` in file order (parents first, subkeys in
// name order) with an explicit stack, so that no depth can exhaust the
// thread's stack. `visit` gets the key and its path below `rootPath`.
template <typename Visit>
void WalkKeys(const RegistryKeyNode& root, const std::string& rootPath, Visit&& visit) {
  struct Frame {
    const RegistryKeyNode* node;
    size_t next;
    size_t pathLength;
  };
  std::string path = rootPath;
  std::vector<Frame> stack{{&root, 0, path.size()}};
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.node->SubkeyCount()) {
      stack.pop_back();
      continue;
    }
    const RegistryKeyNode& sub = top.node->SubkeyAt(top.next++);
    path.resize(top.pathLength);
    path += '\\';
    path += sub.Name();
    if (!visit(sub, path)) return;
    stack.push_back({&sub, 0, path.size()});
  }
}

}  // namespace

size_t CharacterCount(std::string_view utf8) noexcept {
  size_t n = 0;
  for (char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

bool IsValidUtf8(std::string_view s) noexcept { return Utf8ErrorOffset(s) == std::string_view::npos; }

bool IsValidKeyName(std::string_view name) noexcept {
  if (name.empty() || !IsValidUtf8(name) || CharacterCount(name) > MaxKeyNameLength) return false;
  for (char c : name)
    if (c == '\\' || (static_cast<unsigned char>(c) < 0x20) || c == 0x7F) return false;
  return true;
}

bool IsValidValueName(std::string_view name) noexcept {
  return IsValidUtf8(name) && CharacterCount(name) <= MaxValueNameLength &&
         name.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

RegistryKeyNode::RegistryKeyNode(std::string name) : name_(std::move(name)), folded_(Strings::FoldCase(name_)) {}

RegistryKeyNode::~RegistryKeyNode() {
  // The default would free a chain of subkeys by recursion, one stack
  // frame per level.
  std::vector<std::unique_ptr<RegistryKeyNode>> pending = std::move(subkeys_);
  while (!pending.empty()) {
    std::unique_ptr<RegistryKeyNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->subkeys_) pending.push_back(std::move(child));
    node->subkeys_.clear();
  }
}

const RegistryValue* RegistryKeyNode::FindValue(std::string_view name) const {
  const std::string folded = Strings::FoldCase(name);
  for (size_t i = 0; i < values_.size(); ++i)
    if (valueFolded_[i] == folded) return &values_[i];
  return nullptr;
}

bool RegistryKeyNode::SetValue(std::string_view name, uint32_t type, std::string data) {
  std::string folded = Strings::FoldCase(name);
  for (size_t i = 0; i < values_.size(); ++i) {
    if (valueFolded_[i] != folded) continue;
    if (values_[i].type == type && values_[i].data == data) return false;
    values_[i].type = type;
    values_[i].data = std::move(data);
    return true;
  }
  values_.push_back(RegistryValue{std::string(name), type, std::move(data)});
  valueFolded_.push_back(std::move(folded));
  return true;
}

bool RegistryKeyNode::DeleteValue(std::string_view name) {
  const std::string folded = Strings::FoldCase(name);
  for (size_t i = 0; i < values_.size(); ++i) {
    if (valueFolded_[i] != folded) continue;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(i));
    valueFolded_.erase(valueFolded_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
  }
  return false;
}

size_t RegistryKeyNode::LowerBound(const std::string& folded) const {
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), folded,
                             [](const std::unique_ptr<RegistryKeyNode>& k, const std::string& f) { return k->folded_ < f; });
  return static_cast<size_t>(it - subkeys_.begin());
}

const RegistryKeyNode* RegistryKeyNode::FindSubkey(std::string_view name) const {
  const std::string folded = Strings::FoldCase(name);
  size_t i = LowerBound(folded);
  return i < subkeys_.size() && subkeys_[i]->folded_ == folded ? subkeys_[i].get() : nullptr;
}

RegistryKeyNode* RegistryKeyNode::FindSubkey(std::string_view name) {
  return const_cast<RegistryKeyNode*>(std::as_const(*this).FindSubkey(name));
}

RegistryKeyNode& RegistryKeyNode::AddSubkey(std::string_view name, bool* created) {
  const std::string folded = Strings::FoldCase(name);
  size_t i = LowerBound(folded);
  bool exists = i < subkeys_.size() && subkeys_[i]->folded_ == folded;
  if (created) *created = !exists;
  if (!exists)
    subkeys_.insert(subkeys_.begin() + static_cast<std::ptrdiff_t>(i), std::make_unique<RegistryKeyNode>(std::string(name)));
  return *subkeys_[i];
}

bool RegistryKeyNode::RemoveSubkey(std::string_view name) {
  const std::string folded = Strings::FoldCase(name);
  size_t i = LowerBound(folded);
  if (i >= subkeys_.size() || subkeys_[i]->folded_ != folded) return false;
  subkeys_.erase(subkeys_.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

void RegistryKeyNode::Clear() {
  values_.clear();
  valueFolded_.clear();
  subkeys_.clear();
}

RegistryHive::RegistryHive(std::string rootName) : root_(std::move(rootName)) {}

const RegistryKeyNode* RegistryHive::Find(const KeyPath& path) const {
  const RegistryKeyNode* node = &root_;
  for (const std::string& part : path) {
    node = node->FindSubkey(part);
    if (!node) return nullptr;
  }
  return node;
}

RegistryKeyNode* RegistryHive::Find(const KeyPath& path) {
  return const_cast<RegistryKeyNode*>(std::as_const(*this).Find(path));
}

bool RegistryHive::AnyEveryone() const {
  bool found = root_.Everyone();
  if (!found) WalkKeys(root_, "", [&](const RegistryKeyNode& key, const std::string&) { return !(found = key.Everyone()); });
  return found;
}

std::unique_ptr<RegistryHive> RegistryHive::Parse(std::string_view bytes, std::string rootName, std::string* problem) {
  std::string why;
  auto fail = [&](std::string text) -> std::unique_ptr<RegistryHive> {
    if (problem) *problem = std::move(text);
    return nullptr;
  };
  std::string text;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    if (!Utf16LeToUtf8(bytes.substr(2), text)) return fail("the UTF-16 text has an odd number of bytes");
  } else {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    text.assign(bytes);
  }
  if (size_t bad = Utf8ErrorOffset(text); bad != std::string_view::npos) {
    const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(bad), '\n') + 1;
    return fail("line " + std::to_string(line) + ": the text is not UTF-8 (byte " + std::to_string(bad + 1) + ")");
  }
  std::vector<std::string_view> lines;
  std::string_view rest = text;
  while (true) {
    size_t end = rest.find('\n');
    lines.push_back(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  auto hive = std::make_unique<RegistryHive>(std::move(rootName));
  Parser parser(std::move(lines), *hive);
  if (!parser.Run(why)) return fail(why);
  return hive;
}

std::string RegistryHive::Serialize() const {
  std::string out(Header);
  out += '\n';
  AppendKeyLines(root_, root_.Name(), true, out);
  WalkKeys(root_, root_.Name(), [&](const RegistryKeyNode& key, const std::string& path) {
    AppendKeyLines(key, path, false, out);
    return true;
  });
  out += '\n';
  return out;
}

}  // namespace qx6::platform
