// The FILEPASS schemes of .xls record streams. Record headers are never encrypted but
// still count as stream positions; the RC4 schemes derive a new key for every 1024-byte
// block of the stream, numbered from the stream's start.
#include <algorithm>
#include <array>

#include "reader/crypto/crypto.h"
#include "reader/crypto/key_derivation.h"

namespace gridwell::crypto {

namespace {

class XorDecryptor : public BiffDecryptor {
 public:
  explicit XorDecryptor(const std::array<uint8_t, 16>& xorArray) : array_(xorArray) {}

  void BeginRecord(uint64_t headerPos, uint16_t type, uint16_t size) override {
    recordSize_ = size;
  }

  void Decrypt(uint8_t* data, size_t len, uint64_t streamPos) override {
    for (size_t i = 0; i < len; ++i) {
      uint8_t v = uint8_t(data[i] ^ array_[XorArrayIndex(streamPos + i, recordSize_)]);
      data[i] = uint8_t((v >> 5) | (v << 3));
    }
  }

 private:
  std::array<uint8_t, 16> array_;
  uint16_t recordSize_ = 0;
};

// RC4 over a stream cut into 1024-byte blocks, one key per block. Keeps the key stream of
// the current block so that reading forward costs no re-keying.
class BlockRc4Decryptor : public BiffDecryptor {
 public:
  void Decrypt(uint8_t* data, size_t len, uint64_t streamPos) override {
    while (len > 0) {
      uint64_t block = streamPos / kBiffRc4BlockSize;
      uint64_t blockStart = block * kBiffRc4BlockSize;
      if (!keyed_ || block != block_ || streamPos < pos_) {
        keyed_ = Rekey(block);
        block_ = block;
        pos_ = blockStart;
      }
      size_t inBlock = size_t(blockStart + kBiffRc4BlockSize - streamPos);
      size_t n = len < inBlock ? len : inBlock;
      if (!keyed_) {
        // No key (a primitive failed after the password was accepted): leave no
        // plain-looking bytes behind.
        for (size_t i = 0; i < n; ++i) data[i] = 0;
      } else {
        rc4_.Skip(size_t(streamPos - pos_));
        rc4_.Apply(data, n);
        pos_ = streamPos + n;
      }
      data += n;
      len -= n;
      streamPos += n;
    }
  }

 protected:
  virtual Bytes BlockKey(uint32_t block) const = 0;

  // Checks the verifier with the block-0 key: the verifier and its hash are decrypted as
  // one run of the key stream.
  bool CheckVerifier(ByteView encVerifier, ByteView encHash, HashAlg alg) {
    if (!Rekey(0)) return false;
    Bytes verifier(encVerifier.begin(), encVerifier.end());
    Bytes hash(encHash.begin(), encHash.end());
    rc4_.Apply(verifier.data(), verifier.size());
    rc4_.Apply(hash.data(), hash.size());
    keyed_ = false;
    Bytes expected = Hash(alg, {verifier});
    return rc4_.ok() && !expected.empty() &&
           SameBytes(ByteView(hash).first(std::min(hash.size(), expected.size())), expected);
  }

 private:
  bool Rekey(uint64_t block) {
    if (block > UINT32_MAX) return false;
    Bytes key = BlockKey(uint32_t(block));
    return !key.empty() && rc4_.SetKey(key);
  }

  Rc4 rc4_;
  bool keyed_ = false;
  uint64_t block_ = 0;
  uint64_t pos_ = 0;  // stream position the key stream has reached
};

class Rc4Md5Decryptor : public BlockRc4Decryptor {
 public:
  explicit Rc4Md5Decryptor(Bytes baseKey) : baseKey_(std::move(baseKey)) {}
  bool Verify(ByteView encVerifier, ByteView encHash) {
    return CheckVerifier(encVerifier, encHash, HashAlg::Md5);
  }

 protected:
  Bytes BlockKey(uint32_t block) const override { return Rc4Md5BlockKey(baseKey_, block); }

 private:
  Bytes baseKey_;
};

class CryptoApiDecryptor : public BlockRc4Decryptor {
 public:
  CryptoApiDecryptor(Bytes baseHash, uint32_t keyBits)
      : baseHash_(std::move(baseHash)), keyBits_(keyBits) {}
  bool Verify(ByteView encVerifier, ByteView encHash) {
    return CheckVerifier(encVerifier, encHash, HashAlg::Sha1);
  }

 protected:
  Bytes BlockKey(uint32_t block) const override {
    return CryptoApiBlockKey(baseHash_, block, keyBits_);
  }

