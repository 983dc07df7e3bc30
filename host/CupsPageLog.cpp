#include "host/CupsPageLog.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace qx6::host {
namespace {

// A line longer than this is no page log line (cupsd writes a few hundred
// bytes); it is skipped rather than held in memory.
constexpr size_t MaxLineBytes = 64 * 1024;
// 31 December 9999, the last day a job's date can have.
constexpr int64_t LastLogTime = 253402300799;

bool IsDigits(std::string_view text) {
  return !text.empty() && text.size() <= 18 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int64_t ToNumber(std::string_view digits) {
  int64_t value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Bytes that are no UTF-8 become "?": the database holds text, and a job
// is worth keeping for a stray byte in its name.
void MakeUtf8(std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool valid = length > 0 && i + length <= text.size() && !(c == 0xC0 || c == 0xC1 || c > 0xF4);
    for (size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!valid) {
      text[i] = '?';
      length = 1;
    }
    i += length;
  }
}

}  // namespace

std::optional<int64_t> ParseLogTime(std::string_view t) {
  // [dd/Mon/yyyy:HH:MM:SS +zzzz]
  if (t.size() != 28 || t[0] != '[' || t[3] != '/' || t[7] != '/' || t[12] != ':' || t[15] != ':' ||
      t[18] != ':' || t[21] != ' ' || (t[22] != '+' && t[22] != '-') || t[27] != ']')
    return std::nullopt;
  static constexpr std::string_view months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  unsigned month = 0;
  for (unsigned m = 0; m < 12; ++m)
    if (t.substr(4, 3) == months[m]) month = m + 1;
  const std::string_view day = t.substr(1, 2), year = t.substr(8, 4), hour = t.substr(13, 2),
                         minute = t.substr(16, 2), second = t.substr(19, 2), zone = t.substr(23, 4);
  for (std::string_view part : {day, year, hour, minute, second, zone})
    if (!IsDigits(part)) return std::nullopt;
  const int64_t y = ToNumber(year), d = ToNumber(day), h = ToNumber(hour), mi = ToNumber(minute),
                s = ToNumber(second), zh = ToNumber(zone.substr(0, 2)), zm = ToNumber(zone.substr(2));
  static constexpr int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (month == 0 || y < 1970 || y > 9999 || d < 1 || d > monthDays[month - 1] || (month == 2 && d == 29 && !leap) || h > 23 ||
      mi > 59 || s > 60 || zh > 23 || zm > 59)
    return std::nullopt;
  const int64_t offset = (zh * 60 + zm) * 60 * (t[22] == '-' ? -1 : 1);
  return DaysFromCivil(y, month, static_cast<unsigned>(d)) * 86400 + h * 3600 + mi * 60 + s - offset;
}

PageLogFormat::PageLogFormat(std::string_view format) : text_(format) {
  bool printer = false, jobId = false, time = false;
  auto literal = [&](char c) {
    if (items_.empty() || items_.back().kind != Kind::Literal) items_.push_back({Kind::Literal, {}});
    items_.back().text += c;
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      literal(format[i]);
      continue;
    }
    if (++i == format.size()) {
      literal('%');
      break;
    }
    switch (format[i]) {
      case '%': literal('%'); break;
      case 'p': items_.push_back({Kind::Printer, {}}); printer = true; break;
      case 'u': items_.push_back({Kind::User, {}}); break;
      case 'j': items_.push_back({Kind::JobId, {}}); jobId = true; break;
      case 'T': items_.push_back({Kind::Time, {}}); time = true; break;
      case 'P': items_.push_back({Kind::Page, {}}); logsPages_ = true; break;
      case 'C': items_.push_back({Kind::Copies, {}}); break;
      case '{': {
        const size_t end = format.find('}', i);
        if (end == std::string_view::npos)
          throw std::runtime_error("the page log format \"" + text_ + "\" has a %{ without its }");
        const std::string name(format.substr(i + 1, end - i - 1));
        if (name == "time-at-creation") time = true;
        // Names, billing codes and other free text may hold spaces;
        // keywords, numbers, times and host names never do.
        bool spaces = false;
        for (const char* word : {"name", "billing", "description", "info", "message", "title", "user"})
          if (name.find(word) != std::string::npos && name != "job-originating-host-name") spaces = true;
        items_.push_back({Kind::Attribute, name, spaces});
        i = end;
        break;
      }
      default:
        // cupsd copies an unknown sequence as it stands.
        literal('%');
        literal(format[i]);
    }
  }
  if (!printer || !jobId || !time)
    throw std::runtime_error("the page log format \"" + text_ +
                             "\" does not name a job: it needs the printer (%p), the job id (%j) and a time (%T or "
                             "%{time-at-creation})");
}

