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
  if (v == crypto::Verdict::Ok) return xlsx::ReadMemory(package, limits);
  return {DecryptionStatus(v, password != nullptr, "EncryptedPackage")};
}

ReadResult ReadWorkbookStream(CompoundStreams& cs, const std::string* password,
                              const ReadLimits& limits) {
  Status decrypted = DecryptStream(cs.workbook, password);
  if (!decrypted.Ok()) return {std::move(decrypted)};
  return ReadBiffStream(cs.workbook, limits);
}

ReadResult ReadStreams(CompoundStreams& cs, const std::string* password, const ReadLimits& limits) {
  ReadResult read = cs.kind == CompoundStreams::Kind::EncryptedPackage
                        ? ReadEncryptedPackage(cs, password, limits)
                        : ReadWorkbookStream(cs, password, limits);
  // The container was damaged in a way its reader could step over: the user hears of it.
  if (read.workbook && !cs.damage.empty()) {
    read.workbook->warnings.insert(read.workbook->warnings.begin(), cs.damage);
  }
  return read;
}

// -1 not a readable workbook, 0 not encrypted, 1 encrypted .xls, 2 encrypted package.
int ProbeStreams(const std::string& path) {
  CompoundStreams cs;
  if (!ReadCompoundFile(path, ReadLimits{}, cs).Ok()) return -1;
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

}  // namespace

bool LooksLikeCompoundFile(std::span<const uint8_t> head) {
  static const uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  return head.size() >= 8 && std::memcmp(head.data(), sig, 8) == 0;
}

ReadResult ReadBiffStream(std::span<const uint8_t> stream, const ReadLimits& limits) {
  auto book = std::make_shared<model::Workbook>();
  Globals g;
  std::string error;
  if (!ReadGlobals(stream, g, *book, error)) return {Status::Unreadable(error)};
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
    if (book->SheetCount() > limits.sheetsWithCells) continue;
    if (!seen.insert(bs.pos).second) continue;
    ReadSheet(stream, bs.pos, g, sheet, budget);
  }
  if (book->Strings().ByteSize() > limits.maxStringBytes) {
    return {Status::Unreadable("strings over the limit")};
  }
  book->Finish();
  return {Status(), std::move(book)};
}

int ProbeProtection(const std::string& path) {
  try {
    return ProbeStreams(path);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return -1;  // too big to look into is unreadable, as a full read would find it
}

ReadResult ReadFile(const std::string& path, const std::string* password,
                    const ReadLimits& limits) {
  return GuardMemory([&]() -> ReadResult {
    CompoundStreams cs;
    Status opened = ReadCompoundFile(path, limits, cs);
    if (!opened.Ok()) return {Status::Unreadable(path + ": " + opened.Detail())};
    return ReadStreams(cs, password, limits);
  });
}

ReadResult ReadMemory(std::span<const uint8_t> bytes, const std::string* password,
                      const ReadLimits& limits) {
  return GuardMemory([&]() -> ReadResult {
    CompoundStreams cs;
    Status opened = ReadCompoundMemory(bytes, limits, cs);
    if (!opened.Ok()) return {std::move(opened)};
    return ReadStreams(cs, password, limits);
  });
}

}  // namespace gridwell::xls
