// `gridwell convert`: one worksheet of a workbook file or address as an HTML page.
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/scratch.h"
#include "cli/terminal_text.h"
#include "cli/workbook_args.h"
#include "control/net/transfer.h"
#include "converter/cls_html.h"
#include "reader/base/ascii.h"
#include "reader/base/bytes.h"
#include "reader/base/cell_ref.h"

namespace gridwell::cli {

namespace {

namespace fs = std::filesystem;

const char kConvertHelp[] =
    "usage: gridwell convert BOOK [-o PAGE|-] [options]\n"
    "\n"
    "Writes one worksheet of BOOK (an .xls or .xlsx file, or an http://, https:// or ftp://\n"
    "address of one) as an HTML page: styled (one CSS class per cell) unless --plain.\n"
    "\n"
    "  -o PAGE, --output PAGE  the page to write; \"-\" writes it to standard output\n"
    "                          (default: BOOK's file name with .htm, in the current folder)\n"
    "  --plain                 the plain page: each cell's look in its own attributes\n"
    "  --compact-styles        styled page with one class per distinct look, shared by\n"
    "                          the cells that look alike (a much smaller style sheet)\n"
    "  --fast-pages            the compact page with its rows in blocks the browser lays\n"
    "                          out only when they come into view, in fixed column widths\n"
    "                          (the compact page does so on its own above 20,000 cells)\n"
    "  --sheet-look            the page drawn as the sheet: gridlines, merged cells, the\n"
    "                          fills and borders of empty cells, hidden rows and columns\n"
    "                          left out, conditional formats (any page kind)\n"
    "  --sheet NAME|N          the sheet, by name or by 1-based number (default: 1)\n"
    "  --range A1:H40          a rectangle of the sheet\n"
    "  --start-row N --start-col N --end-row N --end-col N\n"
    "                          the rectangle as numbers; a missing end means the last used\n"
    "  --password PW           the password of an encrypted workbook\n"
    "  --formulas              formulas as tool-tips\n"
    "  --comments              comments as tool-tips, with a check mark\n"
    "  --hide-row-numbers      no row numbers at the left\n"
    "  --hide-col-letters      no column letters above the table\n"
    "  --col-letters-bottom    column letters below the table too\n"
    "  --row-numbers-right     row numbers at the right too\n"
    "  --new-window            web links open a new window\n"
    "  --heading T, --title T  the page's heading and title\n"
    "  --background-color C | --background-image F\n"
    "  --table-color C | --table-image F\n"
    "  --max-download-bytes N  largest workbook to download (default: 268435456, 256 MiB)\n"
    "  --download-timeout S    longest download in seconds (default: 600)\n"
    "  --max-page-bytes N      largest page of a mostly empty range (default: 268435456,\n"
    "                          256 MiB); a dense range is never refused for its size\n"
    "  --verbose               a one-line summary on stderr\n"
    "\n"
    "exit codes: 0 ok, 2 usage, 3 unreadable workbook, 4 wrong or missing password,\n"
    "5 no such sheet, 6 cannot write, 7 download failed\n";

struct Options {
  std::string book;
  std::string output;
  bool plain = false;
  bool compactStyles = false;
  bool fastPages = false;
  bool sheetLook = false;
  bool verbose = false;
  bool help = false;
  std::string sheet;
  std::string range;
  int32_t startRow = 0, endRow = 0;
  int16_t startCol = 0, endCol = 0;
  bool numbers = false;
  std::string password;
  bool formulas = false, comments = false, hideRowNumbers = false, hideColLetters = false,
       lettersBottom = false, numbersRight = false, newWindow = false;
  std::string heading, title, backgroundColor, backgroundImage, tableColor, tableImage;
  // Bounds of a download: an endless or very slow server must not fill the disk or hang.
  int64_t maxDownloadBytes = int64_t{256} << 20;
  double downloadSeconds = 600;
  // A range of far more empty positions than cells makes a page no browser shows.
  int64_t maxPageBytes = int64_t{256} << 20;
};

int Usage(const std::string& why) {
  PrintLine("gridwell convert: " + why + " (see --help)");
  return kUsage;
}

template <typename Int>
bool ParseNumber(std::string_view text, Int lo, Int hi, Int& out) {
  int64_t v = 0;
  auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < lo || v > hi) return false;
  out = static_cast<Int>(v);
  return true;
}

// The options that take a text, the flags, and the row and column bounds, each by the
// member of Options it sets.
struct TextOption {
  const char* name;
  std::string Options::*field;
};
constexpr TextOption kTextOptions[] = {{"-o", &Options::output},
                                       {"--output", &Options::output},
                                       {"--sheet", &Options::sheet},
                                       {"--range", &Options::range},
                                       {"--password", &Options::password},
                                       {"--heading", &Options::heading},
                                       {"--title", &Options::title},
                                       {"--background-color", &Options::backgroundColor},
                                       {"--background-image", &Options::backgroundImage},
                                       {"--table-color", &Options::tableColor},
                                       {"--table-image", &Options::tableImage}};

struct FlagOption {
  const char* name;
  bool Options::*field;
};
constexpr FlagOption kFlagOptions[] = {{"--plain", &Options::plain},
                                       {"--compact-styles", &Options::compactStyles},
                                       {"--fast-pages", &Options::fastPages},
                                       {"--sheet-look", &Options::sheetLook},
                                       {"--verbose", &Options::verbose},
                                       {"-h", &Options::help},
                                       {"--help", &Options::help},
                                       {"--formulas", &Options::formulas},
                                       {"--comments", &Options::comments},
                                       {"--hide-row-numbers", &Options::hideRowNumbers},
                                       {"--hide-col-letters", &Options::hideColLetters},
                                       {"--col-letters-bottom", &Options::lettersBottom},
                                       {"--row-numbers-right", &Options::numbersRight},
                                       {"--new-window", &Options::newWindow}};

struct RowOption {
  const char* name;
  int32_t Options::*field;
};
constexpr RowOption kRowOptions[] = {{"--start-row", &Options::startRow},
                                     {"--end-row", &Options::endRow}};

struct ColumnOption {
  const char* name;
  int16_t Options::*field;
};
constexpr ColumnOption kColumnOptions[] = {{"--start-col", &Options::startCol},
                                           {"--end-col", &Options::endCol}};

struct ByteOption {
  const char* name;
  int64_t Options::*field;
};
constexpr ByteOption kByteOptions[] = {{"--max-download-bytes", &Options::maxDownloadBytes},
                                       {"--max-page-bytes", &Options::maxPageBytes}};

// Reads the option at args[i] (and its value, moving i past it). Returns kOk, or a usage
// error after one line on stderr.
int ParseOption(const std::vector<std::string>& args, size_t& i, Options& o) {
  const std::string& a = args[i];
  std::string v;
  auto value = [&]() {
    if (i + 1 >= args.size()) return false;
    v = args[++i];
    return true;
  };
  for (const TextOption& t : kTextOptions) {
    if (a != t.name) continue;
    if (!value()) return Usage(a + " needs a value");
    o.*t.field = v;
    return kOk;
  }
  for (const FlagOption& f : kFlagOptions) {
    if (a != f.name) continue;
    o.*f.field = true;
    return kOk;
  }
  for (const RowOption& r : kRowOptions) {
    if (a != r.name) continue;
    if (!value()) return Usage(a + " needs a value");
    if (!ParseNumber<int32_t>(v, 1, 1048576, o.*r.field)) {
      return Usage(a + ": not a row number: " + v);
    }
    o.numbers = true;
    return kOk;
  }
  for (const ColumnOption& c : kColumnOptions) {
    if (a != c.name) continue;
    if (!value()) return Usage(a + " needs a value");
    if (!ParseNumber<int16_t>(v, 1, 16384, o.*c.field)) {
      return Usage(a + ": not a column number: " + v);
    }
    o.numbers = true;
    return kOk;
  }
  for (const ByteOption& b : kByteOptions) {
    if (a != b.name) continue;
    if (!value() || !ParseNumber<int64_t>(v, 1, INT64_MAX, o.*b.field))
      return Usage(a + " needs a number of bytes above 0");
    return kOk;
  }
  if (a == "--download-timeout") {
    char* end = nullptr;
    const double seconds = value() ? std::strtod(v.c_str(), &end) : 0;
    if (!end || *end || !(seconds > 0) || seconds > 1e6)
      return Usage(a + " needs a number of seconds above 0");
    o.downloadSeconds = seconds;
  } else if (a.size() > 1 && a[0] == '-') {
    return Usage("unknown option " + a);
  } else if (o.book.empty()) {
    o.book = a;
  } else {
    return Usage("unexpected argument " + a);
  }
  return kOk;
}

// The checks that need all the options: a workbook, a well-formed range, and no two
// options that exclude each other.
int CheckOptions(const Options& o) {
  if (o.book.empty()) return Usage("no workbook given");
  if (!o.range.empty() && o.numbers)
    return Usage("--range and the row and column numbers exclude each other");
  if (!o.range.empty()) {
    // The references are checked as `cells --range` checks them; the converter then reads
    // the text its own way (a single reference is the corner opposite A1).
    const size_t colon = o.range.find(':');
    base::CellRef first{.row = 1, .col = 1}, last;
    const bool ok = colon == std::string::npos
                        ? base::ParseCellRef(o.range, last)
                        : base::ParseCellRef(std::string_view(o.range).substr(0, colon), first) &&
                              base::ParseCellRef(std::string_view(o.range).substr(colon + 1), last);
    if (!ok) return Usage("bad range " + o.range + " (expected like A1:H40)");
    if (first.row > last.row || first.col > last.col) {
      return Usage("bad range " + o.range + ": the first cell must be above and left of the last");
    }
  }
  if (!o.backgroundColor.empty() && !o.backgroundImage.empty()) {
    return Usage("--background-color and --background-image exclude each other");
  }
  if (!o.tableColor.empty() && !o.tableImage.empty()) {
    return Usage("--table-color and --table-image exclude each other");
  }
  if (o.plain && o.compactStyles) return Usage("--plain and --compact-styles exclude each other");
  return kOk;
}

// Returns kOk, or a usage error after one line on stderr.
int ParseArgs(const std::vector<std::string>& args, Options& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (const int rc = ParseOption(args, i, o); rc != kOk) return rc;
  }
  return o.help ? int(kOk) : CheckOptions(o);
}

