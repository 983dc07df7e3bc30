// Finished jobs from a running print scheduler (cupsd), asked over IPP with
// libcups: Get-Jobs for the completed jobs of every queue and user, with the
// attributes that carry pages, sheets, copies, media, sides, colour, billing,
// originating host, name and times.
#pragma once

#include <string>
#include <vector>

#include "host/CupsJob.h"

namespace qx6::host::CupsIpp {

// `server` is a host name with an optional ":port", an IP address, or the
// path of the scheduler's local socket; empty means the one libcups would
// use ($CUPS_SERVER, client.conf, else the local scheduler). Every job gets
// `serverName` as its print server. A job that lacks its id, queue or times
// is reported and skipped. std::runtime_error, naming the server, when it
// cannot be reached or refuses the request.
std::vector<CupsJob> CompletedJobs(const std::string& server, const std::string& serverName,
                                   const CupsReport& report);

// The server libcups uses when none is named.
std::string DefaultServer();

}  // namespace qx6::host::CupsIpp
