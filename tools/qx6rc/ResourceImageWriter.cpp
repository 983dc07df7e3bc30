#include "tools/qx6rc/ResourceImageWriter.h"

#include <array>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

namespace qx6::rc {

namespace {

constexpr uint32_t kImageBase = 0x10000000;  // the usual preferred base of a DLL
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kPeOffset = 0x80;
constexpr uint16_t kOptionalHeaderSize = 224;  // PE32 with 16 data directories
constexpr uint32_t kHeadersSize = 0x200;       // DOS header, stub, PE headers, one section header
constexpr uint32_t kRsrcRva = 0x1000;
constexpr uint32_t kStringType = 6;  // RT_STRING

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

class Buffer {
 public:
  explicit Buffer(size_t size = 0) : bytes_(size, 0) {}
  void Put8(size_t at, uint8_t v) { Grow(at + 1), bytes_[at] = v; }
  void Put16(size_t at, uint16_t v) { Put8(at, v & 0xFF), Put8(at + 1, v >> 8); }
  void Put32(size_t at, uint32_t v) { Put16(at, v & 0xFFFF), Put16(at + 2, v >> 16); }
  void PutBytes(size_t at, const void* data, size_t n) {
    Grow(at + n);
    std::memcpy(bytes_.data() + at, data, n);
  }
  size_t Size() const { return bytes_.size(); }
  void Resize(size_t n) { bytes_.resize(n, 0); }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  void Grow(size_t n) {
    if (bytes_.size() < n) bytes_.resize(n, 0);
  }
  std::vector<uint8_t> bytes_;
};

using Block = std::array<const std::u16string*, 16>;

// The .rsrc section: type directory, one name directory per block, one
// language directory per block, data entries, then the block data.
Buffer BuildResourceSection(const StringTables& tables) {
  std::map<uint16_t, std::map<uint16_t, Block>> blocks;  // block ID -> language -> strings
  for (const auto& [language, table] : tables.Languages())
    for (const auto& [id, entry] : table) {
      Block& b = blocks[static_cast<uint16_t>(id / 16 + 1)][language];
      b[id % 16] = &entry.text;
    }

  size_t leaves = 0;
  uint64_t textBytes = 0;
  for (const auto& [blockId, languages] : blocks) leaves += languages.size();
  for (const auto& [language, table] : tables.Languages())
    for (const auto& [id, entry] : table) textBytes += 2 * entry.text.size();
  // RVAs and sizes are 32-bit; keep well inside that.
  if (textBytes + 64 * leaves + 32 * blocks.size() > 0x7FFF0000ull)
    throw std::length_error("the string tables are too large for one module (more than 2 GiB)");

  const uint32_t root = 0;
  const uint32_t nameDir = 16 + (blocks.empty() ? 0 : 8);
  uint32_t next = nameDir + (blocks.empty() ? 0 : 16 + 8 * static_cast<uint32_t>(blocks.size()));
  const uint32_t languageDirs = next;
  for (const auto& [blockId, languages] : blocks) next += 16 + 8 * static_cast<uint32_t>(languages.size());
  const uint32_t dataEntries = next;
  uint32_t data = AlignUp(dataEntries + 16 * static_cast<uint32_t>(leaves), 4);

  Buffer s;
  auto directory = [&](uint32_t at, uint16_t idEntries) {
    s.Put32(at, 0);                 // characteristics
    s.Put32(at + 4, 0);             // time stamp: none, so that builds are reproducible
    s.Put16(at + 8, 0);             // major version
    s.Put16(at + 10, 0);            // minor version
    s.Put16(at + 12, 0);            // named entries
    s.Put16(at + 14, idEntries);
  };
  directory(root, blocks.empty() ? 0 : 1);
  if (blocks.empty()) {
    s.Resize(16);
    return s;
  }
  s.Put32(root + 16, kStringType);
  s.Put32(root + 20, 0x80000000u | nameDir);
  directory(nameDir, static_cast<uint16_t>(blocks.size()));

  uint32_t nameEntry = nameDir + 16, languageDir = languageDirs, leaf = dataEntries;
  for (const auto& [blockId, languages] : blocks) {
    s.Put32(nameEntry, blockId);
    s.Put32(nameEntry + 4, 0x80000000u | languageDir);
    nameEntry += 8;
    directory(languageDir, static_cast<uint16_t>(languages.size()));
    uint32_t languageEntry = languageDir + 16;
    for (const auto& [language, block] : languages) {
      s.Put32(languageEntry, language);
      s.Put32(languageEntry + 4, leaf);
      languageEntry += 8;
      // The block: sixteen counted strings, missing ones as length 0.
      uint32_t at = data;
      for (const std::u16string* text : block) {
        uint16_t length = text ? static_cast<uint16_t>(text->size()) : 0;
        s.Put16(at, length);
        at += 2;
        for (uint16_t i = 0; i < length; ++i, at += 2) s.Put16(at, static_cast<uint16_t>((*text)[i]));
      }
      s.Put32(leaf, kRsrcRva + data);  // an RVA, not a section offset
      s.Put32(leaf + 4, at - data);
      s.Put32(leaf + 8, 0);            // code page
      s.Put32(leaf + 12, 0);
      leaf += 16;
      data = AlignUp(at, 4);
    }
    languageDir = languageEntry;
  }
  s.Resize(data);
  return s;
}

void WriteHeaders(Buffer& f, uint32_t rsrcSize, uint32_t rsrcRawSize) {
  // DOS header and the customary stub that prints why it does not run.
  static const uint8_t kStub[] = {0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD,
                                  0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21};
  static const char kStubText[] = "This program cannot be run in DOS mode.\r\r\n$";
  f.Put16(0x00, 0x5A4D);  // "MZ"
  f.Put16(0x02, 0x90);    // bytes on the last page
  f.Put16(0x04, 3);       // pages
  f.Put16(0x08, 4);       // header paragraphs
  f.Put16(0x0C, 0xFFFF);  // maximum allocation
  f.Put16(0x10, 0xB8);    // initial SP
  f.Put16(0x18, 0x40);    // relocation table offset
  f.Put32(0x3C, kPeOffset);
  f.PutBytes(0x40, kStub, sizeof kStub);
  f.PutBytes(0x4E, kStubText, sizeof kStubText - 1);

  const uint32_t pe = kPeOffset;
  f.Put32(pe, 0x00004550);  // "PE\0\0"
  const uint32_t coff = pe + 4;
  f.Put16(coff + 0, 0x014C);  // i386
  f.Put16(coff + 2, 1);       // sections
  f.Put32(coff + 4, 0);       // time stamp
  f.Put32(coff + 8, 0);       // symbol table
  f.Put32(coff + 12, 0);      // symbols
  f.Put16(coff + 16, kOptionalHeaderSize);
  // Executable image, line numbers and local symbols stripped, 32-bit, DLL.
  f.Put16(coff + 18, 0x0002 | 0x0004 | 0x0008 | 0x0100 | 0x2000);

  const uint32_t opt = coff + 20;
  const uint32_t imageSize = kRsrcRva + AlignUp(rsrcSize, kSectionAlignment);
  f.Put16(opt + 0, 0x010B);  // PE32
  f.Put8(opt + 2, 1);        // linker version 1.0
  f.Put8(opt + 3, 0);
  f.Put32(opt + 4, 0);            // size of code
  f.Put32(opt + 8, rsrcRawSize);  // size of initialised data
  f.Put32(opt + 12, 0);           // size of uninitialised data
  f.Put32(opt + 16, 0);           // entry point: none
  f.Put32(opt + 20, kRsrcRva);    // base of code
  f.Put32(opt + 24, kRsrcRva);    // base of data
  f.Put32(opt + 28, kImageBase);
  f.Put32(opt + 32, kSectionAlignment);
  f.Put32(opt + 36, kFileAlignment);
  f.Put16(opt + 40, 5);  // operating system 5.1
  f.Put16(opt + 42, 1);
  f.Put16(opt + 44, 0);  // image version
  f.Put16(opt + 46, 0);
  f.Put16(opt + 48, 5);  // subsystem 5.1
  f.Put16(opt + 50, 1);
  f.Put32(opt + 52, 0);  // Win32 version value
  f.Put32(opt + 56, imageSize);
  f.Put32(opt + 60, kHeadersSize);
  f.Put32(opt + 64, 0);       // checksum, filled in last
  f.Put16(opt + 68, 2);       // Windows GUI subsystem
  f.Put16(opt + 70, 0x0500);  // NX compatible, no structured exception handlers
  f.Put32(opt + 72, 0x100000);  // stack reserve
  f.Put32(opt + 76, 0x1000);    // stack commit
  f.Put32(opt + 80, 0x100000);  // heap reserve
  f.Put32(opt + 84, 0x1000);    // heap commit
  f.Put32(opt + 88, 0);         // loader flags
  f.Put32(opt + 92, 16);        // data directories
  f.Put32(opt + 96 + 2 * 8, kRsrcRva);  // resource table
  f.Put32(opt + 96 + 2 * 8 + 4, rsrcSize);

  const uint32_t section = opt + kOptionalHeaderSize;
  f.PutBytes(section, ".rsrc\0\0\0", 8);
  f.Put32(section + 8, rsrcSize);   // virtual size
  f.Put32(section + 12, kRsrcRva);  // virtual address
  f.Put32(section + 16, rsrcRawSize);
  f.Put32(section + 20, kHeadersSize);  // file offset of the raw data
  f.Put32(section + 36, 0x40000040);    // initialised data, readable
}

// The image checksum as the Windows loader and imagehlp compute it.
uint32_t Checksum(const std::vector<uint8_t>& bytes, size_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i + 1 < bytes.size() + 1; i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    uint32_t word = bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + bytes.size());
}

}  // namespace

std::vector<uint8_t> WriteResourceImage(const StringTables& tables) {
  Buffer rsrc = BuildResourceSection(tables);
  const uint32_t rsrcSize = static_cast<uint32_t>(rsrc.Size());
  const uint32_t rsrcRawSize = AlignUp(rsrcSize, kFileAlignment);

  Buffer file(kHeadersSize + rsrcRawSize);
  WriteHeaders(file, rsrcSize, rsrcRawSize);
  file.PutBytes(kHeadersSize, rsrc.Bytes().data(), rsrc.Size());
  const size_t checksumOffset = kPeOffset + 4 + 20 + 64;
  file.Put32(checksumOffset, Checksum(file.Bytes(), checksumOffset));
  return std::move(file.Bytes());
}

}  // namespace qx6::rc