bool IsAddress(std::string_view s) {
  return base::StartsWithNoCase(s, "http://") || base::StartsWithNoCase(s, "https://") ||
         base::StartsWithNoCase(s, "ftp://");
}

// The file name an address ends in, without query or fragment; "workbook.xlsx" when the
// address names none.
std::string NameFromAddress(std::string_view url) {
  const size_t scheme = url.find("://");
  std::string_view rest = url.substr(scheme == std::string_view::npos ? 0 : scheme + 3);
  rest = rest.substr(0, rest.find_first_of("?#"));
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return "workbook.xlsx";
  std::string_view path = rest.substr(slash);
  std::string_view name = path.substr(path.rfind('/') + 1);
  std::string clean;
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    const int high = i + 2 < name.size() ? base::HexDigitValue(name[i + 1]) : -1;
    const int low = high >= 0 ? base::HexDigitValue(name[i + 2]) : -1;
    if (c == '%' && low >= 0) {
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    // Separators and control characters are kept out of the local name.
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) continue;
    clean += c;
  }
  if (clean.empty() || clean[0] == '.') clean = "workbook" + clean;
  return clean;
}

struct Progress {
  bool shown = false;
};

int ShowProgress(void* p, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto* prog = static_cast<Progress*>(p);
  if (total > 0) {
    const int width = 40;
    const int filled = static_cast<int>(now * width / total);
    std::fprintf(stderr, "\r[%.*s%*s] %3d%% %lld/%lld bytes", filled,
                 "########################################", width - filled, "",
                 static_cast<int>(now * 100 / total), static_cast<long long>(now),
                 static_cast<long long>(total));
    prog->shown = true;
  } else if (now > 0) {
    std::fprintf(stderr, "\r%lld bytes", static_cast<long long>(now));
    prog->shown = true;
  }
  return 0;
}

