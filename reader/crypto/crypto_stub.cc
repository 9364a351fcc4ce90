// Temporary stand-in until decryption lands.
#include "reader/crypto/crypto.h"

namespace gridwell::crypto {
std::unique_ptr<BiffDecryptor> OpenFilepass(std::span<const uint8_t>, std::string_view,
                                            Verdict& verdict) {
  verdict = Verdict::Unsupported;
  return nullptr;
}
Verdict DecryptPackage(std::span<const uint8_t>, std::span<const uint8_t>, std::string_view,
                       std::vector<uint8_t>&) {
  return Verdict::Unsupported;
}
}  // namespace gridwell::crypto
