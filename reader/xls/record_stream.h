// The BIFF record stream of a Workbook stream: records with their CONTINUE records
// gathered, a cursor that reads across CONTINUE boundaries, and the string forms of
// BIFF5 and BIFF8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace gridwell::xls {

namespace rec {
inline constexpr uint16_t kFormula = 0x0006;
inline constexpr uint16_t kEof = 0x000A;
inline constexpr uint16_t kProtect = 0x0012;
inline constexpr uint16_t kExternSheet = 0x0017;
inline constexpr uint16_t kName = 0x0018;
inline constexpr uint16_t kNote = 0x001C;
inline constexpr uint16_t kFormatBiff4 = 0x001E;
inline constexpr uint16_t kDateMode = 0x0022;
inline constexpr uint16_t kExternName = 0x0023;
inline constexpr uint16_t kFilePass = 0x002F;
inline constexpr uint16_t kFont = 0x0031;
inline constexpr uint16_t kContinue = 0x003C;
inline constexpr uint16_t kCodePage = 0x0042;
inline constexpr uint16_t kDefColWidth = 0x0055;
inline constexpr uint16_t kObj = 0x005D;
inline constexpr uint16_t kColInfo = 0x007D;
inline constexpr uint16_t kBoundSheet = 0x0085;
inline constexpr uint16_t kPalette = 0x0092;
inline constexpr uint16_t kStandardWidth = 0x0099;
inline constexpr uint16_t kMulRk = 0x00BD;
inline constexpr uint16_t kMulBlank = 0x00BE;
inline constexpr uint16_t kRString = 0x00D6;
inline constexpr uint16_t kXf = 0x00E0;
inline constexpr uint16_t kInterfaceHdr = 0x00E1;
inline constexpr uint16_t kMergedCells = 0x00E5;
inline constexpr uint16_t kSst = 0x00FC;
inline constexpr uint16_t kLabelSst = 0x00FD;
inline constexpr uint16_t kSupBook = 0x01AE;
inline constexpr uint16_t kTxo = 0x01B6;
inline constexpr uint16_t kBlank = 0x0201;
inline constexpr uint16_t kNumber = 0x0203;
inline constexpr uint16_t kLabel = 0x0204;
inline constexpr uint16_t kBoolErr = 0x0205;
inline constexpr uint16_t kString = 0x0207;
inline constexpr uint16_t kRow = 0x0208;
inline constexpr uint16_t kArray = 0x0221;
inline constexpr uint16_t kDefaultRowHeight = 0x0225;
inline constexpr uint16_t kTable = 0x0236;
inline constexpr uint16_t kWindow2 = 0x023E;
inline constexpr uint16_t kRk = 0x027E;
inline constexpr uint16_t kFormat = 0x041E;
inline constexpr uint16_t kShrFmla = 0x04BC;
inline constexpr uint16_t kBof = 0x0809;
// Older BOF and FORMULA record numbers (BIFF2-4), recognised only to reject them cleanly.
inline constexpr uint16_t kBofBiff2 = 0x0009;
inline constexpr uint16_t kBofBiff3 = 0x0209;
inline constexpr uint16_t kBofBiff4 = 0x0409;
}  // namespace rec

// One record: its type, the stream offset of its header and its body followed by the
// bodies of the CONTINUE records that came right after it (one segment each).
struct Record {
  uint16_t type = 0;
  uint64_t pos = 0;
  std::vector<std::span<const uint8_t>> segments;
  std::span<const uint8_t> body() const {
    return segments.empty() ? std::span<const uint8_t>{} : segments[0];
  }
};

// Walks the records of a stream. A record header whose length runs past the end of the
// stream gives a record cut at the end, and the walk stops after it.
class RecordReader {
 public:
  explicit RecordReader(std::span<const uint8_t> stream) : data_(stream) {}
  // Fills `r` with the next record and its CONTINUE records; false at the end.
  bool Next(Record& r);
  // Moves to a stream offset (a substream's BOF).
  void Seek(uint64_t pos) { pos_ = pos <= data_.size() ? pos : data_.size(); }
  uint64_t Position() const { return pos_; }

 private:
  bool Header(uint64_t at, uint16_t& type, uint32_t& len) const;
  void TakeBody(uint32_t len, Record& r);
  std::span<const uint8_t> data_;
  uint64_t pos_ = 0;
};

// 8-bit text of BIFF5 files is in the workbook's code page (the CODEPAGE record).
class CodePage {
 public:
  CodePage() = default;
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;
  void Set(uint16_t codePage);
  // Appends 8-bit text as UTF-8.
  void Append8(std::span<const uint8_t> bytes, std::string& out);

 private:
  uint16_t page_ = 1252;
  void* iconv_ = nullptr;  // iconv_t, opened on first use
  bool opened_ = false;
};

// Appends Latin-1 (BIFF8 "compressed" UTF-16 with the high bytes dropped) as UTF-8.
void AppendLatin1(std::span<const uint8_t> bytes, std::string& out);
// Appends UTF-16LE as UTF-8; unpaired surrogates become U+FFFD.
void AppendUtf16(std::span<const uint8_t> bytes, std::string& out);

// Reads a record's segments as one byte sequence, except for character data, where BIFF8
// repeats the option byte at the start of each CONTINUE segment.
class Cursor {
 public:
  explicit Cursor(const Record& r) : segs_(r.segments) {}
  explicit Cursor(std::span<const uint8_t> one) : own_{one}, segs_(own_) {}

  bool U8(uint8_t& v);
  bool U16(uint16_t& v);
  bool U32(uint32_t& v);
  bool F64(double& v);
  bool Skip(uint64_t n);
  // Copies n bytes, which may span segments.
  bool Bytes(size_t n, std::vector<uint8_t>& out);
  size_t Remaining() const;
  bool AtEnd() const { return Remaining() == 0; }
  // Moves to the start of segment i.
  bool ToSegment(size_t i);

  // `cch` characters whose width the option byte `flags` gives (bit 0: 16-bit); at each
  // segment boundary a new option byte is read. Returns false when the data ends early
  // (the characters read so far are kept).
  bool Chars(uint32_t cch, uint8_t flags, std::string& out);
  // BIFF8 strings: cch (16- or 8-bit), option byte, optional run count and phonetic
  // size, characters, then the run and phonetic blocks are skipped.
  bool UnicodeString(bool cch16, std::string& out);
  // A BIFF8 string without the count (XLUnicodeStringNoCch).
  bool UnicodeStringNoCch(uint32_t cch, std::string& out);
  // BIFF5 strings: cch (8- or 16-bit) then 8-bit characters in the code page.
  bool ByteString(bool cch16, CodePage& cp, std::string& out);

 private:
  std::vector<std::span<const uint8_t>> own_;
  const std::vector<std::span<const uint8_t>>& segs_;
  size_t seg_ = 0;
  size_t off_ = 0;
  void Normalize();
  // A string's character count, 16- or 8-bit.
  bool CharCount(bool cch16, uint32_t& cch);
};

}  // namespace gridwell::xls
