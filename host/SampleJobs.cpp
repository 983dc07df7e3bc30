#include "host/SampleJobs.h"

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/RuntimeError.h"

namespace qx6::host {
namespace {

// splitmix64: tiny, fast and the same everywhere (unlike the distributions of
// <random>, whose results differ between library versions).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>((Next() >> 32) * n >> 32); }
  // lo .. hi
  int32_t Between(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(Below(static_cast<uint32_t>(hi - lo + 1))); }
  bool Percent(uint32_t percent) { return Below(1000) < percent * 10; }
  bool PerMille(uint32_t perMille) { return Below(1000) < perMille; }
  template <size_t N>
  size_t Weighted(const int (&weights)[N]) {
    int total = 0;
    for (int w : weights) total += w;
    int pick = static_cast<int>(Below(static_cast<uint32_t>(total)));
    for (size_t i = 0; i < N; ++i) {
      if (pick < weights[i]) return i;
      pick -= weights[i];
    }
    return N - 1;
  }
  template <class T, size_t N>
  const T& Of(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  uint64_t state_;
};

struct Department {
  std::string_view name, costCentre, account;
  int marginPercent;
  int clientWorkPercent;  // jobs done for a client, billable
};

constexpr Department kDepartments[] = {
    {"Finance", "CC-1100", "FIN-GENERAL", 15, 5},
    {"Sales", "CC-1200", "SAL-ACCOUNTS", 25, 45},
    {"Marketing", "CC-1300", "MKT-CAMPAIGNS", 25, 35},
    {"Engineering", "CC-1400", "ENG-PROJECTS", 20, 40},
    {"Human Resources", "CC-1500", "HR-GENERAL", 15, 0},
    {"Legal", "CC-1600", "LEG-MATTERS", 30, 60},
    {"IT", "CC-1700", "IT-OPERATIONS", 10, 5},
    {"Operations", "CC-1800", "OPS-GENERAL", 15, 10},
    {"Customer Service", "CC-1900", "CS-SUPPORT", 15, 20},
    {"Executive", "CC-2000", "EXE-BOARD", 20, 10},
};

struct Site {
  std::string_view name, prefix, printServer;
};

constexpr Site kSites[] = {
    {"London HQ", "LON", "PRINTSRV-LON01"},
    {"Manchester", "MAN", "PRINTSRV-MAN01"},
    {"Dublin", "DUB", "PRINTSRV-DUB01"},
    {"München", "MUC", "PRINTSRV-MUC01"},
};

struct Printer {
  std::string_view name, queue, driver, port, location, releaseStation;  // empty: no release station
  int site;
  bool colour, duplex;
  std::string_view trays[4];
  // Rates in thousandths; always even, so that no cost lands on half a cent.
  int monoRate, colourRate, sheetRate;
};

constexpr Printer kPrinters[] = {
    {"HP Color LaserJet M554", "LON-2E-COLOUR", "HP Universal Printing PCL 6", "IP_10.10.2.31", "Floor 2 East",
     "RS-LON-2E", 0, true, true, {"Tray 1", "Tray 2", "Tray 3"}, 42, 148, 8},
    {"HP LaserJet M507", "LON-2W-MONO", "HP Universal Printing PCL 6", "IP_10.10.2.32", "Floor 2 West", "", 0,
     false, true, {"Tray 1", "Tray 2"}, 38, 0, 8},
    {"RICOH IM C4500", "LON-3-MFP", "RICOH PCL6 UniversalDriver V4.30", "IP_10.10.3.20", "Floor 3 Copy Room",
     "RS-LON-3", 0, true, true, {"Tray 1", "Tray 2", "Bypass Tray", "Auto"}, 36, 116, 6},
    {"Xerox VersaLink C7025", "LON-4-EXEC", "Xerox Global Print Driver PCL6", "IP_10.10.4.15", "Floor 4 Executive",
     "RS-LON-4", 0, true, true, {"Tray 1", "Tray 2", "Bypass Tray"}, 44, 152, 10},
    {"Canon iR-ADV C5840i", "MAN-1-MFP", "Canon Generic Plus UFR II", "IP_10.20.1.40", "Ground Floor Reception",
     "RS-MAN-1", 1, true, true, {"Drawer 1", "Drawer 2", "Multi-purpose Tray", "Auto"}, 34, 112, 6},
    {"Brother HL-L6400DW", "MAN-2-MONO", "Brother Mono Universal Printer (PCL)", "IP_10.20.2.11",
     "Floor 2 Open Plan", "", 1, false, true, {"Tray 1", "MP Tray"}, 28, 0, 8},
    {"Kyocera TASKalfa 3554ci", "MAN-2-COLOUR", "Kyocera TASKalfa 3554ci KX", "IP_10.20.2.12", "Floor 2 Open Plan",
     "RS-MAN-2", 1, true, true, {"Cassette 1", "Cassette 2", "MP Tray"}, 32, 108, 6},
    {"KONICA MINOLTA bizhub C300i", "DUB-1-MFP", "KONICA MINOLTA Universal PCL", "IP_10.30.1.25",
     "Level 1 Print Hub", "RS-DUB-1", 2, true, true, {"Tray 1", "Tray 2", "Bypass Tray"}, 40, 136, 8},
    {"HP LaserJet M406", "DUB-2-MONO", "HP Universal Printing PCL 6", "IP_10.30.2.14", "Level 2 Finance", "", 2,
     false, false, {"Tray 1", "Tray 2"}, 36, 0, 8},
    {"Canon iR-ADV C3830i", "MUC-EG-MFP", "Canon Generic Plus UFR II", "IP_10.40.0.30", "Erdgeschoss Empfang",
     "RS-MUC-EG", 3, true, true, {"Fach 1", "Fach 2", "Stapelanlage"}, 38, 124, 6},
    {"RICOH P 502", "MUC-1-MONO", "RICOH PCL6 UniversalDriver V4.30", "IP_10.40.1.18", "1. OG Entwicklung", "", 3,
     false, true, {"Fach 1", "Fach 2"}, 30, 0, 8},
    {"HP DesignJet T650", "LON-3-PLOTTER", "HP DesignJet Universal Print Driver", "WSD-5f2c1a7e", "Floor 3 Studio",
     "", 0, true, false, {"Roll 1", "Sheet Feed"}, 96, 248, 20},
};

struct User {
  std::string_view login, fullName;
  int department, site;
  std::string_view group;
  int homePrinter;
};

constexpr User kUsers[] = {
    {"asmith", "Alice Smith", 0, 0, "Managers", 0},
    {"bjones", "Ben Jones", 0, 0, "Staff", 1},
    {"cwilliams", "Chloe Williams", 1, 0, "Staff", 0},
    {"dbrown", "David Brown", 1, 0, "Managers", 2},
    {"etaylor", "Emma Taylor", 2, 0, "Staff", 2},
    {"fdavies", "Finn Davies", 2, 0, "Contractors", 11},
    {"gevans", "Grace Evans", 3, 0, "Staff", 11},
    {"hwilson", "Harry Wilson", 3, 0, "Staff", 2},
    {"ithomas", "Isla Thomas", 4, 0, "Managers", 1},
    {"jroberts", "Jack Roberts", 5, 0, "Staff", 3},
    {"kjohnson", "Kate Johnson", 5, 0, "Managers", 3},
    {"lwalker", "Liam Walker", 6, 0, "Staff", 1},
    {"mwright", "Mia Wright", 9, 0, "Managers", 3},
    {"nobrien", "Niamh O'Brien", 9, 0, "Staff", 3},
    {"zclarke", "Zoë Clarke", 2, 0, "Interns", 0},
    {"ohall", "Oliver Hall", 1, 1, "Staff", 4},
    {"pgreen", "Poppy Green", 7, 1, "Staff", 5},
    {"rking", "Ryan King", 7, 1, "Managers", 6},
    {"slee", "Sophie Lee", 8, 1, "Staff", 5},
    {"tbaker", "Thomas Baker", 8, 1, "Staff", 4},
    {"uhussain", "Usman Hussain", 3, 1, "Staff", 6},
    {"vpatel", "Vikram Patel", 6, 1, "Contractors", 5},
    {"amurphy", "Aoife Murphy", 0, 2, "Staff", 8},
    {"bkelly", "Brendan Kelly", 0, 2, "Managers", 8},
    {"cbyrne", "Ciara Byrne", 1, 2, "Staff", 7},
    {"dwalsh", "Declan Walsh", 8, 2, "Staff", 7},
    {"eryan", "Eoin Ryan", 5, 2, "Staff", 7},
    {"fmccarthy", "Fiona McCarthy", 4, 2, "Staff", 8},
    {"jmueller", "Jürgen Müller", 3, 3, "Managers", 10},
    {"kschmidt", "Katrin Schmidt", 3, 3, "Staff", 10},
    {"lschneider", "Lukas Schneider", 3, 3, "Staff", 9},
    {"mfischer", "Marie Fischer", 1, 3, "Staff", 9},
    {"sweiss", "Stefan Weiß", 7, 3, "Staff", 9},
    {"flefevre", "François Lefèvre", 2, 3, "Contractors", 9},
    {"snielsen", "Søren Nielsen", 6, 3, "Staff", 10},
    {"jgarcia", "José García", 1, 0, "Staff", 0},
};

struct Client {
  std::string_view name;
  std::string_view projects[3];
};

constexpr Client kClients[] = {
    {"Acme Ltd", {"ACM-101 Annual audit 2024", "ACM-117 Tender response", "ACM-122 Office move"}},
    {"Northwind Traders", {"NWT-201 Catalogue 2025", "NWT-208 Price review", "NWT-215 Warehouse audit"}},
    {"Contoso Pharmaceuticals", {"CON-301 Clinical trial pack", "CON-305 Regulatory filing", "CON-311 Brand refresh"}},
    {"Müller & Söhne GmbH", {"MUS-401 Vertragsprüfung", "MUS-402 Messe Frankfurt", "MUS-409 Jahresabschluss"}},
    {"Fabrikam, Inc.", {"FAB-501 Website relaunch", "FAB-504 Merger due diligence", "FAB-510 Safety manuals"}},
    {"O'Connell Architects", {"OCA-601 Dublin Docklands", "OCA-603 Planning appeal", "OCA-607 Site survey"}},
};

constexpr std::string_view kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};

constexpr std::string_view kComments[] = {
    "Reprint requested by manager",
    "Urgent, please deliver to room 2.14",
    "Printed on behalf of a visitor",
    "Paper jam, job resent",
    "Wrong tray selected",
    "Approved by \"Facilities\"",
};

constexpr std::string_view kNoteTexts[] = {
    "Refund approved",
    "Charged to the client, see invoice",
    "Disputed by the user",
    "Test print after maintenance",
};

constexpr std::string_view kPaperSizes[] = {"A4", "A3", "Letter", "Legal", "A5"};
constexpr int kPaperWeights[] = {80, 8, 7, 2, 3};
constexpr std::string_view kMediaTypes[] = {"Plain", "Recycled", "Glossy", "Labels", "Envelope"};
constexpr int kMediaWeights[] = {85, 8, 3, 2, 2};
constexpr std::string_view kJobTypes[] = {"Print", "Copy", "Fax"};
constexpr int kJobTypeWeights[] = {88, 9, 3};
constexpr int kStatusWeights[] = {900, 40, 30, 30};  // Printed, Cancelled, Denied, Held

// The sample year 2024: 1 January is a Monday, serial 45292.
constexpr double kYearStart = 45292;
constexpr int kDays = 366;
// Days off in 2024 (day of the year from 0): New Year, Easter, May, August
// bank holidays and Christmas.
constexpr int kHolidays[] = {0, 88, 91, 126, 147, 238, 359, 360};
constexpr int kWorkingHours[24] = {1, 1, 1, 1, 1, 1, 2, 8, 30, 45, 45, 40, 24, 32, 45, 42, 32, 16, 7, 4, 3, 2, 1, 1};
constexpr int kDayOffHours[24] = {1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 4, 4, 3, 3, 3, 3, 2, 2, 1, 1, 1, 1, 1, 1};

// Hands out job times in rising order, denser in working hours: job k of n
// falls at the k/n point of the year's cumulative weight, plus a jitter
// smaller than one job's share, so that times rise without any sorting.
class Calendar {
 public:
  Calendar(Random& random, int64_t count) : count_(count) {
    weights_.reserve(kDays * 24);
    for (int day = 0; day < kDays; ++day) {
      bool off = day % 7 >= 5;
      for (int holiday : kHolidays) off = off || holiday == day;
      const int factor = random.Between(70, 130);  // busy and quiet days
      for (int hour = 0; hour < 24; ++hour) {
        weights_.push_back(static_cast<int64_t>(off ? kDayOffHours[hour] : kWorkingHours[hour]) * factor);
        total_ += weights_.back();
      }
    }
  }

