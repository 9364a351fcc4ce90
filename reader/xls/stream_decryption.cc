// Encrypted .xls: every record body after FILEPASS is encrypted by its position in the
// Workbook stream, except the records and fields that must stay readable without the
// key (BOF, FILEPASS, the interface and revision records, and the stream offset of each
// BOUNDSHEET).
#include "reader/base/bytes.h"
#include "reader/crypto/crypto.h"
#include "reader/xls/biff_workbook.h"

namespace gridwell::xls {

namespace {

bool StaysClear(uint16_t type) {
  switch (type) {
    case rec::kBof:
    case rec::kFilePass:
    case rec::kInterfaceHdr:
    case 0x0194:  // USREXCL
    case 0x0195:  // FILELOCK
    case 0x0196:  // RRDINFO
    case 0x0138:  // RRDHEAD
      return true;
    default:
      return false;
  }
}

}  // namespace

Status DecryptionStatus(crypto::Verdict v, bool passwordGiven, std::string_view what) {
  switch (v) {
    case crypto::Verdict::Ok:
      return {};
    case crypto::Verdict::WrongPassword:
      return Status(passwordGiven ? StatusCode::WrongPassword : StatusCode::NeedPassword,
                    std::string(what) + ": the password does not open the workbook");
    default:
      return Status::Unreadable(std::string(what) + ": encryption not supported or damaged");
  }
}

std::span<const uint8_t> FindFilePass(std::span<const uint8_t> stream, bool& found) {
  found = false;
  // FILEPASS sits in the globals substream, right after BOF in files Excel writes.
  uint64_t pos = 0;
  bool first = true;
  while (pos + 4 <= stream.size()) {
    uint16_t type = base::ReadLe16(&stream[pos]);
    uint16_t len = base::ReadLe16(&stream[pos + 2]);
    if (first && type != rec::kBof) return {};
    first = false;
    uint64_t end = pos + 4 + len;
    if (end > stream.size()) end = stream.size();
    if (type == rec::kFilePass) {
      found = true;
      return stream.subspan(pos + 4, end - pos - 4);
    }
    if (type == rec::kEof) return {};
    pos = end;
  }
  return {};
}

Status DecryptStream(std::vector<uint8_t>& stream, const std::string* password) {
  bool found = false;
  std::span<const uint8_t> filePass = FindFilePass(stream, found);
  if (!found) return {};
  crypto::Verdict verdict = crypto::Verdict::Unsupported;
  std::unique_ptr<crypto::BiffDecryptor> dec;
  if (password) dec = crypto::OpenFilepass(filePass, *password, verdict);
  // Without a password, and when the given one fails, the default password of
  // "read-only recommended" workbooks may still open the file.
  if (!dec && (!password || verdict == crypto::Verdict::WrongPassword)) {
    crypto::Verdict fallback = crypto::Verdict::Unsupported;
    dec = crypto::OpenFilepass(filePass, crypto::kDefaultPassword, fallback);
    if (!password) verdict = fallback;
  }
  if (!dec) {
    // A decryptor refused with an Ok verdict cannot be: it counts as damage.
    if (verdict == crypto::Verdict::Ok) verdict = crypto::Verdict::Damaged;
    return DecryptionStatus(verdict, password != nullptr, "FILEPASS");
  }
  uint64_t filePassEnd = static_cast<uint64_t>(filePass.data() - stream.data()) + filePass.size();
  uint64_t pos = filePassEnd;
  while (pos + 4 <= stream.size()) {
    uint16_t type = base::ReadLe16(&stream[pos]);
    uint16_t len = base::ReadLe16(&stream[pos + 2]);
    uint64_t body = pos + 4;
    uint64_t end = body + len;
    if (end > stream.size()) end = stream.size();
    dec->BeginRecord(pos, type, len);
    if (!StaysClear(type)) {
      uint64_t from = type == rec::kBoundSheet ? body + 4 : body;
      if (from < end) dec->Decrypt(stream.data() + from, static_cast<size_t>(end - from), from);
    }
    pos = end;
  }
  return {};
}

}  // namespace gridwell::xls
