#include "reader/xls/xls_reader.h"

#include <cstring>
#include <unordered_set>

#include "reader/crypto/crypto.h"
#include "reader/xls/biff_workbook.h"
#include "reader/xls/compound_file.h"
#include "reader/xlsx/xlsx_reader.h"

namespace gridwell::xls {

namespace {

ReadResult ReadEncryptedPackage(const CompoundStreams& cs, const std::string* password,
                                const ReadLimits& limits) {
  std::vector<uint8_t> package;
  crypto::Verdict v = crypto::Verdict::Unsupported;
  if (password)
    v = crypto::DecryptPackage(cs.encryptionInfo, cs.encryptedPackage, *password, package);
  if (v != crypto::Verdict::Ok && (!password || v == crypto::Verdict::WrongPassword)) {
    package.clear();
    crypto::Verdict fallback = crypto::DecryptPackage(cs.encryptionInfo, cs.encryptedPackage,
                                                      crypto::kDefaultPassword, package);
    if (fallback == crypto::Verdict::Ok || !password) v = fallback;
  }
  switch (v) {
    case crypto::Verdict::Ok:
      return xlsx::ReadMemory(package, limits);
    case crypto::Verdict::WrongPassword:
      return ReadResult::Fail(password ? ReadStatus::WrongPassword : ReadStatus::NeedPassword,
                              "EncryptedPackage: the password does not open the workbook");
    default:
      return ReadResult::Fail(ReadStatus::Unreadable,
                              "EncryptedPackage: encryption not supported or damaged");
  }
}

ReadResult ReadStreams(CompoundStreams& cs, const std::string* password, const ReadLimits& limits) {
  if (cs.kind == CompoundStreams::Kind::EncryptedPackage) {
    return ReadEncryptedPackage(cs, password, limits);
  }
  std::string error;
  ReadStatus s = DecryptStream(cs.workbook, password, error);
  if (s != ReadStatus::Ok) return ReadResult::Fail(s, error);
  return ReadBiffStream(cs.workbook, limits);
}

}  // namespace

bool LooksLikeCompoundFile(std::span<const uint8_t> head) {
  static const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  return head.size() >= 8 && std::memcmp(head.data(), sig, 8) == 0;
}

ReadResult ReadBiffStream(std::span<const uint8_t> stream, const ReadLimits& limits) {
  auto book = std::make_shared<model::Workbook>();
  Globals g;
  std::string error;
  if (!ReadGlobals(stream, g, *book, error)) return ReadResult::Fail(ReadStatus::Unreadable, error);
  // Each substream is read once even when several BOUNDSHEET records point at it, so a
  // hostile file cannot make the reader walk the same records again and again.
  std::unordered_set<uint32_t> seen;
  // Substreams may overlap in a hostile file; all sheets together walk at most a few
  // times the stream.
  uint64_t budget = 4 * uint64_t{stream.size()} + (1u << 20);
  for (const BoundSheet& bs : g.sheets) {
    if (bs.type != 0 && bs.type != 1) continue;  // charts and VB modules are not worksheets
    model::Sheet& sheet = book->AddSheet(bs.name);
    sheet.hidden = bs.state != 0;
    if (!seen.insert(bs.pos).second) continue;
    ReadSheet(stream, bs.pos, g, sheet, budget);
  }
  if (book->Strings().ByteSize() > limits.maxStringBytes) {
    return ReadResult::Fail(ReadStatus::Unreadable, "strings over the limit");
  }
  book->Finish();
  ReadResult r;
  r.status = ReadStatus::Ok;
  r.workbook = std::move(book);
  return r;
}

int ProbeProtection(const std::string& path) {
  CompoundStreams cs;
  std::string error;
  if (!ReadCompoundFile(path, ReadLimits{}, cs, error)) return -1;
  if (cs.kind == CompoundStreams::Kind::EncryptedPackage) return 2;
  std::span<const uint8_t> s = cs.workbook;
  if (s.size() < 8 || s[0] != 0x09 || s[1] != 0x08) return -1;
  bool found = false;
  std::span<const uint8_t> filePass = FindFilePass(s, found);
  if (!found) return 0;
  // A workbook that the default password opens is shown as a plain one.
  crypto::Verdict v;
  if (crypto::OpenFilepass(filePass, crypto::kDefaultPassword, v)) return 0;
  return 1;
}

ReadResult ReadFile(const std::string& path, const std::string* password,
                    const ReadLimits& limits) {
  CompoundStreams cs;
  std::string error;
  if (!ReadCompoundFile(path, limits, cs, error)) {
    return ReadResult::Fail(ReadStatus::Unreadable, path + ": " + error);
  }
  return ReadStreams(cs, password, limits);
}

ReadResult ReadMemory(std::span<const uint8_t> bytes, const std::string* password,
                      const ReadLimits& limits) {
  CompoundStreams cs;
  std::string error;
  if (!ReadCompoundMemory(bytes, limits, cs, error)) {
    return ReadResult::Fail(ReadStatus::Unreadable, error);
  }
  return ReadStreams(cs, password, limits);
}

}  // namespace gridwell::xls