// The downloaded file, and the bytes it may take.
struct Sink {
  FILE* file;
  int64_t written = 0;
  int64_t maxBytes;
  bool tooLarge = false;
};

size_t WriteToFile(char* data, size_t size, size_t n, void* p) {
  auto* sink = static_cast<Sink*>(p);
  if (sink->written + static_cast<int64_t>(size * n) > sink->maxBytes) {
    sink->tooLarge = true;
    return 0;  // ends the transfer
  }
  sink->written += static_cast<int64_t>(size * n);
  return std::fwrite(data, size, n, sink->file);
}

// Downloads `url` to `path` within the size and time limits of `o`; returns an empty string or
// why it failed.
std::string Download(const std::string& url, const std::string& path, const Options& o) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return path + ": " + std::strerror(errno);
  CURL* curl = curl_easy_init();
  if (!curl) {
    std::fclose(f);
    return "cannot start a transfer";
  }
  char error[CURL_ERROR_SIZE];
  Progress progress;
  const net::TransferLimits limits{o.maxDownloadBytes, o.downloadSeconds};
  net::SetUpTransfer(curl, url, limits, error);
  Sink sink{f, 0, o.maxDownloadBytes};
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  if (isatty(STDERR_FILENO)) {
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, ShowProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
  }
  const auto started = std::chrono::steady_clock::now();
  const CURLcode rc = curl_easy_perform(curl);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const net::TransferFailure failure =
      net::DescribeFailure(curl, rc, sink.tooLarge, seconds, limits, error);
  curl_easy_cleanup(curl);
  const bool closed = std::fclose(f) == 0;
  if (progress.shown) std::fputc('\n', stderr);
  switch (failure.kind) {
    case net::TransferFailure::Kind::None:
      break;
    case net::TransferFailure::Kind::TooLarge:
      return failure.text + " (raise it with --max-download-bytes)";
    case net::TransferFailure::Kind::TooLong:
      return failure.text + " (raise it with --download-timeout)";
    default:
      return failure.text;
  }
  if (!closed) return path + ": " + std::strerror(errno);
  return {};
}

