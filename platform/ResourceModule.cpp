#include "platform/ResourceModule.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "runtime/ByteSpan.h"

namespace qx6::platform {

namespace {

constexpr uint32_t kStringType = 6;         // RT_STRING
constexpr uint32_t kHighBit = 0x80000000u;  // name is a string / entry is a subdirectory
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr size_t kSectionHeaderSize = 40;

struct Section {
  uint32_t virtualAddress;
  uint32_t available;  // bytes of the section that the file really holds
  uint32_t fileOffset;
};

void AppendUtf8(std::string& out, char32_t cp) {
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

// UTF-16LE code units at `offset` of `span` to UTF-8; a surrogate without its
// partner becomes U+FFFD, as Windows' own conversion does.
std::string Utf16ToUtf8(const ByteSpan& span, uint64_t offset, uint32_t units) {
  std::string out;
  out.reserve(units);
  for (uint32_t i = 0; i < units; ++i) {
    uint16_t unit = 0;
    span.Read16(offset + 2ull * i, unit);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
      uint16_t next = 0;
      span.Read16(offset + 2ull * (i + 1), next);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(next) - 0xDC00));
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) AppendUtf8(out, 0xFFFD);
    else AppendUtf8(out, unit);
  }
  return out;
}

}  // namespace

struct ResourceModule::Impl {
  std::string path;
  void* mapping = nullptr;
  size_t mappingSize = 0;
  ByteSpan file;
  std::vector<Section> sections;
  ByteSpan resources;  // from the resource directory to the end of its section; empty when none

  ~Impl() {
    if (mapping) munmap(mapping, mappingSize);
  }

  // The file bytes at an RVA, `length` long, inside one section.
  ByteSpan Resolve(uint32_t rva, uint32_t length) const {
    for (const Section& s : sections) {
      if (rva < s.virtualAddress) continue;
      uint64_t delta = rva - s.virtualAddress;
      if (delta >= s.available) continue;
      if (length > s.available - delta) return {};
      return file.Sub(uint64_t(s.fileOffset) + delta, length);
    }
    return {};
  }

  // The remainder of the section from an RVA on.
  ByteSpan ResolveToSectionEnd(uint32_t rva) const {
    for (const Section& s : sections) {
      if (rva < s.virtualAddress) continue;
      uint64_t delta = rva - s.virtualAddress;
      if (delta >= s.available) continue;
      return file.Sub(uint64_t(s.fileOffset) + delta, s.available - delta);
    }
    return {};
  }

  bool ParseHeaders();

  // OffsetToData of the directory entry at `directory` with ID `id`, or of
  // its first ID entry when `id` is empty.
  std::optional<uint32_t> FindEntry(uint32_t directory, std::optional<uint32_t> id) const;
};

bool ResourceModule::Impl::ParseHeaders() {
  uint16_t magic = 0;
  if (!file.Read16(0, magic) || magic != 0x5A4D) return false;  // "MZ"
  uint32_t peOffset = 0;
  if (!file.Read32(0x3C, peOffset)) return false;
  uint32_t signature = 0;
  if (!file.Read32(peOffset, signature) || signature != 0x00004550) return false;  // "PE\0\0"

  const uint64_t coff = uint64_t(peOffset) + 4;
  uint16_t sectionCount = 0, optionalSize = 0;
  if (!file.Read16(coff + 2, sectionCount) || !file.Read16(coff + 16, optionalSize)) return false;
  const uint64_t optional = coff + 20;
  if (!file.Has(optional, optionalSize)) return false;
  ByteSpan opt = file.Sub(optional, optionalSize);

  uint16_t optMagic = 0;
  if (!opt.Read16(0, optMagic)) return false;
  uint64_t rvaCountOffset;
  if (optMagic == 0x10B) rvaCountOffset = 92;        // PE32
  else if (optMagic == 0x20B) rvaCountOffset = 108;  // PE32+
  else return false;
  uint32_t rvaCount = 0;
  if (!opt.Read32(rvaCountOffset, rvaCount)) return false;
  uint32_t resourceRva = 0;
  const uint64_t resourceEntry = rvaCountOffset + 4 + 2 * 8;  // data directory 2
  if (rvaCount > 2 && !opt.Read32(resourceEntry, resourceRva)) return false;

  const uint64_t table = optional + optionalSize;
  if (!file.Has(table, uint64_t(sectionCount) * kSectionHeaderSize)) return false;
  sections.reserve(sectionCount);
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t h = table + uint64_t(i) * kSectionHeaderSize;
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawPointer = 0;
    file.Read32(h + 8, virtualSize);
    file.Read32(h + 12, virtualAddress);
    file.Read32(h + 16, rawSize);
    file.Read32(h + 20, rawPointer);
    uint64_t available = 0;
    if (rawPointer < file.Size()) available = std::min<uint64_t>(rawSize, file.Size() - rawPointer);
    if (virtualSize != 0) available = std::min<uint64_t>(available, virtualSize);
    sections.push_back({virtualAddress, static_cast<uint32_t>(available), rawPointer});
  }

  if (resourceRva == 0) return true;  // a module without resources
  resources = ResolveToSectionEnd(resourceRva);
  return !resources.Empty() && resources.Has(0, kDirectoryHeaderSize);
}

