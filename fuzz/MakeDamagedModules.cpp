// Writes damaged copies of a resource module into a folder: the file cut at
// every eighth byte, header fields and resource directory entries pointing
// past the end or back at their own directory, counts and sizes at their
// maximum, strings running past their block. The resource reader must take
// each of them without a crash (see the fuzz tests).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

class Damager {
 public:
  Damager(Bytes image, fs::path folder) : image_(std::move(image)), folder_(std::move(folder)) {}

  uint32_t Get16(size_t at) const { return at + 2 <= image_.size() ? image_[at] | (image_[at + 1] << 8) : 0; }
  uint32_t Get32(size_t at) const {
    return at + 4 <= image_.size()
               ? uint32_t(image_[at]) | (uint32_t(image_[at + 1]) << 8) | (uint32_t(image_[at + 2]) << 16) |
                     (uint32_t(image_[at + 3]) << 24)
               : 0;
  }

  void Write(const std::string& name, const Bytes& bytes) {
    std::ofstream out(folder_ / (name + ".dll"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (folder_ / name).string());
    ++count_;
  }
  void Patch16(const std::string& name, size_t at, uint16_t value) {
    Bytes copy = image_;
    copy[at] = value & 0xFF;
    copy[at + 1] = value >> 8;
    Write(name, copy);
  }
  void Patch32(const std::string& name, size_t at, uint32_t value) {
    Bytes copy = image_;
    for (int i = 0; i < 4; ++i) copy[at + i] = (value >> (8 * i)) & 0xFF;
    Write(name, copy);
  }
  // Every value that makes a 32-bit offset or size wrong in its own way.
  void PatchOffset(const std::string& name, size_t at, uint32_t self) {
    Patch32(name + "-huge", at, 0x7FFFFFF0u);
    Patch32(name + "-max", at, 0xFFFFFFFFu);
    Patch32(name + "-end", at, static_cast<uint32_t>(image_.size()));
    Patch32(name + "-root", at, 0x80000000u);
    Patch32(name + "-self", at, 0x80000000u | self);
    Patch32(name + "-zero", at, 0);
  }

  size_t Size() const { return image_.size(); }
  int Count() const { return count_; }

 private:
  Bytes image_;
  fs::path folder_;
  int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s MODULE FOLDER\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 1;
  }
  const Bytes image{std::istreambuf_iterator<char>(in), {}};
  std::error_code ec;
  fs::create_directories(argv[2], ec);
  if (ec) {
    std::fprintf(stderr, "%s: cannot create %s: %s\n", argv[0], argv[2], ec.message().c_str());
    return 1;
  }
  Damager d(image, argv[2]);
  try {
    for (size_t cut = 0; cut < image.size(); cut += 8) {
      d.Write("cut-" + std::to_string(cut), Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut)));
    }

    const size_t pe = d.Get32(0x3C);
    if (pe + 24 > image.size() || d.Get32(pe) != 0x00004550u) {
      std::fprintf(stderr, "%s: %s is not a PE module\n", argv[0], argv[1]);
      return 1;
    }
    d.PatchOffset("lfanew", 0x3C, 0);
    const size_t coff = pe + 4;
    const uint32_t sections = d.Get16(coff + 2);
    const uint32_t optionalSize = d.Get16(coff + 16);
    d.Patch16("sections-none", coff + 2, 0);
    d.Patch16("sections-max", coff + 2, 0xFFFF);
    d.Patch16("optional-max", coff + 16, 0xFFFF);
    const size_t optional = coff + 20;
    const bool plus = d.Get16(optional) == 0x20B;
    const size_t resourceEntry = optional + (plus ? 112 : 96) + 2 * 8;
    d.Patch32("rsrc-count", optional + (plus ? 108 : 92), 0xFFFFFFFFu);
    d.PatchOffset("rsrc-rva", resourceEntry, 0);
    d.Patch32("rsrc-size", resourceEntry + 4, 0xFFFFFFFFu);

    // Sections, and the file offset of the resource table through them.
    const uint32_t resourceRva = d.Get32(resourceEntry);
    size_t resourceBase = 0;
    uint32_t sectionRva = 0;
    for (uint32_t i = 0; i < sections; ++i) {
      const size_t header = optional + optionalSize + 40 * i;
      const std::string name = "section" + std::to_string(i);
      d.PatchOffset(name + "-vsize", header + 8, 0);
      d.PatchOffset(name + "-rva", header + 12, 0);
      d.PatchOffset(name + "-rawsize", header + 16, 0);
      d.PatchOffset(name + "-rawptr", header + 20, 0);
      const uint32_t va = d.Get32(header + 12);
      const uint32_t raw = d.Get32(header + 16);
      if (resourceRva >= va && resourceRva < va + raw) {
        resourceBase = d.Get32(header + 20) + (resourceRva - va);
        sectionRva = va;
      }
    }
    if (resourceBase == 0) {
      std::fprintf(stderr, "%s: %s has no resource table in a section\n", argv[0], argv[1]);
      return 1;
    }
    const size_t sectionOffset = resourceBase - (resourceRva - sectionRva);

    // The directory tree: counts, names, offsets; the data entries; the strings.
    std::set<uint32_t> seen;
    std::function<void(uint32_t, int)> walk = [&](uint32_t dir, int depth) {
      if (!seen.insert(dir).second || depth > 3) return;
      const size_t at = resourceBase + dir;
      const std::string name = "dir" + std::to_string(dir);
      d.Patch16(name + "-named-max", at + 12, 0xFFFF);
      d.Patch16(name + "-ids-max", at + 14, 0xFFFF);
      const uint32_t entries = d.Get16(at + 12) + d.Get16(at + 14);
      for (uint32_t e = 0; e < entries; ++e) {
        const size_t entry = at + 16 + 8 * e;
        const std::string entryName = name + "-entry" + std::to_string(e);
        d.Patch32(entryName + "-name-string", entry, 0xFFFFFFFFu);
        d.PatchOffset(entryName + "-offset", entry + 4, dir);
        const uint32_t target = d.Get32(entry + 4);
        if (target & 0x80000000u) {
          walk(target & 0x7FFFFFFFu, depth + 1);
          continue;
        }
        const size_t data = resourceBase + target;
        const std::string dataName = "data" + std::to_string(target);
        d.PatchOffset(dataName + "-rva", data, 0);
        d.PatchOffset(dataName + "-size", data + 4, 0);
        // The block's strings: each length word at its maximum in turn.
        const uint32_t rva = d.Get32(data);
        const uint32_t size = d.Get32(data + 4);
        size_t s = sectionOffset + (rva - sectionRva);
        const size_t end = s + size;
        for (int i = 0; i < 16 && s + 2 <= end && s + 2 <= d.Size(); ++i) {
          d.Patch16(dataName + "-string" + std::to_string(i) + "-long", s, 0xFFFF);
          s += 2 + 2 * d.Get16(s);
        }
      }
    };
    walk(0, 0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  std::printf("%d damaged modules in %s\n", d.Count(), argv[2]);
  return 0;
}
