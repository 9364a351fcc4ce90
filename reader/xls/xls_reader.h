// Reader for OLE2 compound files: .xls workbooks (BIFF8, and BIFF5 where cheap), with
// their encryption, and encrypted .xlsx packages (EncryptionInfo + EncryptedPackage).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "reader/read_result.h"

namespace gridwell::xls {

// True when the bytes begin with the compound file signature.
bool LooksLikeCompoundFile(std::span<const uint8_t> head);

// -1 not a readable workbook, 0 not encrypted, positive when encrypted (1 for .xls
// encryption, 2 for an encrypted .xlsx package).
int ProbeProtection(const std::string& path);

// Reads the workbook. `password` null means none was given: the default password of
// write-protected files is tried then. Neither throws: memory running out is a status.
ReadResult ReadFile(const std::string& path, const std::string* password,
                    const ReadLimits& limits = {});
ReadResult ReadMemory(std::span<const uint8_t> bytes, const std::string* password,
                      const ReadLimits& limits = {});

}  // namespace gridwell::xls
