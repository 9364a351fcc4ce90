// Decryption of password-protected workbooks: the FILEPASS schemes of .xls record streams
// (XOR obfuscation, RC4, RC4 CryptoAPI) and the Standard and Agile encryption of .xlsx
// packages wrapped in a compound file. All primitives come from OpenSSL libcrypto.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace gridwell::crypto {

// Spreadsheet programs encrypt "read-only recommended" workbooks with this password and
// open them without asking; a reader tries it when no password is given.
inline constexpr std::string_view kDefaultPassword = "VelvetSweatshop";

enum class Verdict { Ok, WrongPassword, Unsupported, Damaged };

// Decrypts the bytes of a BIFF record stream that follow the FILEPASS record.
class BiffDecryptor {
 public:
  virtual ~BiffDecryptor() = default;
  // Decrypts `data` in place; `streamPos` is the offset of data[0] in the Workbook stream.
  // Callers pass record bodies only (record headers stay clear but still count as stream
  // positions); bytes that stay clear (the first 4 bytes of a BOUNDSHEET body) must not be
  // passed.
  virtual void Decrypt(uint8_t* data, size_t len, uint64_t streamPos) = 0;
  // XOR obfuscation works per record rather than per stream block; the reader tells it
  // where each record begins (its header offset) and its type.
  virtual void BeginRecord(uint64_t headerPos, uint16_t type, uint16_t size) {}
};

// Checks `password` against the FILEPASS record body and returns a decryptor for the
// stream, or null with `verdict` telling why.
std::unique_ptr<BiffDecryptor> OpenFilepass(std::span<const uint8_t> filepassBody,
                                            std::string_view password, Verdict& verdict);

// Decrypts an encrypted .xlsx: the EncryptionInfo and EncryptedPackage streams of its
// compound file. On success `package` holds the plain ZIP package.
Verdict DecryptPackage(std::span<const uint8_t> encryptionInfo,
                       std::span<const uint8_t> encryptedPackage, std::string_view password,
                       std::vector<uint8_t>& package);

// Checks `password` against the EncryptionInfo stream alone (its verifier), without
// decrypting the package: Ok, WrongPassword, or why the header cannot be used. Costs one
// password hashing, so a caller can ask whether the default password opens a package.
Verdict CheckPackagePassword(std::span<const uint8_t> encryptionInfo, std::string_view password);

}  // namespace gridwell::crypto
