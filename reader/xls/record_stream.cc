#include "reader/xls/record_stream.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#include "reader/base/bytes.h"
#include "reader/utf8.h"

namespace gridwell::xls {

using base::ReadLe16;

// ---- records ----

bool RecordReader::Header(uint64_t at, uint16_t& type, uint32_t& len) const {
  if (at + 4 > data_.size()) return false;
  type = ReadLe16(&data_[at]);
  len = ReadLe16(&data_[at + 2]);
  return true;
}

bool RecordReader::Next(Record& r) {
  r.segments.clear();
  uint16_t type;
  uint32_t len;
  if (!Header(pos_, type, len)) {
    pos_ = data_.size();
    return false;
  }
  r.type = type;
  r.pos = pos_;
  TakeBody(len, r);
  // CONTINUE records that follow belong to this record. A stray CONTINUE (one that
  // starts the walk) is handed out as a record of its own.
  uint16_t nextType;
  uint32_t nextLen;
  while (Header(pos_, nextType, nextLen) && nextType == rec::kContinue) TakeBody(nextLen, r);
  return true;
}

// Adds the body of the record whose header is at the read position as a segment of `r`
// (cut short at the end of the stream) and moves past it.
void RecordReader::TakeBody(uint32_t len, Record& r) {
  const uint64_t start = pos_ + 4;
  const uint64_t avail = data_.size() - start;
  if (len > avail) len = static_cast<uint32_t>(avail);
  r.segments.push_back(data_.subspan(start, len));
  pos_ = start + len;
}

// ---- text ----

void AppendLatin1(std::span<const uint8_t> bytes, std::string& out) {
  for (uint8_t b : bytes) {
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
}

void AppendUtf16(std::span<const uint8_t> bytes, std::string& out) {
  size_t n = bytes.size() / 2;
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = ReadLe16(&bytes[2 * i]);
    if (u >= 0xD800 && u < 0xDC00) {
      if (i + 1 < n) {
        uint32_t lo = ReadLe16(&bytes[2 * i + 2]);
        if (lo >= 0xDC00 && lo < 0xE000) {
          AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
          ++i;
          continue;
        }
      }
      u = 0xFFFD;
    } else if (u >= 0xDC00 && u < 0xE000) {
      u = 0xFFFD;
    }
    AppendUtf8(out, u);
  }
}

CodePage::~CodePage() {
  if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
}

void CodePage::Set(uint16_t codePage) {
  if (codePage == page_) return;
  if (iconv_) iconv_close(static_cast<iconv_t>(iconv_));
  iconv_ = nullptr;
  opened_ = false;
  page_ = codePage;
}

void CodePage::Append8(std::span<const uint8_t> bytes, std::string& out) {
  // 1200 is UTF-16 (BIFF8 strings never come here), 367 ASCII, 1252 and 32769 Latin 1.
  if (page_ == 1252 || page_ == 1200 || page_ == 367 || page_ == 32769 || page_ == 0) {
    bool ascii = true;
    for (uint8_t b : bytes) ascii = ascii && b < 0x80;
    if (ascii || page_ != 1252) {
      AppendLatin1(bytes, out);
      return;
    }
  }
  if (!opened_) {
    opened_ = true;
    std::string name;
    if (page_ == 10000 || page_ == 32768) {
      name = "MACINTOSH";
    } else {
      name = "CP" + std::to_string(page_);
    }
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    iconv_ = cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd;
  }
  if (!iconv_) {
    AppendLatin1(bytes, out);
    return;
  }
  iconv_t cd = static_cast<iconv_t>(iconv_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::vector<char> in(bytes.begin(), bytes.end());
  char* inp = in.data();
  size_t inLeft = in.size();
  char buf[1024];
  while (inLeft > 0) {
    char* outp = buf;
    size_t outLeft = sizeof buf;
    size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    out.append(buf, static_cast<size_t>(outp - buf));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      // An unmappable byte: show a replacement character and go on.
      out.append("\xEF\xBF\xBD");
      ++inp;
      --inLeft;
    }
  }
}

// ---- cursor ----

void Cursor::Normalize() {
  while (seg_ < segs_.size() && off_ >= segs_[seg_].size()) {
    ++seg_;
    off_ = 0;
  }
}

size_t Cursor::Remaining() const {
  if (seg_ >= segs_.size()) return 0;
  size_t n = segs_[seg_].size() - off_;
  for (size_t i = seg_ + 1; i < segs_.size(); ++i) n += segs_[i].size();
  return n;
}

bool Cursor::ToSegment(size_t i) {
  if (i >= segs_.size()) return false;
  seg_ = i;
  off_ = 0;
  return true;
}

bool Cursor::U8(uint8_t& v) {
  Normalize();
  if (seg_ >= segs_.size()) return false;
  v = segs_[seg_][off_++];
  return true;
}

bool Cursor::U16(uint16_t& v) {
  Normalize();
  if (seg_ < segs_.size() && segs_[seg_].size() - off_ >= 2) {
    v = ReadLe16(&segs_[seg_][off_]);
    off_ += 2;
    return true;
  }
  uint8_t a, b;
  if (!U8(a) || !U8(b)) return false;
  v = static_cast<uint16_t>(a | (b << 8));
  return true;
}

bool Cursor::U32(uint32_t& v) {
  uint16_t lo, hi;
  if (!U16(lo) || !U16(hi)) return false;
  v = lo | (uint32_t{hi} << 16);
  return true;
}

bool Cursor::F64(double& v) {
  uint32_t lo, hi;
  if (!U32(lo) || !U32(hi)) return false;
  uint64_t bits = lo | (uint64_t{hi} << 32);
  std::memcpy(&v, &bits, sizeof v);
  return true;
}

bool Cursor::Skip(uint64_t n) {
  while (n > 0) {
    Normalize();
    if (seg_ >= segs_.size()) return false;
    size_t here = segs_[seg_].size() - off_;
    size_t step = n < here ? static_cast<size_t>(n) : here;
    off_ += step;
    n -= step;
  }
  return true;
}

bool Cursor::Bytes(size_t n, std::vector<uint8_t>& out) {
  if (n > Remaining()) return false;
  out.reserve(out.size() + n);
  while (n > 0) {
    Normalize();
    size_t here = segs_[seg_].size() - off_;
    size_t step = n < here ? n : here;
    auto s = segs_[seg_].subspan(off_, step);
    out.insert(out.end(), s.begin(), s.end());
    off_ += step;
    n -= step;
  }
  return true;
}

bool Cursor::Chars(uint32_t cch, uint8_t flags, std::string& out) {
  bool wide = flags & 1;
  while (cch > 0) {
    if (seg_ < segs_.size() && off_ >= segs_[seg_].size()) {
      // A string split at a CONTINUE boundary: the next segment begins with a fresh
      // option byte that says whether the rest is 8- or 16-bit.
      if (seg_ + 1 >= segs_.size()) return false;
      ++seg_;
      off_ = 0;
      if (segs_[seg_].empty()) continue;
      wide = segs_[seg_][off_++] & 1;
      continue;
    }
    if (seg_ >= segs_.size()) return false;
    size_t here = segs_[seg_].size() - off_;
    size_t unit = wide ? 2 : 1;
    size_t fit = here / unit;
    if (fit == 0) {
      // An odd byte left before a boundary: drop it.
      off_ = segs_[seg_].size();
      continue;
    }
    size_t take = cch < fit ? cch : fit;
    auto s = segs_[seg_].subspan(off_, take * unit);
    if (wide) {
      AppendUtf16(s, out);
    } else {
      AppendLatin1(s, out);
    }
    off_ += take * unit;
    cch -= static_cast<uint32_t>(take);
  }
  return true;
}

bool Cursor::CharCount(bool cch16, uint32_t& cch) {
  if (cch16) {
    uint16_t c;
    if (!U16(c)) return false;
    cch = c;
  } else {
    uint8_t c;
    if (!U8(c)) return false;
    cch = c;
  }
  return true;
}

bool Cursor::UnicodeString(bool cch16, std::string& out) {
  uint32_t cch;
  if (!CharCount(cch16, cch)) return false;
  uint8_t flags;
  if (!U8(flags)) return false;
  uint16_t runs = 0;
  uint32_t ext = 0;
  if ((flags & 0x08) && !U16(runs)) return false;
  if ((flags & 0x04) && !U32(ext)) return false;
  if (!Chars(cch, flags, out)) return false;
  // Formatting runs (4 bytes each) and the phonetic block follow the characters.
  return Skip(uint64_t{runs} * 4) && Skip(ext);
}

bool Cursor::UnicodeStringNoCch(uint32_t cch, std::string& out) {
  uint8_t flags;
  if (!U8(flags)) return false;
  return Chars(cch, flags, out);
}

bool Cursor::ByteString(bool cch16, CodePage& cp, std::string& out) {
  uint32_t cch;
  if (!CharCount(cch16, cch)) return false;
  std::vector<uint8_t> bytes;
  bool ok = true;
  if (cch > Remaining()) {
    cch = static_cast<uint32_t>(Remaining());
    ok = false;
  }
  Bytes(cch, bytes);
  cp.Append8(bytes, out);
  return ok;
}

}  // namespace gridwell::xls