bool PageLogFormat::Fits(const Item& item, std::string_view value) const {
  switch (item.kind) {
    case Kind::Printer: return !value.empty() && value.find(' ') == std::string_view::npos;
    case Kind::JobId: return IsDigits(value) && ToNumber(value) > 0;
    case Kind::Time: return ParseLogTime(value).has_value();
    case Kind::Page: return value == "total" || IsDigits(value);
    case Kind::Copies: return IsDigits(value);
    case Kind::User: return !value.empty();
    case Kind::Attribute: return item.spaces || value.find(' ') == std::string_view::npos;
    default: return true;
  }
}

// Fields take as little as they can, so that where the spaces of a value
// leave a choice the later field takes them: in the standard format the job
// name before the media and sides.
bool PageLogFormat::Match(std::string_view line, size_t item, size_t at, std::vector<std::string_view>& values,
                          int& budget) const {
  if (--budget < 0) return false;
  if (item == items_.size()) return at == line.size();
  const Item& current = items_[item];
  if (current.kind == Kind::Literal) {
    if (line.substr(at, current.text.size()) != current.text) return false;
    return Match(line, item + 1, at + current.text.size(), values, budget);
  }
  const bool last = item + 1 == items_.size();
  const std::string* next = !last && items_[item + 1].kind == Kind::Literal ? &items_[item + 1].text : nullptr;
  if (current.kind == Kind::Time) {
    // The time is one bracketed piece.
    const size_t close = line.find(']', at);
    if (close == std::string_view::npos) return false;
    const std::string_view value = line.substr(at, close + 1 - at);
    if (!Fits(current, value)) return false;
    values[item] = value;
    return Match(line, item + 1, close + 1, values, budget);
  }
  for (size_t end = last ? line.size() : at; end <= line.size(); ++end) {
    if (next) {
      end = line.find(*next, end);
      if (end == std::string_view::npos) return false;
    }
    const std::string_view value = line.substr(at, end - at);
    if (Fits(current, value)) {
      values[item] = value;
      if (Match(line, item + 1, end, values, budget)) return true;
    } else if (current.kind != Kind::User && !current.spaces && value.find(' ') != std::string_view::npos) {
      return false;  // a longer value of a one-word field would not fit either
    }
    if (--budget < 0) return false;
  }
  return false;
}

