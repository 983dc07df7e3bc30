// The product's compiled HTML help file (.chm), read through chmlib: the
// topic of a context ID from the file's own map, the bytes of a page, image
// or style sheet, and the table of contents. A missing or damaged file and an
// unknown topic are reported with a text, never by a crash.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct chmFile;

namespace qx6 {

// One entry of the table of contents: its depth (0 at the top), title and
// the page it opens ("" for a heading without a page).
struct HelpContentsEntry {
  int level = 0;
  std::string name;
  std::string local;
};

// The entries of a sitemap (.hhc) in document order; whatever is not an
// entry is skipped, so a damaged sitemap gives fewer entries, not an error.
std::vector<HelpContentsEntry> ParseSitemap(std::string_view html);

class HelpFile {
 public:
  HelpFile() = default;
  ~HelpFile();
  HelpFile(const HelpFile&) = delete;
  HelpFile& operator=(const HelpFile&) = delete;

  // False, with ErrorText set, when the file is missing or is no readable
  // help file. Closes any file opened before.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }
  // Why the last operation that failed did so.
  const std::string& ErrorText() const { return error_; }

  // The page that a context ID opens, as a path inside the file ("/x.html").
  std::optional<std::string> TopicPath(int32_t contextId);
  // The bytes of a stored file ("/x.html" or "x.html").
  std::optional<std::string> ReadFile(std::string_view path);
  bool HasFile(std::string_view path);

  // What the file's system record names; empty when it names none.
  const std::string& Title() const { return title_; }
  const std::string& DefaultTopic() const { return defaultTopic_; }
  const std::string& ContentsFile() const { return contentsFile_; }

  // The table of contents, empty when the file has none.
  std::vector<HelpContentsEntry> Contents();

 private:
  bool ReadSystemRecord();
  std::optional<std::string> ResolveStoredPath(std::string_view name);
  bool Fail(std::string text);

  chmFile* file_ = nullptr;
  std::string path_, error_, title_, defaultTopic_, contentsFile_;
};

}  // namespace qx6
