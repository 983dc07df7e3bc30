#include "host/HostColumns.h"

#include <charconv>

#include "runtime/Strings.h"

namespace qx6::host {

const std::array<HostColumn, HostColumnCount>& HostColumnTable() {
  using K = ColumnKind;
  static const std::array<HostColumn, HostColumnCount> table = {{
      {1, "Job ID", K::Integer, "job_id"},
      {2, "User", K::Text, "user"},
      {3, "Full Name", K::Text, "full_name"},
      {4, "Department", K::Text, "department"},
      {5, "Account", K::Text, "account"},
      {6, "Printer", K::Text, "printer"},
      {7, "Document", K::Text, "document"},
      {8, "Computer", K::Text, "computer"},
      {9, "Print Server", K::Text, "print_server"},
      {10, "Status", K::Status, "status"},
      {11, "Queue", K::Text, "queue"},
      {12, "Date/Time", K::Date, "date_time"},
      {13, "Client", K::Text, "client"},
      {14, "Project", K::Text, "project"},
      {15, "Paper Size", K::Text, "paper_size"},
      {16, "Cost Centre", K::Text, "cost_centre"},
      {17, "Location", K::Text, "location"},
      {18, "Driver", K::Text, "driver"},
      {19, "Port", K::Text, "port"},
      {20, "Duplex", K::Boolean, "duplex"},
      {21, "Colour", K::Boolean, "colour"},
      {22, "Job Type", K::Text, "job_type"},
      {23, "Pages", K::Integer, "pages"},
      {24, "Copies", K::Integer, "copies"},
      {25, "Total Pages", K::Integer, "total_pages"},
      {26, "Sheets", K::Integer, "sheets"},
      {27, "Billable", K::Boolean, "billable"},
      {28, "Size (MB)", K::Number, "size_mb"},
      {29, "Colour Pages", K::Integer, "colour_pages"},
      {30, "Mono Pages", K::Integer, "mono_pages"},
      {31, "Sequence", K::Integer, "sequence"},
      {32, "Page Rate", K::Number, "page_rate"},
      {33, "Sheet Rate", K::Number, "sheet_rate"},
      {34, "Cost", K::Number, "cost"},
      {35, "Price", K::Number, "price"},
      {36, "Released", K::Boolean, "released"},
      {37, "Comment", K::Text, "comment"},
      {38, "Group", K::Text, "group_name"},
      {39, "Site", K::Text, "site"},
      {40, "Email", K::Text, "email"},
      {41, "Card Number", K::Text, "card_number"},
      {42, "Release Station", K::Text, "release_station"},
      {43, "Tray", K::Text, "tray"},
      {44, "Media Type", K::Text, "media_type"},
      {45, "Notes", K::Text, "notes"},
  }};
  return table;
}

ComPtr<IJobColumns> MakeHostColumns() {
  auto columns = MakeObject<JobColumns>();
  for (const HostColumn& c : HostColumnTable()) {
    auto column = MakeObject<JobColumn>(c.id, c.title);
    columns->Add(column.Get());
  }
  return columns;
}

const HostColumn* FindHostColumn(std::string_view name) {
  std::string_view trimmed = Strings::Trim(name);
  int32_t number = 0;
  auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), number);
  const bool numeric = ec == std::errc() && end == trimmed.data() + trimmed.size();
  for (const HostColumn& c : HostColumnTable()) {
    if (numeric ? c.id == number : (Strings::EqualsText(c.title, trimmed) || Strings::EqualsText(c.field, trimmed)))
      return &c;
  }
  return nullptr;
}

std::string CreateJobsTableSql(const char* (*type)(ColumnKind)) {
  std::string create = "CREATE TABLE jobs (";
  for (const HostColumn& c : HostColumnTable()) {
    if (c.id > 1) create += ", ";
    create += '"';
    create += c.field;
    create += "\" ";
    create += type(c.kind);
    if (c.id == 1) create += " PRIMARY KEY";
  }
  return create + ")";
}

std::string JobFieldList() {
  std::string list;
  for (const HostColumn& c : HostColumnTable()) {
    if (!list.empty()) list += ", ";
    list += '"';
    list += c.field;
    list += '"';
  }
  return list;
}

}  // namespace qx6::host