  // Seconds from the start of the year for job `k` (0-based).
  int64_t SecondsOf(int64_t k, Random& random) {
    constexpr int kJitterBits = 20;
    const auto point = static_cast<int64_t>(
        ((static_cast<unsigned __int128>(k) << kJitterBits) + (random.Next() >> (64 - kJitterBits))) *
        static_cast<unsigned __int128>(total_) / (static_cast<unsigned __int128>(count_) << kJitterBits));
    while (slot_ + 1 < weights_.size() && point >= before_ + weights_[slot_]) before_ += weights_[slot_++];
    const int64_t within = (point - before_) * 3600 / weights_[slot_];
    return static_cast<int64_t>(slot_) * 3600 + (within < 3600 ? within : 3599);
  }

 private:
  std::vector<int64_t> weights_;
  int64_t total_ = 0;
  int64_t count_;
  size_t slot_ = 0;
  int64_t before_ = 0;
};

void Append(std::string& text, int64_t value, int width = 0) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (int pad = width - static_cast<int>(end - digits); pad > 0; --pad) text += '0';
  text.append(digits, end);
}

// A document name, sometimes with commas, quotes or non-ASCII characters, as
// users name their files; occasionally empty, as some applications send none.
void MakeDocument(std::string& name, Random& random, const User& user, const Client* client, int dayOfYear,
                  int month) {
  // Everyday office documents far more often than the odd ones.
  static constexpr int weights[] = {10, 6, 4, 6, 2, 8, 5, 6, 4, 2, 4, 3, 3, 1, 1, 2, 2, 3, 3, 12};
  name.clear();
  switch (random.Weighted(weights)) {
    case 0: name = "Invoice "; Append(name, random.Between(10000, 99999)); name += ".pdf"; break;
    case 1: name = "Quarterly Report Q"; Append(name, month / 3 + 1); name += ".docx"; break;
    case 2: name = "Übersicht Q"; Append(name, month / 3 + 1); name += ".xlsx"; break;
    case 3: name = "Budget 2024, draft "; Append(name, random.Between(1, 7)); name += ".xlsx"; break;
    case 4: name = "Minutes of the \"Board\" meeting.docx"; break;
    case 5:
      name = "Microsoft Word - Proposal ";
      name += client ? client->name : "draft";
      name += ".docx";
      break;
    case 6: name = "Expense claim "; name += kMonths[month]; name += ".xlsx"; break;
    case 7: name = "Timesheet week "; Append(name, dayOfYear / 7 + 1, 2); name += ".xlsx"; break;
    case 8: name = "Contract #"; Append(name, random.Between(1000, 9999)); name += ".pdf"; break;
    case 9: name = "Präsentation Vertrieb.pptx"; break;
    case 10: name = "Re: Meeting \"Friday\", 10am - Outlook"; break;
    case 11: name = "https://intranet.example.com/news/"; Append(name, random.Between(100, 999)); break;
    case 12: name = "Shipping labels.pdf"; break;
    case 13: name = "Résumé - "; name += user.fullName; name += ".pdf"; break;
    case 14: name = "会議資料.pdf"; break;
    case 15: name = "Boarding pass.pdf"; break;
    case 16: name = "Test Page"; break;
    case 17:
      if (random.Percent(20)) break;  // no name at all
      name = "Untitled - Notepad";
      break;
    case 18: name = "Drawing "; Append(name, random.Between(100, 999)); name += " rev B.dwg"; break;
    default:
      name = "Letter to ";
      name += client ? client->name : "customer";
      name += ".docx";
  }
}

