// The module reader against PE images laid out by hand here, independent of
// the project's resource compiler: section mapping, PE32 and PE32+, named
// entries, blocks and the UTF-16 conversion. The choice among a block's
// languages is tested on compiled modules (ResourceCompilerTest).
#include "platform/ResourceModule.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace qx6::platform {
namespace {

using Bytes = std::vector<uint8_t>;

// Little-endian fields, growing the image as needed.
void Put(Bytes& b, size_t at, uint32_t v, size_t bytes) {
  if (b.size() < at + bytes) b.resize(at + bytes);
  for (size_t i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, uint32_t v) { Put(b, at, v, 2); }
void Put32(Bytes& b, size_t at, uint32_t v) { Put(b, at, v, 4); }

// A string block of counted UTF-16 strings (sixteen unless a test wants a short one).
Bytes Block(const std::vector<std::u16string>& strings) {
  Bytes b;
  for (const std::u16string& s : strings) {
    Put16(b, b.size(), static_cast<uint32_t>(s.size()));
    for (char16_t c : s) Put16(b, b.size(), c);
  }
  return b;
}
Bytes BlockWith(size_t index, const std::u16string& s) {
  std::vector<std::u16string> all(16);
  all[index] = s;
  return Block(all);
}

struct Leaf {
  uint32_t type, name;
  uint16_t language;
  Bytes data;
};

struct Layout {
  bool pe32plus = false;
  bool codeSectionFirst = false;  // .rsrc is the second section, at RVA 0x2000
  bool namedEntries = false;      // a named entry before the ID entries at every level
};

// A minimal image: headers, optionally a code section, and .rsrc with the
// leaves grouped into the type -> name -> language tree. With named entries
// every directory starts with an entry named "X" whose leaf is garbage: the
// reader must never pick it.
Bytes BuildImage(const std::vector<Leaf>& leaves, const Layout& layout) {
  std::map<uint32_t, std::map<uint32_t, std::map<uint32_t, const Bytes*>>> tree;
  for (const Leaf& l : leaves) tree[l.type][l.name][l.language] = &l.data;
  const uint32_t rsrcRva = layout.codeSectionFirst ? 0x2000 : 0x1000, named = layout.namedEntries ? 1 : 0;
  Bytes r;  // the resource section
  std::vector<size_t> namedSlots;                          // entries for "X" and the garbage leaf
  std::vector<std::pair<size_t, const Bytes*>> leafSlots;  // where a data entry's offset goes
  // A directory with `ids` ID entries after its named one: the offset of the first ID entry.
  auto directory = [&](size_t ids) {
    const size_t at = r.size();
    r.resize(at + 16 + 8 * (named + ids));
    Put16(r, at + 12, named);
    Put16(r, at + 14, static_cast<uint32_t>(ids));
    if (named) namedSlots.push_back(at + 16);
    return at + 16 + 8 * named;
  };
  // Entry `at` gets `id` and a new directory below it.
  auto below = [&](size_t at, uint32_t id, size_t ids) {
    const size_t first = directory(ids);
    Put32(r, at, id);
    Put32(r, at + 4, 0x80000000u | static_cast<uint32_t>(first - 16 - 8 * named));
    return first;
  };
  size_t typeEntry = directory(tree.size());
  for (const auto& [type, names] : tree) {
    size_t nameEntry = below(typeEntry, type, names.size());
    typeEntry += 8;
    for (const auto& [name, languages] : names) {
      size_t languageEntry = below(nameEntry, name, languages.size());
      nameEntry += 8;
      for (const auto& [language, data] : languages) {
        Put32(r, languageEntry, language);
        leafSlots.push_back({languageEntry + 4, data});
        languageEntry += 8;
      }
    }
  }
  const Bytes garbage(64, 0xFF);
  const size_t nameString = r.size();
  Put16(r, nameString, 1);
  Put16(r, nameString + 2, u'X');
  if (named) leafSlots.push_back({0, &garbage});
  for (const auto& [slot, data] : leafSlots) {  // a data entry, its data right after it
    const size_t leaf = (r.size() + 3) & ~size_t(3);
    r.resize(leaf + 16);
    Put32(r, leaf, rsrcRva + static_cast<uint32_t>(leaf + 16));
    Put32(r, leaf + 4, static_cast<uint32_t>(data->size()));
    r.insert(r.end(), data->begin(), data->end());
    if (slot) Put32(r, slot, static_cast<uint32_t>(leaf));
    for (size_t namedSlot : slot ? std::vector<size_t>{} : namedSlots) {
      Put32(r, namedSlot, 0x80000000u | static_cast<uint32_t>(nameString));
      Put32(r, namedSlot + 4, static_cast<uint32_t>(leaf));
    }
  }

  Bytes f(0x400, 0);
  const size_t coff = 0x44, opt = coff + 20, optSize = layout.pe32plus ? 240 : 224;
  const size_t dirs = opt + (layout.pe32plus ? 112 : 96);
  const uint32_t headers = layout.codeSectionFirst ? 0x600 : 0x400;  // where .rsrc's bytes start
  // In rising order: each 32-bit write may clear the two bytes after a 16-bit field.
  const std::pair<size_t, uint32_t> fields[] = {
      {0, 0x5A4D}, {0x3C, 0x40}, {0x40, 0x4550}, {coff, layout.pe32plus ? 0x8664 : 0x014C},
      {coff + 2, layout.codeSectionFirst ? 2 : 1}, {coff + 16, optSize}, {coff + 18, 0x2102},
      {opt, layout.pe32plus ? 0x020B : 0x010B}, {dirs - 4, 16}, {dirs + 16, rsrcRva}, {dirs + 20, r.size()}};
  for (const auto& [at, value] : fields) Put32(f, at, value);
  // A section header: name, virtual size and address, raw size and offset.
  size_t section = opt + optSize;
  auto header = [&](const char* name, size_t size, uint32_t rva, uint32_t raw) {
    std::memcpy(&f[section], name, 8);
    const uint32_t values[] = {static_cast<uint32_t>(size), rva, static_cast<uint32_t>((size + 0x1FF) & ~0x1FFu), raw};
    for (size_t i = 0; i < 4; ++i) Put32(f, section + 8 + 4 * i, values[i]);
    section += 40;
  };
  if (layout.codeSectionFirst) header(".text\0\0\0", 0x200, 0x1000, 0x400);
  header(".rsrc\0\0\0", r.size(), rsrcRva, headers);
  f.resize(headers, 0xCC);  // the code section's bytes
  f.insert(f.end(), r.begin(), r.end());
  f.resize((f.size() + 0x1FF) & ~size_t(0x1FF), 0);
  return f;
}

class ResourceModuleTest : public ::testing::Test {
 protected:
  std::shared_ptr<const ResourceModule> LoadImage(const Bytes& image) {
    const std::string path = dir_ / ("m" + std::to_string(count_++) + ".dll");
    test::WriteFile(path, std::string(image.begin(), image.end()));
    return ResourceModule::Load(path);
  }
  test::TempFolder dir_;
  int count_ = 0;
};

TEST_F(ResourceModuleTest, ReadsStringsThroughEverySectionLayoutReplacesBadSurrogatesAndRefusesOtherFiles) {
  const std::vector<Leaf> leaves = {
      {6, 1, 0x409, BlockWith(3, u"three")},
      {6, 2, 0x409, BlockWith(0, u"sixteen")},
      {10, 1, 0x409, Bytes(40, 0x41)},  // RCDATA 1: not a string block
      {6, 4096, 0x409, BlockWith(15, u"last")}};
  for (bool pe32plus : {false, true})
    for (bool codeFirst : {false, true})
      for (bool named : {false, true}) {
        auto m = LoadImage(BuildImage(leaves, {pe32plus, codeFirst, named}));
        ASSERT_TRUE(m) << pe32plus << codeFirst << named;
        // Block 3 (string 32) does not exist.
        for (const auto& [id, text] : std::map<uint32_t, std::optional<std::string>>{
                 {3, "three"}, {16, "sixteen"}, {65535, "last"}, {2, {}}, {17, {}}, {32, {}}, {0x10003, {}}})
          EXPECT_EQ(m->LoadString(id), text) << id;
      }
  // Well-formed text, pairs and embedded zeros come back in the resource compiler's round trip; here, what no
  // compiler writes.
  const std::vector<std::u16string> strings = {
      std::u16string{u'a', 0xD800},                // high surrogate at the end
      std::u16string{0xDC00, u'b'},                // low surrogate alone
      std::u16string{0xD800, u'c', 0xD800, 0xDC01}, // high then not low, then a pair
  };
  auto m = LoadImage(BuildImage({{6, 1, 0x409, Block(strings)}}, {}));
  ASSERT_TRUE(m);
  // A block with only three counted strings: the rest are missing, not garbage.
  const std::optional<std::string> expected[16] = {"a\xEF\xBF\xBD", "\xEF\xBF\xBD" "b",
                                                   "\xEF\xBF\xBD" "c\xF0\x90\x80\x81"};
  for (uint32_t id = 0; id < 16; ++id) EXPECT_EQ(m->LoadString(id), expected[id]) << id;

  // Files that are no module are refused.
  EXPECT_FALSE(ResourceModule::Load(dir_ / "missing.dll"));
  EXPECT_FALSE(ResourceModule::Load(dir_.Path()));  // a folder
  test::WriteFile(dir_ / "empty.dll", "");
  EXPECT_FALSE(ResourceModule::Load(dir_ / "empty.dll"));
  test::WriteFile(dir_ / "text.dll", std::string(4096, 'M'));
  EXPECT_FALSE(ResourceModule::Load(dir_ / "text.dll"));

  Bytes image = BuildImage({{6, 1, 0x409, BlockWith(1, u"one")}}, {});
  Bytes noPe = image;
  noPe[0x40] = 'X';
  EXPECT_FALSE(LoadImage(noPe));
  Bytes badMagic = image;
  Put16(badMagic, 0x44 + 20, 0x0107);  // a ROM image
  EXPECT_FALSE(LoadImage(badMagic));

  // No resource table at all: a module, without strings.
  Bytes noResources = image;
  Put32(noResources, 0x44 + 20 + 96 + 16, 0);
  auto bare = LoadImage(noResources);
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->LoadString(1), std::nullopt);
  EXPECT_EQ(LoadImage(image)->LoadString(1), "one");
}

}  // namespace
}  // namespace qx6::platform