std::optional<uint32_t> ResourceModule::Impl::FindEntry(uint32_t directory,
                                                        std::optional<uint32_t> id) const {
  uint16_t named = 0, ids = 0;
  if (!resources.Read16(uint64_t(directory) + 12, named) ||
      !resources.Read16(uint64_t(directory) + 14, ids))
    return std::nullopt;
  const uint64_t first = uint64_t(directory) + kDirectoryHeaderSize;
  // Entry counts that run past the section mean a damaged directory.
  if (!resources.Has(first, (uint64_t(named) + ids) * kDirectoryEntrySize)) return std::nullopt;
  for (uint32_t i = named; i < uint32_t(named) + ids; ++i) {
    uint32_t name = 0, data = 0;
    resources.Read32(first + uint64_t(i) * kDirectoryEntrySize, name);
    resources.Read32(first + uint64_t(i) * kDirectoryEntrySize + 4, data);
    if (name & kHighBit) continue;
    if (!id || name == *id) return data;
  }
  return std::nullopt;
}

ResourceModule::ResourceModule(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ResourceModule::~ResourceModule() = default;

std::shared_ptr<const ResourceModule> ResourceModule::Load(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    ::close(fd);
    return nullptr;
  }
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->mappingSize = static_cast<size_t>(st.st_size);
  void* map = ::mmap(nullptr, impl->mappingSize, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (map == MAP_FAILED) return nullptr;
  impl->mapping = map;
  impl->file = ByteSpan(static_cast<const uint8_t*>(map), impl->mappingSize);
  if (!impl->ParseHeaders()) return nullptr;
  return std::shared_ptr<const ResourceModule>(new ResourceModule(std::move(impl)));
}

std::optional<std::string> ResourceModule::LoadString(uint32_t id) const {
  const Impl& m = *impl_;
  if (m.resources.Empty() || id > 0xFFFF) return std::nullopt;

  // type -> block (ID / 16 + 1) -> first language; the tree has three levels,
  // and a subdirectory that points back to one already walked is refused.
  auto type = m.FindEntry(0, kStringType);
  if (!type || !(*type & kHighBit)) return std::nullopt;
  const uint32_t typeDir = *type & ~kHighBit;
  if (typeDir == 0) return std::nullopt;
  auto block = m.FindEntry(typeDir, id / 16 + 1);
  if (!block || !(*block & kHighBit)) return std::nullopt;
  const uint32_t blockDir = *block & ~kHighBit;
  if (blockDir == 0 || blockDir == typeDir) return std::nullopt;
  auto language = m.FindEntry(blockDir, std::nullopt);
  if (!language || (*language & kHighBit)) return std::nullopt;

  uint32_t dataRva = 0, dataSize = 0;
  if (!m.resources.Read32(*language, dataRva) || !m.resources.Read32(uint64_t(*language) + 4, dataSize) ||
      !m.resources.Has(*language, kDataEntrySize))
    return std::nullopt;
  ByteSpan data = m.Resolve(dataRva, dataSize);
  if (data.Empty()) return std::nullopt;

  uint64_t pos = 0;
  for (uint32_t i = 0; i < id % 16; ++i) {
    uint16_t length = 0;
    if (!data.Read16(pos, length)) return std::nullopt;
    pos += 2 + 2ull * length;
  }
  uint16_t length = 0;
  if (!data.Read16(pos, length) || length == 0) return std::nullopt;
  if (!data.Has(pos + 2, 2ull * length)) return std::nullopt;  // runs past its block
  return Utf16ToUtf8(data, pos + 2, length);
}

const std::string& ResourceModule::Path() const noexcept { return impl_->path; }

}  // namespace qx6::platform