// Copies a file to standard output.
bool CopyToStdout(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::vector<char> buf(1 << 20);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(STDOUT_FILENO, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ::close(fd);
  return ok;
}

int ExitFor(ConvertStop stop) {
  switch (stop) {
    case ConvertStop::None:
      return kOk;
    case ConvertStop::NoWorkbookPath:
      return kUsage;
    case ConvertStop::WrongExtension:
    case ConvertStop::MissingFile:
    case ConvertStop::Unreadable:
    case ConvertStop::PendingError:
    case ConvertStop::OutOfMemory:
      return kUnreadable;
    case ConvertStop::WrongPassword:
      return kPassword;
    case ConvertStop::NoSuchSheet:
      return kNoSheet;
    case ConvertStop::OutputNotWritable:
      return kCannotWrite;
  }
  return kUnreadable;
}

// Converts the workbook at `bookPath` to `page` as the options ask; returns kOk, or the
// exit code after one line on stderr.
int Convert(const Options& o, const std::string& bookPath, const std::string& page, clsHTML& h) {
  h.ExcelFile = bookPath;
  h.Password = o.password;
  if (o.sheet.empty()) {
    h.Worksheetnum = 1;
  } else if (int32_t n = 0; ParseNumber<int32_t>(o.sheet, 1, INT32_MAX, n)) {
    h.Worksheetnum = n;
  } else {
    h.Worksheet = o.sheet;
  }
  h.Range = o.range;
  h.StartRow = o.startRow;
  h.StartCol = o.startCol;
  h.EndRow = o.endRow;
  h.EndCol = o.endCol;
  h.ShowFormulas = o.formulas ? kTrue : kFalse;
  h.ShowComments = o.comments ? kTrue : kFalse;
  h.HideRowNumbers = o.hideRowNumbers ? kTrue : kFalse;
  h.HideColLetters = o.hideColLetters ? kTrue : kFalse;
  h.ColLetters = o.lettersBottom ? kTrue : kFalse;
  h.RowNumbers = o.numbersRight ? kTrue : kFalse;
  h.NewWindow = o.newWindow ? kTrue : kFalse;
  h.CompactStyles = o.compactStyles ? kTrue : kFalse;
  h.FastPagesFrom = o.fastPages ? 1 : 0;
  h.MaxPageBytes = o.maxPageBytes;
  h.SheetLook = o.sheetLook ? kTrue : kFalse;
  if (o.plain) {
    h.CreateHtmlFile(page, o.heading, o.title, o.backgroundColor, o.backgroundImage, o.tableColor,
                     o.tableImage);
  } else {
    h.CreateStyledHtmlFile(page, o.heading, o.title, o.backgroundColor, o.backgroundImage,
                           o.tableColor, o.tableImage);
  }
  for (const std::string& warning : h.LastWarnings()) {
    PrintLine("gridwell convert: warning: " + warning);
  }
  if (h.LastStop() == ConvertStop::None) {
    if (const int32_t left = h.UnshownConditionalRules(); left > 0) {
      PrintLine("gridwell convert: warning: " + std::to_string(left) +
                " conditional format rule(s) need a formula and are not shown");
    }
    return kOk;
  }
  PrintLine("gridwell convert: " + h.LastStopDetail());
  return ExitFor(h.LastStop());
}

// The --verbose line: where the page went, its kind and size, and how long it all took.
void PrintSummary(const Options& o, const std::string& page, bool toStdout, int32_t sheets,
                  std::chrono::steady_clock::time_point started) {
  std::error_code ec;
  const auto bytes = fs::file_size(page, ec);
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  char summary[128];
  std::snprintf(summary, sizeof summary, ": %s page of %llu bytes, %d sheet(s), %.3f s",
                o.plain           ? "plain"
                : o.compactStyles ? "compact styled"
                                  : "styled",
                static_cast<unsigned long long>(ec ? 0 : bytes), sheets, secs);
  PrintLine("gridwell convert: " + (toStdout ? std::string("-") : page) + summary);
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
  Options o;
  if (int rc = ParseArgs(args, o); rc != kOk) return rc;
  if (o.help) {
    std::cout << kConvertHelp;
    return kOk;
  }
  const auto started = std::chrono::steady_clock::now();

  ScratchFolder temp;
  const bool remote = IsAddress(o.book);
  const bool toStdout = o.output == "-";
  if ((remote || toStdout) && temp.Path().empty()) {
    PrintLine(std::string("gridwell convert: cannot make a temporary folder: ") +
              std::strerror(errno));
    return kCannotWrite;
  }

  std::string bookName = remote ? NameFromAddress(o.book) : fs::path(o.book).filename().string();
  std::string bookPath = o.book;
  std::string page = o.output;
  if (page.empty()) page = fs::path(bookName).replace_extension(".htm").string();
  if (toStdout) page = temp.Path() + "/page.htm";
  std::error_code ec;
  if (!remote && fs::equivalent(page, bookPath, ec)) {
    PrintLine("gridwell convert: the page " + page +
              " would replace the workbook; choose another with -o");
    return kUsage;
  }
  if (remote) {
    bookPath = temp.Path() + "/" + bookName;
    const std::string why = Download(o.book, bookPath, o);
    if (!why.empty()) {
      PrintLine("gridwell convert: download of " + o.book + " failed: " + why);
      return kDownloadFailed;
    }
  }

  clsHTML h;
  if (const int rc = Convert(o, bookPath, page, h); rc != kOk) return rc;
  if (toStdout && !CopyToStdout(page)) {
    PrintLine(std::string("gridwell convert: cannot write to standard output: ") +
              std::strerror(errno));
    return kCannotWrite;
  }
  if (o.verbose) PrintSummary(o, page, toStdout, h.SheetTotal(), started);
  return kOk;
}

}  // namespace gridwell::cli
