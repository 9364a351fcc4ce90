// encrypt_workbook --rc4-cryptoapi|--agile|--standard IN OUT PASSWORD
// Writes a password-protected copy of a workbook: .xls with RC4 CryptoAPI, .xlsx with agile
// (AES-256, SHA-512) or standard (AES-128, SHA-1) encryption.
#include <cstdio>
#include <string>

#include "tests/tools/workbook_encryptor.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s --rc4-cryptoapi|--agile|--standard IN OUT PASSWORD\n",
                 argc > 0 ? argv[0] : "encrypt_workbook");
    return 2;
  }
  std::string mode = argv[1], error;
  bool ok;
  if (mode == "--rc4-cryptoapi") {
    ok = gridwell::testing::EncryptXlsFile(argv[2], argv[3], argv[4], error);
  } else if (mode == "--agile" || mode == "--standard") {
    ok = gridwell::testing::EncryptXlsxFile(argv[2], argv[3], argv[4], mode == "--agile", error);
  } else {
    std::fprintf(stderr, "unknown scheme %s\n", mode.c_str());
    return 2;
  }
  if (!ok) {
    std::fprintf(stderr, "encrypt_workbook: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
