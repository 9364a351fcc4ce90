// What keeps one thumbnailer run within its budget whatever the workbook: an address-space
// limit, and a timer that ends the run, removing any half-written output, when it is up.
#pragma once

#include <cstdint>

namespace gridwell::thumbnail {

inline constexpr uint64_t kMostAddressSpace = uint64_t{256} << 20;
// AddressSanitizer reserves terabytes of address space for its shadow memory, so a build
// with it runs without the address-space limit (the timer still holds).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kLimitsAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kLimitsAddressSpace = false;
#else
inline constexpr bool kLimitsAddressSpace = true;
#endif
#else
inline constexpr bool kLimitsAddressSpace = true;
#endif
inline constexpr int kMostMilliseconds = 1500;  // leaves a loaded machine time to end within 2 s
inline constexpr int kTimedOutExit = 3;

// Limits this process; `milliseconds` from now the process ends with kTimedOutExit.
void LimitRun(uint64_t addressSpace, int milliseconds);

// The file the timer removes should it end the run (nullptr: none). Keeps a copy.
void RemoveIfTimedOut(const char* path);

}  // namespace gridwell::thumbnail
