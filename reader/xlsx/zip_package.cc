#include "reader/xlsx/zip_package.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "reader/base/ascii.h"
#include "reader/base/work_queue.h"

namespace gridwell::xlsx {

namespace {
constexpr size_t kChunk = 1 << 18;                   // bytes per streamed read
constexpr uint64_t kRatioFloor = uint64_t{1} << 20;  // parts below 1 MiB never trip the ratio

std::string ZipErrorText(int code) {
  zip_error_t e;
  zip_error_init_with_code(&e, code);
  std::string s = zip_error_strerror(&e);
  zip_error_fini(&e);
  return s;
}
}  // namespace

ZipPackage::~ZipPackage() {
  if (zip_) zip_discard(zip_);
}

std::string ZipPackage::Normalize(std::string_view name) {
  std::string s;
  s.reserve(name.size());
  for (char c : name) {
    if (c == '\\') c = '/';
    s.push_back(base::ToLowerAscii(c));
  }
  size_t start = s.find_first_not_of('/');
  return start == std::string::npos ? std::string() : s.substr(start);
}

Status ZipPackage::OpenFile(const std::string& path) {
  int code = 0;
  zip_ = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (!zip_) return Status::Unreadable("zip: " + ZipErrorText(code));
  // The archive's own size bounds what a member can honestly claim as compressed size.
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f) {
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    fileSize_ = n > 0 ? static_cast<uint64_t>(n) : 0;
    std::fclose(f);
  }
  return Index();
}

Status ZipPackage::OpenMemory(std::span<const uint8_t> bytes) {
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
  if (src) {
    zip_ = zip_open_from_source(src, ZIP_RDONLY, &ze);
    if (!zip_) zip_source_free(src);
  }
  if (!zip_) {
    // The text is copied out before the error is released.
    Status failed = Status::Unreadable(std::string("zip: ") + zip_error_strerror(&ze));
    zip_error_fini(&ze);
    return failed;
  }
  zip_error_fini(&ze);
  fileSize_ = bytes.size();
  return Index();
}

Status ZipPackage::Index() {
  zip_int64_t n = zip_get_num_entries(zip_, 0);
  if (n <= 0) return Status::Unreadable("zip: the archive holds no entries");
  entries_.reserve(static_cast<size_t>(std::min<zip_int64_t>(n, 100000)));
  for (zip_int64_t i = 0; i < n; ++i) {
    const char* name = zip_get_name(zip_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (!name) continue;
    entries_.emplace(Normalize(name), static_cast<uint64_t>(i));
  }
  return {};
}

uint64_t ZipPackage::SizeHint(std::string_view partName) const {
  auto it = entries_.find(Normalize(partName));
  if (it == entries_.end()) return 0;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(zip_, it->second, 0, &st) != 0) return 0;
  if (!(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE)) return 0;
  constexpr uint64_t kTypicalRatio = 64;  // sheet XML deflates at about 5:1 to 20:1
  return std::min({st.size, st.comp_size * kTypicalRatio, limits_.maxInflatedBytes});
}

bool ZipPackage::Has(std::string_view partName) const {
  return entries_.count(Normalize(partName)) != 0;
}

// One open member with the bounds applied to every read.
struct ZipPackage::Reader {
  ZipPackage& pkg;
  zip_file_t* file = nullptr;
  uint64_t partBytes = 0;
  uint64_t partLimit = 0;
  std::string name;

  Reader(ZipPackage& p, std::string n) : pkg(p), name(std::move(n)) {}
  ~Reader() {
    if (file) zip_fclose(file);
  }

  PartStatus Open(std::string& error) {
    auto it = pkg.entries_.find(Normalize(name));
    if (it == pkg.entries_.end()) return PartStatus::Missing;
    zip_stat_t st;
    zip_stat_init(&st);
    uint64_t compressed = 0;
    if (zip_stat_index(pkg.zip_, it->second, 0, &st) == 0 && (st.valid & ZIP_STAT_COMP_SIZE)) {
      compressed = st.comp_size;
    }
    if (pkg.fileSize_ && compressed > pkg.fileSize_) compressed = pkg.fileSize_;
    partLimit = std::max(kRatioFloor, compressed * pkg.limits_.maxCompressionRatio);
    file = zip_fopen_index(pkg.zip_, it->second, 0);
    if (!file) {
      error = name + ": " + zip_strerror(pkg.zip_);
      return PartStatus::Damaged;
    }
    return PartStatus::Ok;
  }

