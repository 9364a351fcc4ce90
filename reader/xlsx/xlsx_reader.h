// Reader for .xlsx packages (Office Open XML spreadsheets).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "reader/read_result.h"

namespace gridwell::xlsx {

// True when the bytes begin like a ZIP archive.
bool LooksLikeZip(std::span<const uint8_t> head);

// Neither throws: memory running out is a status.
ReadResult ReadFile(const std::string& path, const ReadLimits& limits = {});
// Reads a package held in memory (a decrypted package, a fuzz input).
ReadResult ReadMemory(std::span<const uint8_t> bytes, const ReadLimits& limits = {});

}  // namespace gridwell::xlsx