bool PageLogFormat::Parse(std::string_view line, PageLogLine& out, std::string& why) const {
  std::vector<std::string_view> values(items_.size());
  int budget = 20000;
  if (!Match(line, 0, 0, values, budget)) {
    why = budget < 0 ? "the line is too tangled to split by the page log format"
                     : "the line does not fit the page log format \"" + text_ + "\"";
    // Name the first field that is wrong where that is plain.
    std::string_view rest = line;
    for (const Item& item : items_) {
      if (item.kind == Kind::Literal) {
        if (rest.substr(0, item.text.size()) != item.text) break;
        rest.remove_prefix(item.text.size());
        continue;
      }
      const size_t space = item.kind == Kind::Time ? rest.find(']') + 1 : rest.find(' ');
      const std::string_view word = rest.substr(0, space);
      if (item.kind == Kind::JobId && !Fits(item, word)) {
        why = "the job id \"" + std::string(word) + "\" is no number";
        break;
      }
      if (item.kind == Kind::Time && !Fits(item, word)) {
        why = "the time \"" + std::string(word.substr(0, 40)) + "\" is no date [dd/Mon/yyyy:hh:mm:ss +zzzz]";
        break;
      }
      if (item.kind == Kind::Page && !Fits(item, word)) {
        why = "the page \"" + std::string(word.substr(0, 40)) + "\" is neither a number nor \"total\"";
        break;
      }
      if (item.kind == Kind::Copies && !Fits(item, word)) {
        why = "the copies \"" + std::string(word.substr(0, 40)) + "\" are no number";
        break;
      }
      if (space == std::string_view::npos) break;
      rest.remove_prefix(space);
    }
    return false;
  }
  out = PageLogLine{};
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string_view value = values[i];
    switch (items_[i].kind) {
      case Kind::Literal: break;
      case Kind::Printer: out.printer = value; break;
      case Kind::User: out.user = value; break;
      case Kind::JobId: out.jobId = ToNumber(value); break;
      case Kind::Time: out.time = ParseLogTime(value); break;
      case Kind::Page: out.page = value; break;
      case Kind::Copies: out.copies = ToNumber(value); break;
      case Kind::Attribute:
        // "-" is what cupsd writes for an attribute the job does not have.
        if (value != "-") out.attributes[items_[i].text] = std::string(value);
        break;
    }
  }
  for (std::string* text : {&out.printer, &out.user}) MakeUtf8(*text);
  for (auto& [name, value] : out.attributes) MakeUtf8(value);
  return true;
}

std::optional<std::string> PageLogFormatOf(const std::string& cupsdConf) {
  std::ifstream in(cupsdConf);
  if (!in) throw std::runtime_error("cannot read " + cupsdConf + ": " + std::strerror(errno));
  std::optional<std::string> format = std::string(PageLogFormat::Standard);
  for (std::string line; std::getline(in, line);) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const std::string_view directive = "PageLogFormat";
    if (line.compare(start, directive.size(), directive) != 0) continue;
    const size_t after = start + directive.size();
    if (after < line.size() && line[after] != ' ' && line[after] != '\t') continue;
    std::string value = line.substr(after);
    value.erase(0, value.find_first_not_of(" \t"));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
    // A quoted value is what cupsd reads as the text inside the quotes.
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.empty()) format.reset();
    else format = value;
  }
  return format;
}

std::vector<std::string> PageLogFiles(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path log(path);
  const fs::path folder = log.has_parent_path() ? log.parent_path() : fs::path(".");
  const std::string name = log.filename().string();
  std::vector<std::pair<std::string, std::string>> dated;      // date, path
  std::vector<std::pair<int64_t, std::string>> numbered;       // number, path
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string entry = it->path().filename().string();
    if (entry.size() <= name.size() || entry.compare(0, name.size(), name) != 0) continue;
    std::string_view rest = std::string_view(entry).substr(name.size());
    if (rest.size() > 3 && rest.substr(rest.size() - 3) == ".gz") rest.remove_suffix(3);
    if (rest.size() == 9 && rest[0] == '-' && IsDigits(rest.substr(1)))
      dated.emplace_back(std::string(rest.substr(1)), it->path().string());
    else if (rest.size() > 1 && rest[0] == '.' && IsDigits(rest.substr(1)))
      numbered.emplace_back(ToNumber(rest.substr(1)), it->path().string());
  }
  std::sort(dated.begin(), dated.end());
  std::sort(numbered.begin(), numbered.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  std::vector<std::string> files;
  for (const auto& [date, file] : dated) files.push_back(file);
  for (const auto& [number, file] : numbered) files.push_back(file);
  if (fs::is_regular_file(path + ".O", ec)) files.push_back(path + ".O");
  if (fs::is_regular_file(path, ec)) files.push_back(path);
  return files;
}

