#include "ui/HelpFile.h"

#include <chm_lib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "runtime/ByteSpan.h"
#include "runtime/Strings.h"

namespace qx6 {
namespace {

// No page of ours comes near this; a larger length is a damaged directory.
constexpr LONGUINT64 MaxObjectSize = 64u << 20;

// The 64-bit little-endian word at `at`, 0 when it does not fit.
uint64_t Read64(const ByteSpan& bytes, size_t at) {
  uint32_t low = 0, high = 0;
  if (!bytes.Read32(at, low) || !bytes.Read32(at + 4, high)) return 0;
  return static_cast<uint64_t>(low) | (static_cast<uint64_t>(high) << 32);
}

// A zero-terminated string of a record, without its terminator.
std::string CString(const std::string& bytes, size_t at, size_t end) {
  end = std::min(end, bytes.size());
  if (at >= end) return {};
  const size_t stop = bytes.find('\0', at);
  return bytes.substr(at, std::min(stop, end) - at);
}

std::string DecodeEntities(std::string_view text) {
  static const std::map<std::string, std::string, std::less<>> named = {
      {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t semi = text[i] == '&' ? text.find(';', i) : std::string_view::npos;
    if (semi == std::string_view::npos || semi - i > 8) {
      out += text[i];
      continue;
    }
    std::string_view entity = text.substr(i + 1, semi - i - 1);
    if (auto it = named.find(entity); it != named.end()) {
      out += it->second;
    } else if (entity.size() > 1 && entity[0] == '#' && entity[1] != 'x' && entity[1] != 'X' &&
               std::all_of(entity.begin() + 1, entity.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
               std::stoul(std::string(entity.substr(1))) < 0x80) {
      out += static_cast<char>(std::stoul(std::string(entity.substr(1))));
    } else {
      out += text.substr(i, semi - i + 1);
    }
    i = semi;
  }
  return out;
}

struct Tag {
  std::string name;  // lower case, "/ul" for an end tag
  std::map<std::string, std::string> attributes;  // names in lower case
};

// The tag starting at `at` (a "<"); `at` moves past it.
Tag ReadTag(std::string_view html, size_t& at) {
  Tag tag;
  size_t i = at + 1;
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < html.size() && !isSpace(html[i]) && html[i] != '>') tag.name += html[i++];
  tag.name = Strings::LCase(tag.name);
  while (i < html.size() && html[i] != '>') {
    while (i < html.size() && (isSpace(html[i]) || html[i] == '/')) ++i;
    std::string name;
    while (i < html.size() && !isSpace(html[i]) && html[i] != '=' && html[i] != '>') name += html[i++];
    while (i < html.size() && isSpace(html[i])) ++i;
    std::string value;
    if (i < html.size() && html[i] == '=') {
      ++i;
      while (i < html.size() && isSpace(html[i])) ++i;
      if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
        const char quote = html[i++];
        const size_t close = html.find(quote, i);
        const size_t stop = close == std::string_view::npos ? html.size() : close;
        value = html.substr(i, stop - i);
        i = stop == html.size() ? stop : stop + 1;
      } else {
        while (i < html.size() && !isSpace(html[i]) && html[i] != '>') value += html[i++];
      }
    }
    if (!name.empty()) tag.attributes[Strings::LCase(name)] = DecodeEntities(value);
  }
  at = i;
  return tag;
}

// The name chmlib looks a stored file up by: "x.html" becomes "/x.html";
// names of the storage itself ("::DataSpace/...") stay. No value for a name
// chmlib cannot hold.
std::optional<std::string> StoredName(std::string_view path) {
  if (path.empty() || path.size() >= CHM_MAX_PATHLEN) return std::nullopt;
  std::string name(path);
  if (name[0] != '/' && name[0] != ':') name.insert(0, "/");
  return name;
}

// The file length that the header records (its first header section holds
// it), or no value when the header cannot be read. chmlib reads a cut file
// without complaint and hands back zeros for what is missing, so the reader
// compares this with the real length first.
std::optional<uint64_t> RecordedLength(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string header(0x60, '\0');
  if (!in.read(header.data(), static_cast<std::streamsize>(header.size())) || header.compare(0, 4, "ITSF") != 0)
    return std::nullopt;
  const ByteSpan head(header);
  const uint64_t sectionOffset = Read64(head, 0x38), sectionLength = Read64(head, 0x40);
  if (sectionLength < 0x10 || sectionOffset > (1u << 30)) return std::nullopt;
  std::string section(0x10, '\0');
  in.seekg(static_cast<std::streamoff>(sectionOffset));
  if (!in.read(section.data(), static_cast<std::streamsize>(section.size()))) return std::nullopt;
  return Read64(ByteSpan(section), 8);
}

}  // namespace

std::vector<HelpContentsEntry> ParseSitemap(std::string_view html) {
  std::vector<HelpContentsEntry> entries;
  int depth = 0;
  std::optional<HelpContentsEntry> entry;
  for (size_t at = html.find('<'); at != std::string_view::npos; at = html.find('<', at)) {
    if (html.substr(at, 4) == "<!--") {
      const size_t end = html.find("-->", at);
      if (end == std::string_view::npos) break;
      at = end + 3;
      continue;
    }
    const Tag tag = ReadTag(html, at);
    if (tag.name == "ul") {
      ++depth;
    } else if (tag.name == "/ul") {
      depth = std::max(0, depth - 1);
    } else if (tag.name == "object") {
      auto type = tag.attributes.find("type");
      if (type != tag.attributes.end() && Strings::EqualsText(type->second, "text/sitemap")) {
        entry = HelpContentsEntry{std::max(0, depth - 1), {}, {}};
      }
    } else if (tag.name == "param" && entry) {
      auto name = tag.attributes.find("name");
      auto value = tag.attributes.find("value");
      if (name == tag.attributes.end() || value == tag.attributes.end()) continue;
      if (Strings::EqualsText(name->second, "Name") && entry->name.empty()) entry->name = value->second;
      if (Strings::EqualsText(name->second, "Local") && entry->local.empty()) entry->local = value->second;
    } else if (tag.name == "/object" && entry) {
      if (!entry->name.empty()) entries.push_back(std::move(*entry));
      entry.reset();
    }
  }
  return entries;
}

HelpFile::~HelpFile() { Close(); }

void HelpFile::Close() {
  if (file_) chm_close(file_);
  file_ = nullptr;
  title_.clear();
  defaultTopic_.clear();
  contentsFile_.clear();
}

bool HelpFile::Fail(std::string text) {
  error_ = std::move(text);
  return false;
}

bool HelpFile::Open(const std::string& path) {
  Close();
  path_ = path;
  error_.clear();
  std::error_code ec;
  if (path.empty()) return Fail("No help file is set.");
  if (!std::filesystem::is_regular_file(path, ec)) return Fail("The help file " + path + " does not exist.");
  const auto recorded = RecordedLength(path);
  if (!recorded) return Fail("The help file " + path + " cannot be read: it is damaged or not a compiled help file.");
  if (*recorded > std::filesystem::file_size(path, ec) || ec)
    return Fail("The help file " + path + " is damaged: it is shorter than its header says.");
  file_ = chm_open(path.c_str());
  if (!file_) return Fail("The help file " + path + " cannot be read: it is damaged or not a compiled help file.");
  if (!ReadSystemRecord()) {
    Close();
    return Fail("The help file " + path + " is damaged: its system record cannot be read.");
  }
  return true;
}

// The system record: a version, then records of a 16-bit code, a 16-bit
// length and the data; codes 0 to 3 name the contents, index, default page
// and title.
bool HelpFile::ReadSystemRecord() {
  auto record = ReadFile("/#SYSTEM");
  if (!record || record->size() < 4) return false;
  const std::string& bytes = *record;
  const ByteSpan span(bytes);
  for (size_t at = 4; at + 4 <= bytes.size();) {
    uint16_t code = 0, length = 0;
    span.Read16(at, code);
    span.Read16(at + 2, length);
    const size_t data = at + 4;
    if (!span.Has(data, length)) return false;
    switch (code) {
      case 0: contentsFile_ = CString(bytes, data, data + length); break;
      case 2: defaultTopic_ = CString(bytes, data, data + length); break;
      case 3: title_ = CString(bytes, data, data + length); break;
      default: break;
    }
    at = data + length;
  }
  return true;
}

std::optional<std::string> HelpFile::ReadFile(std::string_view path) {
  if (!file_) {
    Fail("No help file is open.");
    return std::nullopt;
  }
  const auto stored = StoredName(path);
  const std::string name = stored ? *stored : std::string(path);
  chmUnitInfo unit{};
  if (!stored || chm_resolve_object(file_, name.c_str(), &unit) != CHM_RESOLVE_SUCCESS) {
    Fail("The help file has no page \"" + name + "\".");
    return std::nullopt;
  }
  if (unit.length > MaxObjectSize) {
    Fail("The help file is damaged: \"" + name + "\" has an impossible size.");
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(unit.length), '\0');
  if (unit.length == 0) return bytes;
  const LONGINT64 got =
      chm_retrieve_object(file_, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0, unit.length);
  if (got != static_cast<LONGINT64>(unit.length)) {
    Fail("The help file is damaged: \"" + name + "\" cannot be read.");
    return std::nullopt;
  }
  return bytes;
}

bool HelpFile::HasFile(std::string_view path) {
  const auto name = StoredName(path);
  chmUnitInfo unit{};
  return file_ && name && chm_resolve_object(file_, name->c_str(), &unit) == CHM_RESOLVE_SUCCESS;
}

// The map names a page by its path inside the file ("/settings.html"; a
// name without the leading "/" counts from the file's root). Anything else,
// such as a path of the machine that built the file, names no page.
std::optional<std::string> HelpFile::ResolveStoredPath(std::string_view stored) {
  std::string name = Strings::Replace(std::string(stored), "\\", "/");
  if (name.empty()) return std::nullopt;
  if (name[0] != '/') name.insert(0, "/");
  if (HasFile(name)) return name;
  return std::nullopt;
}

// The context map: "#IVB" holds its byte length, then pairs of a context ID
// and the offset of the page's name in "#STRINGS".
std::optional<std::string> HelpFile::TopicPath(int32_t contextId) {
  const std::string topic = "topic " + std::to_string(contextId);
  if (!file_) {
    Fail("No help file is open.");
    return std::nullopt;
  }
  auto map = ReadFile("/#IVB");
  auto strings = map ? ReadFile("/#STRINGS") : std::nullopt;
  if (!map || !strings || map->size() < 4) {
    Fail("The help file " + path_ + " has no map of context IDs, so " + topic + " cannot be found.");
    return std::nullopt;
  }
  const ByteSpan pairs(*map);
  uint32_t length = 0, id = 0, offset = 0;
  pairs.Read32(0, length);
  const size_t end = std::min<size_t>(map->size(), 4 + static_cast<size_t>(length));
  for (size_t at = 4; at + 8 <= end; at += 8) {
    if (!pairs.Read32(at, id) || static_cast<int32_t>(id) != contextId) continue;
    pairs.Read32(at + 4, offset);
    if (offset >= strings->size()) break;
    if (auto page = ResolveStoredPath(CString(*strings, offset, strings->size()))) return page;
    Fail("The page of " + topic + " is missing from the help file " + path_ + ".");
    return std::nullopt;
  }
  Fail("The help file " + path_ + " has no " + topic + ".");
  return std::nullopt;
}

std::vector<HelpContentsEntry> HelpFile::Contents() {
  if (contentsFile_.empty()) return {};
  auto sitemap = ReadFile(contentsFile_);
  if (!sitemap) return {};
  return ParseSitemap(*sitemap);
}

}  // namespace qx6