int32_t Pages(Random& random) {
  static constexpr int weights[] = {30, 15, 20, 15, 12, 6, 2};
  switch (random.Weighted(weights)) {
    case 0: return 1;
    case 1: return 2;
    case 2: return random.Between(3, 5);
    case 3: return random.Between(6, 10);
    case 4: return random.Between(11, 30);
    case 5: return random.Between(31, 100);
    default: return random.Between(101, 300);
  }
}

int32_t Copies(Random& random) {
  static constexpr int weights[] = {85, 8, 5, 2};
  switch (random.Weighted(weights)) {
    case 0: return 1;
    case 1: return 2;
    case 2: return random.Between(3, 5);
    default: return random.Between(6, 25);
  }
}

// Columns by number, as the host numbers them.
enum Column : int32_t {
  kJobId = 1, kUser, kFullName, kDepartment, kAccount, kPrinter, kDocument, kComputer, kPrintServer, kStatus,
  kQueue, kDateTime, kClient, kProject, kPaperSize, kCostCentre, kLocation, kDriver, kPort, kDuplex, kColour,
  kJobType, kPages, kCopies, kTotalPages, kSheets, kBillable, kSizeMb, kColourPages, kMonoPages, kSequence,
  kPageRate, kSheetRate, kCost, kPrice, kReleased, kComment, kGroup, kSite, kEmail, kCardNumber,
  kReleaseStation, kTray, kMediaType, kNotes,
};
static_assert(kNotes == HostColumnCount);

}  // namespace