namespace {

// Reads a file, compressed or not (zlib reads a plain file as it is), one
// line at a time.
class LogReader {
 public:
  explicit LogReader(const std::string& path) : path_(path) {
    file_ = gzopen(path.c_str(), "rb");
    if (!file_) throw std::runtime_error("cannot open the page log " + path + ": " + std::strerror(errno ? errno : ENOMEM));
    gzbuffer(file_, 1 << 16);
  }
  ~LogReader() {
    if (file_) gzclose(file_);
  }
  LogReader(const LogReader&) = delete;
  LogReader& operator=(const LogReader&) = delete;

  // False at the end. `complete` is false for a last line without its line
  // feed; `tooLong` when the line was cut at MaxLineBytes.
  bool Next(std::string& line, bool& complete, bool& tooLong) {
    line.clear();
    complete = false;
    tooLong = false;
    for (;;) {
      // A piece cut off by damage is no line.
      if (position_ == size_ && !Fill()) return damage_.empty() && (!line.empty() || tooLong);
      const char* start = buffer_ + position_;
      const char* newline = static_cast<const char*>(std::memchr(start, '\n', size_ - position_));
      const size_t take = newline ? static_cast<size_t>(newline - start) : size_ - position_;
      if (line.size() + take <= MaxLineBytes) line.append(start, take);
      else tooLong = true;
      position_ += take;
      if (newline) {
        ++position_;
        complete = true;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
    }
  }

  // Why the rest of the file cannot be read, or empty.
  const std::string& Damage() const { return damage_; }

 private:
  bool Fill() {
    if (ended_) return false;
    const int n = gzread(file_, buffer_, sizeof buffer_);
    int code = Z_OK;
    const char* message = n <= 0 ? gzerror(file_, &code) : nullptr;
    // A compressed file cut short ends without an error from gzread, but
    // with Z_BUF_ERROR kept for gzerror.
    if (n < 0 || code != Z_OK) {
      damage_ = code == Z_ERRNO ? std::strerror(errno) : (message ? message : "damaged");
      ended_ = true;
      return false;
    }
    ended_ = n == 0;
    size_ = static_cast<size_t>(n);
    position_ = 0;
    return n > 0;
  }

  std::string path_;
  gzFile file_ = nullptr;
  char buffer_[1 << 16];
  size_t size_ = 0, position_ = 0;
  bool ended_ = false;
  std::string damage_;
};

// A job whose lines have begun but not ended.
struct OpenJob {
  CupsJob job;
  int64_t lastTime = 0;
  int64_t highestPage = 0;
  int64_t impressions = 0;      // added up from the page lines
  std::optional<int64_t> total;  // from the "total" line
  bool pageLines = false;
};

void Merge(CupsJob& job, const PageLogLine& line) {
  for (const auto& [name, value] : line.attributes) job.attributes.emplace(name, value);
  if (!line.user.empty()) job.attributes.emplace("job-originating-user-name", line.user);
}

OpenJob Begin(const PageLogLine& line, const std::string& server) {
  OpenJob open;
  open.job.server = server;
  open.job.printer = line.printer;
  open.job.id = line.jobId;
  open.job.time = line.time.value_or(0);
  open.lastTime = open.job.time;
  open.job.state = 9;
  Merge(open.job, line);
  return open;
}

// The job as it ends: its identity and its counts.
CupsJob Finish(OpenJob& open, const std::string& where) {
  CupsJob job = std::move(open.job);
  job.where = where;
  // With the time of its making logged, a job has the identity the
  // scheduler gives it over IPP; without, the time of its last line, which
  // a rotation that drops its first lines leaves alone.
  job.identityTime = open.lastTime;
  if (const std::string* created = job.Attribute("time-at-creation");
      created && IsDigits(*created) && ToNumber(*created) <= LastLogTime) {
    job.identityTime = ToNumber(*created);
    job.time = job.identityTime;
  }
  const std::optional<int64_t> impressions = open.total ? open.total : open.pageLines ? std::optional(open.impressions)
                                                                                     : std::nullopt;
  if (impressions) job.attributes.insert_or_assign("job-impressions-completed", std::to_string(*impressions));
  if (open.pageLines) {
    job.pagesPerCopy = open.highestPage;
    // Pages printed one copy at a time repeat their numbers; several copies
    // of each page say so in the page's copies.
    if (impressions && open.highestPage > 0 && *impressions % open.highestPage == 0)
      job.attributes.emplace("copies", std::to_string(*impressions / open.highestPage));
  }
  return job;
}

}  // namespace

PageLogJobs ReadPageLogs(const std::vector<std::string>& files, const PageLogFormat& format,
                         const std::string& server, const CupsReport& report) {
  PageLogJobs result;
  std::map<std::string, OpenJob> open;  // by printer: a printer prints one job at a time
  auto close = [&](std::map<std::string, OpenJob>::iterator it, const std::string& where) {
    // A job that logged pages but no total ended when its printer began another.
    if (it->second.pageLines) result.jobs.push_back(Finish(it->second, where));
    open.erase(it);
  };
  std::string text;
  PageLogLine line;
  std::string why;
  for (size_t f = 0; f < files.size(); ++f) {
    const std::string& path = files[f];
    const bool newest = f + 1 == files.size();
    std::unique_ptr<LogReader> opened;
    try {
      opened = std::make_unique<LogReader>(path);
    } catch (const std::runtime_error&) {
      // logrotate may remove its oldest file while the import lists them.
      if (!newest && !std::filesystem::exists(path)) continue;
      throw;
    }
    LogReader& reader = *opened;
    bool complete = false, tooLong = false;
    int64_t number = 0;
    while (reader.Next(text, complete, tooLong)) {
      ++number;
      // The line cupsd is writing now comes whole next time.
      if (newest && !complete) break;
      ++result.lines;
      const std::string where = path + ":" + std::to_string(number);
      if (tooLong) {
        report(where + ": the line is longer than " + std::to_string(MaxLineBytes / 1024) + " KiB");
        ++result.skippedLines;
        continue;
      }
      if (text.empty()) continue;
      if (!format.Parse(text, line, why)) {
        report(where + ": " + why);
        ++result.skippedLines;
        continue;
      }
      auto it = open.find(line.printer);
      if (it != open.end() && it->second.job.id != line.jobId) {
        close(it, it->second.job.where);
        it = open.end();
      }
      if (!format.LogsPages() || line.page == "total") {
        OpenJob job = it != open.end() ? std::move(it->second) : Begin(line, server);
        if (it != open.end()) open.erase(it);
        Merge(job.job, line);
        job.lastTime = line.time.value_or(job.lastTime);
        // On a "total" line %C is the job's impressions.
        if (format.LogsPages()) job.total = line.copies;
        result.jobs.push_back(Finish(job, where));
        continue;
      }
      if (it == open.end()) it = open.emplace(line.printer, Begin(line, server)).first;
      OpenJob& job = it->second;
      Merge(job.job, line);
      job.job.where = where;
      job.lastTime = line.time.value_or(job.lastTime);
      job.pageLines = true;
      job.highestPage = std::max(job.highestPage, ToNumber(line.page));
      job.impressions += line.copies.value_or(1);
    }
    if (!reader.Damage().empty()) {
      report(path + ":" + std::to_string(number + 1) + ": the compressed file is damaged (" + reader.Damage() +
             "); the rest of it is skipped");
      ++result.skippedLines;
    }
  }
  result.pendingJobs = static_cast<int64_t>(open.size());
  return result;
}

}  // namespace qx6::host
