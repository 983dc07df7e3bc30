#include "host/CupsIpp.h"

#include <cups/cups.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>

namespace qx6::host::CupsIpp {
namespace {

// What the import maps, and what tells one job from another.
constexpr const char* RequestedAttributes[] = {
    "job-id", "job-printer-uri", "job-name", "job-originating-user-name", "job-originating-host-name",
    "job-billing", "copies", "media", "sides", "print-color-mode", "job-impressions-completed",
    "job-media-sheets-completed", "job-k-octets", "time-at-creation", "time-at-processing",
    "time-at-completed", "job-state", "document-format"};

struct HttpClose {
  void operator()(http_t* http) const { httpClose(http); }
};
struct IppDelete {
  void operator()(ipp_t* ipp) const { ippDelete(ipp); }
};

}  // namespace

std::string DefaultServer() { return cupsServer(); }

std::vector<CupsJob> CompletedJobs(const std::string& server, const std::string& serverName,
                                   const CupsReport& report) {
  std::string host = server.empty() ? DefaultServer() : server;
  if (host.empty()) host = "localhost";
  int port = ippPort();
  // "host:port", but not a socket path or a bare IPv6 address.
  if (!host.empty() && host[0] != '/') {
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(':') == colon) {
      int value = 0;
      const auto [end, ec] = std::from_chars(host.data() + colon + 1, host.data() + host.size(), value);
      if (ec != std::errc() || end != host.data() + host.size() || value <= 0 || value > 65535)
        throw std::runtime_error("'" + host + "' names no print scheduler: the port is no number from 1 to 65535");
      port = value;
      host.resize(colon);
    }
  }
  const std::string named = host + (host[0] == '/' ? "" : ":" + std::to_string(port));
  // Made without connecting (no time given), so that a failed connection
  // keeps its reason.
  std::unique_ptr<http_t, HttpClose> http(
      httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, cupsEncryption(), 1, 0, nullptr));
  if (!http)
    throw std::runtime_error("cannot reach the print scheduler at " + named + ": the name does not resolve");
  if (httpReconnect2(http.get(), 30000, nullptr) != 0) {
    // libcups reports every failed address as EHOSTDOWN.
    const int error = httpError(http.get());
    std::string why = error && error != EHOSTDOWN ? std::strerror(error) : "nothing answers there (is cupsd running?)";
    if (host[0] == '/' && access(host.c_str(), F_OK) != 0) why = "there is no such socket";
    throw std::runtime_error("cannot reach the print scheduler at " + named + ": " + why);
  }

  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "completed");
  ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 0);
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(RequestedAttributes)), nullptr, RequestedAttributes);
  std::unique_ptr<ipp_t, IppDelete> response(cupsDoRequest(http.get(), request, "/"));
  if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING)
    throw std::runtime_error("the print scheduler at " + named + " did not list its jobs: " + cupsLastErrorString());

  std::vector<CupsJob> jobs;
  std::vector<char> text(64 * 1024);
  auto finish = [&](CupsJob& job) {
    auto number = [&](const char* name) -> int64_t {
      const std::string* value = job.Attribute(name);
      int64_t result = 0;
      if (!value || std::from_chars(value->data(), value->data() + value->size(), result).ec != std::errc()) return 0;
      return result;
    };
    job.id = number("job-id");
    job.state = static_cast<int32_t>(number("job-state"));
    // The time of its making tells a job from an earlier one of the same id;
    // a job made before the scheduler kept it has at least a later time.
    for (const char* name : {"time-at-creation", "time-at-processing", "time-at-completed"}) {
      if (const int64_t time = number(name); time > 0) {
        job.time = job.identityTime = time;
        break;
      }
    }
    if (const std::string* uri = job.Attribute("job-printer-uri")) job.printer = uri->substr(uri->rfind('/') + 1);
    job.where = "job " + std::to_string(job.id) + " at " + named;
    if (job.id <= 0) return report(named + ": a job without its id is skipped");
    if (job.printer.empty()) return report(job.where + ": the job names no queue (job-printer-uri); it is skipped");
    if (job.time <= 0) return report(job.where + ": the job has no time (time-at-creation); it is skipped");
    if (job.state < 7) return;  // not finished after all
    jobs.push_back(std::move(job));
  };
  std::optional<CupsJob> job;
  for (ipp_attribute_t* attr = ippFirstAttribute(response.get()); attr; attr = ippNextAttribute(response.get())) {
    if (ippGetGroupTag(attr) != IPP_TAG_JOB) {
      // A separator (no name, no group) ends a job.
      if (job) finish(*job);
      job.reset();
      continue;
    }
    if (!job) {
      job.emplace();
      job->server = serverName;
    }
    const char* name = ippGetName(attr);
    if (!name) continue;
    // Enums as their numbers (job-state 9, not "completed").
    if (ippGetValueTag(attr) == IPP_TAG_ENUM) job->attributes[name] = std::to_string(ippGetInteger(attr, 0));
    else {
      ippAttributeString(attr, text.data(), text.size());
      job->attributes[name] = text.data();
    }
  }
  if (job) finish(*job);
  // In the order they were made, so that the host's ids follow it.
  std::stable_sort(jobs.begin(), jobs.end(), [](const CupsJob& a, const CupsJob& b) {
    return a.identityTime != b.identityTime ? a.identityTime < b.identityTime : a.id < b.id;
  });
  return jobs;
}

}  // namespace qx6::host::CupsIpp
