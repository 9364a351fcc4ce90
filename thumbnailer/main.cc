// gridwell-thumbnailer -s SIZE INPUT OUTPUT: a PNG of the first sheet's top-left area, for
// file managers (INPUT a path or a file:// URI).
#include <glib.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "thumbnailer/output_file.h"
#include "thumbnailer/run_limits.h"
#include "thumbnailer/thumbnail.h"

namespace {

constexpr int kUsageExit = 2;
constexpr int kNoThumbnailExit = 3;  // unreadable, encrypted, or over a limit
constexpr int kCannotWriteExit = 6;

constexpr char kUsage[] =
    "usage: gridwell-thumbnailer -s SIZE INPUT OUTPUT\n"
    "Writes a SIZE x SIZE PNG of the first sheet of the workbook INPUT (a path or a file://\n"
    "URI) to OUTPUT. Exit codes: 0 written, 2 usage, 3 no thumbnail (unreadable, encrypted,\n"
    "or over the time or memory limit), 6 cannot write OUTPUT.\n";

struct Arguments {
  int size = 0;
  std::string input, output;
};

bool ParseSize(std::string_view text, int& size) {
  auto r = std::from_chars(text.data(), text.data() + text.size(), size);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() &&
         size >= gridwell::thumbnail::kSmallestSize && size <= gridwell::thumbnail::kLargestSize;
}

bool ParseArguments(int argc, char** argv, Arguments& a) {
  std::string* positional[] = {&a.input, &a.output};
  size_t given = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "-s" || arg == "--size") && i + 1 < argc) {
      if (!ParseSize(argv[++i], a.size)) return false;
    } else if (arg.starts_with("--size=")) {
      if (!ParseSize(arg.substr(7), a.size)) return false;
    } else if (arg.starts_with("-s") && arg.size() > 2) {
      if (!ParseSize(arg.substr(2), a.size)) return false;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return false;
    } else if (given < 2) {
      *positional[given++] = std::string(arg);
    } else {
      return false;
    }
  }
  return a.size > 0 && given == 2 && !a.input.empty() && !a.output.empty();
}

// A file:// URI becomes its local path; other URIs name nothing this program can read.
bool LocalPath(const std::string& given, std::string& path) {
  if (given.find("://") == std::string::npos) {
    path = given;
    return true;
  }
  gchar* local = g_filename_from_uri(given.c_str(), nullptr, nullptr);
  if (!local) return false;
  path = local;
  g_free(local);
  return true;
}

int Fail(int code, const std::string& why) {
  std::string line;
  for (unsigned char c : why) {
    if (c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      line += hex;
    } else {
      line += static_cast<char>(c);
    }
  }
  std::fprintf(stderr, "gridwell-thumbnailer: %s\n", line.c_str());
  return code;
}

int Run(const Arguments& a) {
  using namespace gridwell;
  std::string input, output;
  if (!LocalPath(a.input, input)) return Fail(kNoThumbnailExit, a.input + ": not a local file");
  if (!LocalPath(a.output, output)) return Fail(kCannotWriteExit, a.output + ": not a local file");
  ReadResult read = thumbnail::ReadFirstSheet(input);
  if (!read.status.Ok()) return Fail(kNoThumbnailExit, read.status.Detail());
  const ReaderWorksheet sheet = ReaderWorkbook(read.workbook).Worksheets().Item(1);
  if (!sheet) return Fail(kNoThumbnailExit, input + ": no worksheet");
  thumbnail::Picture picture = thumbnail::DrawThumbnail(sheet, a.size);
  std::string png;
  if (!thumbnail::EncodePng(picture.surface.get(), png))
    return Fail(kNoThumbnailExit, input + ": the picture could not be drawn");
  std::string error;
  if (!thumbnail::WriteAtomically(output, png, error)) return Fail(kCannotWriteExit, error);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  gridwell::thumbnail::LimitRun(gridwell::thumbnail::kMostAddressSpace,
                                gridwell::thumbnail::kMostMilliseconds);
  Arguments a;
  if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!ParseArguments(argc, argv, a)) {
    std::fputs(kUsage, stderr);
    return kUsageExit;
  }
  try {
    return Run(a);
  } catch (const std::exception& e) {  // memory running out while drawing
    return Fail(kNoThumbnailExit, e.what());
  }
}