int64_t GenerateSampleJobs(JobDatabase& database, int64_t count, uint64_t seed) {
  if (count < 0) Raise(RuntimeErrorNumber::InvalidProcedureCall, "The number of sample jobs cannot be negative");
  Random random(seed);
  Calendar calendar(random, count > 0 ? count : 1);

  // Per-user texts the tables cannot hold as literals.
  constexpr size_t userCount = std::size(kUsers);
  std::vector<std::string> emails, cards, computers;
  for (size_t i = 0; i < userCount; ++i) {
    const User& user = kUsers[i];
    emails.push_back(std::string(user.login) + "@example.com");
    std::string card = "04";
    Append(card, 41870000 + static_cast<int64_t>(random.Below(10000000)), 8);
    cards.push_back(card);
    std::string computer(kSites[user.site].prefix);
    computer += random.Percent(40) ? "-LT-" : "-WS-";
    Append(computer, 100 + static_cast<int64_t>(i) * 7 % 900, 4);
    computers.push_back(computer);
  }
  std::vector<int64_t> sequences;
  for (size_t i = 0; i < std::size(kPrinters); ++i) sequences.push_back(1000 + static_cast<int64_t>(i) * 137);

  JobInserter inserter = database.BeginInsert();
  std::string document, sharedComputer;
  for (int64_t k = 0; k < count; ++k) {
    const int64_t seconds = calendar.SecondsOf(k, random);
    const int dayOfYear = static_cast<int>(seconds / 86400);

    const size_t userIndex = random.Below(userCount);
    const User& user = kUsers[userIndex];
    const Department& department = kDepartments[user.department];
    size_t printerIndex = static_cast<size_t>(user.homePrinter);
    if (random.Percent(15)) {  // another printer of the same site
      size_t pick = random.Below(std::size(kPrinters));
      if (kPrinters[pick].site == user.site) printerIndex = pick;
    }
    const Printer& printer = kPrinters[printerIndex];
    const Site& site = kSites[printer.site];
    const Client* client = random.Percent(static_cast<uint32_t>(department.clientWorkPercent)) ? &random.Of(kClients) : nullptr;

    // The month from the day of the year of 2024, a leap year.
    static constexpr int monthStarts[] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};
    int month = 0;
    while (dayOfYear >= monthStarts[month + 1]) ++month;
    MakeDocument(document, random, user, client, dayOfYear, month);

    const int64_t status = static_cast<int64_t>(random.Weighted(kStatusWeights));
    const int32_t pages = Pages(random);
    const int32_t copies = Copies(random);
    const int64_t total = static_cast<int64_t>(pages) * copies;
    const bool duplex = printer.duplex && pages > 1 && random.Percent(50);
    const int64_t sheets = duplex ? static_cast<int64_t>((pages + 1) / 2) * copies : total;
    const bool colour = printer.colour && random.Percent(35);
    const int64_t colourPages = !colour ? 0 : random.Percent(50) ? total : random.Between(1, static_cast<int32_t>(total));
    const size_t paper = random.Weighted(kPaperWeights);
    const int paperFactor = paper == 1 ? 2 : 1;  // A3 costs double
    const int64_t pageRate = static_cast<int64_t>(colour ? printer.colourRate : printer.monoRate) * paperFactor;
    const int64_t sheetRate = static_cast<int64_t>(printer.sheetRate) * paperFactor;
    const int64_t costCents = (total * pageRate + 5) / 10;
    const int64_t priceCents = (costCents * (100 + department.marginPercent) + 50) / 100;
    const int64_t kilobytes =
        static_cast<int64_t>(pages) * random.Between(colour ? 180 : 40, colour ? 900 : 260) + random.Between(20, 200);

    inserter.SetNull(kJobId);
    inserter.SetText(kUser, user.login);
    inserter.SetText(kFullName, user.fullName);
    inserter.SetText(kDepartment, department.name);
    inserter.SetText(kAccount, client ? std::string_view("CLIENT-BILLING") : department.account);
    inserter.SetText(kPrinter, printer.name);
    inserter.SetText(kDocument, document);
    if (random.Percent(8)) {
      sharedComputer = std::string(site.prefix) + "-VDI-";
      Append(sharedComputer, random.Between(1, 12), 2);
      inserter.SetText(kComputer, sharedComputer);
    } else {
      inserter.SetText(kComputer, computers[userIndex]);
    }
    inserter.SetText(kPrintServer, site.printServer);
    inserter.SetInteger(kStatus, status);
    inserter.SetText(kQueue, printer.queue);
    inserter.SetDate(kDateTime, kYearStart + static_cast<double>(seconds / 86400) +
                                    static_cast<double>(seconds % 86400) / 86400.0);
    if (client) {
      inserter.SetText(kClient, client->name);
      inserter.SetText(kProject, random.Of(client->projects));
    }
    inserter.SetText(kPaperSize, kPaperSizes[paper]);
    inserter.SetText(kCostCentre, department.costCentre);
    inserter.SetText(kLocation, printer.location);
    inserter.SetText(kDriver, printer.driver);
    inserter.SetText(kPort, printer.port);
    inserter.SetBoolean(kDuplex, duplex);
    inserter.SetBoolean(kColour, colour);
    inserter.SetText(kJobType, kJobTypes[random.Weighted(kJobTypeWeights)]);
    inserter.SetInteger(kPages, pages);
    inserter.SetInteger(kCopies, copies);
    inserter.SetInteger(kTotalPages, total);
    inserter.SetInteger(kSheets, sheets);
    inserter.SetBoolean(kBillable, client != nullptr);
    inserter.SetNumber(kSizeMb, static_cast<double>((kilobytes * 100 + 512) / 1024) / 100.0);
    inserter.SetInteger(kColourPages, colourPages);
    inserter.SetInteger(kMonoPages, total - colourPages);
    inserter.SetInteger(kSequence, sequences[printerIndex]++);
    inserter.SetNumber(kPageRate, static_cast<double>(pageRate) / 1000.0);
    inserter.SetNumber(kSheetRate, static_cast<double>(sheetRate) / 1000.0);
    inserter.SetNumber(kCost, static_cast<double>(costCents) / 100.0);
    inserter.SetNumber(kPrice, static_cast<double>(priceCents) / 100.0);
    // Released is a Yes/No column for every job: a job sent straight to a
    // printer without a release station was never held, so never released.
    // (A Null there would make every export of the column fail.)
    inserter.SetBoolean(kReleased, !printer.releaseStation.empty() && status == 0);
    if (!printer.releaseStation.empty()) inserter.SetText(kReleaseStation, printer.releaseStation);
    if (random.Percent(3)) inserter.SetText(kComment, random.Of(kComments));
    inserter.SetText(kGroup, user.group);
    inserter.SetText(kSite, site.name);
    inserter.SetText(kEmail, emails[userIndex]);
    inserter.SetText(kCardNumber, cards[userIndex]);
    unsigned trays = 0;
    while (trays < 4 && !printer.trays[trays].empty()) ++trays;
    inserter.SetText(kTray, printer.trays[random.Below(trays)]);
    inserter.SetText(kMediaType, kMediaTypes[random.Weighted(kMediaWeights)]);
    if (random.PerMille(15)) inserter.SetText(kNotes, random.Of(kNoteTexts));
    inserter.Insert();
  }
  inserter.Commit();
  return count;
}

}  // namespace qx6::host