  // Bytes read (0 at the end), or -1 with `status` set.
  int64_t ReadSome(char* buf, size_t cap, PartStatus& status, std::string& error) {
    zip_int64_t got = zip_fread(file, buf, cap);
    if (got < 0) {
      error = name + ": " + zip_file_strerror(file);
      status = PartStatus::Damaged;
      return -1;
    }
    partBytes += static_cast<uint64_t>(got);
    pkg.inflated_ += static_cast<uint64_t>(got);
    if (partBytes > partLimit) {
      error = name + ": the part exceeds the expansion limit (more than " +
              std::to_string(pkg.limits_.maxCompressionRatio) + " times its compressed size)";
      status = PartStatus::OverLimit;
      return -1;
    }
    if (pkg.inflated_ > pkg.limits_.maxInflatedBytes) {
      error = name + ": the workbook exceeds the expansion limit (more than " +
              std::to_string(pkg.limits_.maxInflatedBytes) + " bytes uncompressed)";
      status = PartStatus::OverLimit;
      return -1;
    }
    return got;
  }
};

PartStatus ZipPackage::Read(std::string_view partName, std::string& out, std::string& error) {
  out.clear();
  Reader r(*this, std::string(partName));
  PartStatus st = r.Open(error);
  if (st != PartStatus::Ok) return st;
  size_t chunk = 1 << 16;
  for (;;) {
    size_t old = out.size();
    out.resize(old + chunk);
    int64_t got = r.ReadSome(out.data() + old, chunk, st, error);
    if (got < 0) {
      out.clear();
      return st;
    }
    out.resize(old + static_cast<size_t>(got));
    if (got == 0) break;
    chunk = std::min<size_t>(chunk * 2, kChunk * 4);
  }
  return PartStatus::Ok;
}

namespace {

// What a failed XML_Parse means: Ok when a handler stopped the parser on purpose, memory
// running out when expat had none, Damaged (with the place of the error) otherwise.
PartStatus ParseFailure(XML_Parser parser, std::string_view partName, std::string& error) {
  if (XML_GetErrorCode(parser) == XML_ERROR_ABORTED) return PartStatus::Ok;
  if (XML_GetErrorCode(parser) == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
  error = std::string(partName) + ": " + XML_ErrorString(XML_GetErrorCode(parser)) + " at line " +
          std::to_string(XML_GetCurrentLineNumber(parser));
  return PartStatus::Damaged;
}

// Parts from this size on are inflated on a second thread while expat parses: inflating
// is about a third of the work on a big sheet.
constexpr uint64_t kPipelineFrom = uint64_t{2} << 20;
constexpr size_t kPieces = 3;

}  // namespace

PartStatus ZipPackage::Parse(std::string_view partName, XML_Parser parser, std::string& error) {
  Reader r(*this, std::string(partName));
  PartStatus st = r.Open(error);
  if (st != PartStatus::Ok) return st;
  if (SizeHint(partName) >= kPipelineFrom) {
    return ParsePipelined(r, parser, error);
  }
  for (;;) {
    void* buf = XML_GetBuffer(parser, kChunk);
    if (!buf) throw std::bad_alloc();
    int64_t got = r.ReadSome(static_cast<char*>(buf), kChunk, st, error);
    if (got < 0) return st;
    if (XML_ParseBuffer(parser, static_cast<int>(got), got == 0) != XML_STATUS_OK) {
      return ParseFailure(parser, partName, error);
    }
    if (got == 0) break;
  }
  return PartStatus::Ok;
}

PartStatus ZipPackage::Stream(std::string_view partName,
                              const std::function<bool(const char* data, size_t size)>& sink,
                              std::string& error) {
  Reader r(*this, std::string(partName));
  PartStatus st = r.Open(error);
  if (st != PartStatus::Ok) return st;
  std::vector<char> piece(kChunk);
  for (;;) {
    int64_t got = r.ReadSome(piece.data(), piece.size(), st, error);
    if (got < 0) return st;
    if (got == 0 || !sink(piece.data(), static_cast<size_t>(got))) return PartStatus::Ok;
  }
}

// The queue's thread inflates into pieces in turn; this thread parses each piece and hands
// it back to be filled again. Only the queue's thread touches the archive until it ends.
PartStatus ZipPackage::ParsePipelined(Reader& r, XML_Parser parser, std::string& error) {
  struct Piece {
    std::vector<char> bytes;
    int64_t got = 0;
  };
  std::vector<Piece> pieces(kPieces);
  for (Piece& p : pieces) p.bytes.resize(kChunk);
  PartStatus readStatus = PartStatus::Ok;
  std::string readError;
  bool ended = false;  // the end or a read error was reached: nothing more is read
  OrderedWorkQueue<Piece*> inflater(kPieces, [&](Piece*& p, unsigned) {
    p->got = ended ? 0 : r.ReadSome(p->bytes.data(), p->bytes.size(), readStatus, readError);
    ended = p->got <= 0;
  });
  for (Piece& p : pieces) inflater.Push(&p);
  for (;;) {
    Piece* p = inflater.Pop();
    if (p->got < 0) {
      error = readError;
      return readStatus;
    }
    if (XML_Parse(parser, p->bytes.data(), static_cast<int>(p->got), p->got == 0) !=
        XML_STATUS_OK) {
      return ParseFailure(parser, r.name, error);
    }
    if (p->got == 0) return PartStatus::Ok;
    inflater.Push(p);
  }
}

}  // namespace gridwell::xlsx