 private:
  Bytes baseHash_;
  uint32_t keyBits_;
};

std::unique_ptr<BiffDecryptor> OpenXor(ByteView info, std::string_view password, Verdict& verdict) {
  // key (2 bytes), verifier (2 bytes)
  if (info.size() < 4) {
    verdict = Verdict::Damaged;
    return nullptr;
  }
  Bytes pw = XorPasswordBytes(password);
  if (pw.empty() || XorVerifierMethod1(pw) != ReadLe16(info.data() + 2) ||
      XorKeyMethod1(pw) != ReadLe16(info.data())) {
    verdict = Verdict::WrongPassword;
    return nullptr;
  }
  verdict = Verdict::Ok;
  return std::make_unique<XorDecryptor>(XorArrayMethod1(pw));
}

std::unique_ptr<BiffDecryptor> OpenRc4Md5(ByteView body, std::string_view password,
                                          Verdict& verdict) {
  // Salt, EncryptedVerifier and EncryptedVerifierHash, 16 bytes each.
  if (body.size() < 48) {
    verdict = Verdict::Damaged;
    return nullptr;
  }
  if (!LegacyProviderAvailable()) {
    verdict = Verdict::Unsupported;
    return nullptr;
  }
  auto d = std::make_unique<Rc4Md5Decryptor>(Rc4Md5BaseKey(password, body.first(16)));
  if (!d->Verify(body.subspan(16, 16), body.subspan(32, 16))) {
    verdict = Verdict::WrongPassword;
    return nullptr;
  }
  verdict = Verdict::Ok;
  return d;
}

std::unique_ptr<BiffDecryptor> OpenCryptoApi(ByteView body, std::string_view password,
                                             Verdict& verdict) {
  verdict = Verdict::Damaged;
  // Flags (4), EncryptionHeaderSize (4), EncryptionHeader, EncryptionVerifier.
  if (body.size() < 8) return nullptr;
  uint32_t headerSize = ReadLe32(body.data() + 4);
  if (headerSize < 32 || headerSize > body.size() - 8) return nullptr;
  ByteView header = body.subspan(8, headerSize);
  ByteView verifier = body.subspan(8 + headerSize);
  uint32_t algId = ReadLe32(header.data() + 8);
  uint32_t hashId = ReadLe32(header.data() + 12);
  uint32_t keyBits = ReadLe32(header.data() + 16);
  if (keyBits == 0) keyBits = 40;  // the provider's default
  if ((algId != 0 && algId != 0x6801) || (hashId != 0 && hashId != 0x8004) || keyBits % 8 != 0 ||
      keyBits < 40 || keyBits > 128) {
    verdict = Verdict::Unsupported;
    return nullptr;
  }
  // SaltSize (4), Salt, EncryptedVerifier (16), VerifierHashSize (4), hash (20).
  if (verifier.size() < 4) return nullptr;
  uint32_t saltSize = ReadLe32(verifier.data());
  if (saltSize != 16 || verifier.size() < 4 + 16 + 16 + 4 + 20) return nullptr;
  ByteView salt = verifier.subspan(4, 16);
  ByteView encVerifier = verifier.subspan(20, 16);
  uint32_t hashSize = ReadLe32(verifier.data() + 36);
  if (hashSize != 20) return nullptr;
  ByteView encHash = verifier.subspan(40, 20);
  if (!LegacyProviderAvailable()) {
    verdict = Verdict::Unsupported;
    return nullptr;
  }
  auto d = std::make_unique<CryptoApiDecryptor>(CryptoApiBaseHash(password, salt), keyBits);
  if (!d->Verify(encVerifier, encHash)) {
    verdict = Verdict::WrongPassword;
    return nullptr;
  }
  verdict = Verdict::Ok;
  return d;
}

}  // namespace

std::unique_ptr<BiffDecryptor> OpenFilepass(std::span<const uint8_t> body,
                                            std::string_view password, Verdict& verdict) {
  verdict = Verdict::Damaged;
  // BIFF5 writes only the XOR key and verifier, with no encryption type in front.
  if (body.size() == 4) return OpenXor(body, password, verdict);
  if (body.size() < 2) return nullptr;
  uint16_t type = ReadLe16(body.data());
  if (type == 0) return OpenXor(body.subspan(2), password, verdict);
  if (type != 1) {
    verdict = Verdict::Unsupported;
    return nullptr;
  }
  if (body.size() < 6) return nullptr;
  uint16_t major = ReadLe16(body.data() + 2);
  uint16_t minor = ReadLe16(body.data() + 4);
  if (major == 1 && minor == 1) return OpenRc4Md5(body.subspan(6), password, verdict);
  if ((major == 2 || major == 3 || major == 4) && minor == 2)
    return OpenCryptoApi(body.subspan(6), password, verdict);
  verdict = Verdict::Unsupported;
  return nullptr;
}

}  // namespace gridwell::crypto
