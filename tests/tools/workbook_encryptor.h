// Test-side encryptor: makes password-protected copies of workbooks, the inverse of the
// reader's decryptors, so that tests and samples can have encrypted fixtures of our own.
// Compound files are read and written with libgsf.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/crypto/crypto.h"

namespace gridwell::testing {

using Bytes = std::vector<uint8_t>;

// One stream of a compound file; `path` names its storages and itself, joined by '/'.
struct CompoundStream {
  std::string path;
  Bytes data;
};

std::optional<std::vector<CompoundStream>> ReadCompoundFile(const std::string& file);
bool WriteCompoundFile(const std::string& file, const std::vector<CompoundStream>& streams);
std::optional<Bytes> ReadFileBytes(const std::string& file);
bool WriteFileBytes(const std::string& file, const Bytes& data);
// The first stream whose path matches one of `names` without regard to case.
const CompoundStream* FindStream(const std::vector<CompoundStream>& streams,
                                 std::initializer_list<std::string_view> names);

// The EncryptionInfo and EncryptedPackage streams of an encrypted .xlsx.
struct EncryptedPackage {
  Bytes info;
  Bytes package;
};
// Agile encryption: AES-256-CBC with SHA-512 (the settings current writers use).
EncryptedPackage EncryptAgile(const Bytes& zip, std::string_view password,
                              uint32_t spinCount = 100000);
// Standard encryption: AES-128-ECB with SHA-1 (EncryptionInfo 4.2).
EncryptedPackage EncryptStandard(const Bytes& zip, std::string_view password);
// The whole compound file: the two streams plus the DataSpaces storage writers add.
std::vector<CompoundStream> EncryptedPackageStreams(const EncryptedPackage& p);

// RC4 CryptoAPI (128-bit) encryption of a BIFF8 Workbook stream: a FILEPASS record goes
// right after the globals BOF, every BOUNDSHEET offset moves by its size, and every record
// body is encrypted except those that stay clear. Empty when the stream is not BIFF8.
Bytes EncryptWorkbookStreamRc4CryptoApi(const Bytes& plain, std::string_view password);

// Decrypts a record stream that holds a FILEPASS record, the way a reader would: the
// FILEPASS record itself is kept, every body after it is decrypted in place.
Bytes DecryptWorkbookStream(const Bytes& stream, std::string_view password,
                            crypto::Verdict& verdict);
// The FILEPASS record body of a record stream, when it has one.
std::optional<Bytes> FindFilepass(const Bytes& stream);

// Whole-file helpers for the command line: false with `error` set on failure.
bool EncryptXlsFile(const std::string& in, const std::string& out, std::string_view password,
                    std::string& error);
bool EncryptXlsxFile(const std::string& in, const std::string& out, std::string_view password,
                     bool agile, std::string& error);

}  // namespace gridwell::testing
