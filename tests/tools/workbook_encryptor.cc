#include "tests/tools/workbook_encryptor.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include "reader/base/ascii.h"
#include "reader/crypto/key_derivation.h"

namespace gridwell::testing {

using namespace gridwell::crypto;

namespace {

// ---------- compound files ----------

void ReadStorage(GsfInfile* dir, const std::string& prefix, std::vector<CompoundStream>& out,
                 bool& ok) {
  int n = gsf_infile_num_children(dir);
  for (int i = 0; i < n && ok; ++i) {
    GsfInput* child = gsf_infile_child_by_index(dir, i);
    if (!child) {
      ok = false;
      return;
    }
    std::string path = prefix + gsf_infile_name_by_index(dir, i);
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      ReadStorage(GSF_INFILE(child), path + "/", out, ok);
    } else {
      gsf_off_t size = gsf_input_size(child);
      CompoundStream s{path, Bytes(size_t(size))};
      if (size > 0 && !gsf_input_read(child, size_t(size), s.data.data())) ok = false;
      out.push_back(std::move(s));
    }
    g_object_unref(child);
  }
}

// ---------- little-endian builders ----------

struct Writer {
  Bytes b;
  void U16(uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
  void U32(uint32_t v) {
    b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  }
  void U64(uint64_t v) {
    U32(uint32_t(v));
    U32(uint32_t(v >> 32));
  }
  void Raw(ByteView v) { b.insert(b.end(), v.begin(), v.end()); }
  // A length-prefixed UTF-16 string padded to 4 bytes, as the DataSpaces streams use.
  void LpString(std::string_view s) {
    Bytes u = Utf16Le(s);
    U32(uint32_t(u.size()));
    Raw(u);
    while (b.size() % 4) b.push_back(0);
  }
};

// What differs between the CryptoAPI encryptions' headers; the hash is SHA-1 and the key
// 128 bits in both.
struct CryptoApiHeader {
  uint32_t flags;
  uint32_t algId;
  uint32_t provider;
  const char* csp;
};

// Encryption information of version 4.2 (the CryptoAPI kinds): header and password verifier.
Bytes CryptoApiInfo(const CryptoApiHeader& h, ByteView salt, ByteView verifier,
                    ByteView verifierHash) {
  Writer header;
  header.U32(h.flags);
  header.U32(0);  // SizeExtra
  header.U32(h.algId);
  header.U32(0x8004);  // SHA-1
  header.U32(128);
  header.U32(h.provider);
  header.U32(0);
  header.U32(0);
  header.Raw(Utf16Le(std::string(h.csp) + '\0'));
  Writer info;
  info.U16(4);
  info.U16(2);
  info.U32(h.flags);
  info.U32(uint32_t(header.b.size()));
  info.Raw(header.b);
  info.U32(16);
  info.Raw(salt);
  info.Raw(verifier);
  info.U32(20);
  info.Raw(verifierHash);
  return std::move(info.b);
}

Bytes Random(size_t n) {
  Bytes b(n);
  if (RAND_bytes(b.data(), int(n)) != 1) std::fill(b.begin(), b.end(), uint8_t(0x5A));
  return b;
}

Bytes PadTo(Bytes b, size_t block) {
  b.resize((b.size() + block - 1) / block * block, 0);
  return b;
}

Bytes Encrypt(CipherAlg alg, ChainMode mode, ByteView key, ByteView iv, Bytes plain) {
  plain = PadTo(std::move(plain), CipherBlockSize(alg));
  Bytes out(plain.size());
  if (!BlockCipher(alg, mode, key, iv, true, plain, out.data())) return {};
  return out;
}

// ---------- BIFF records ----------

constexpr uint16_t kBof = 0x0809, kFilepass = 0x002F, kBoundSheet = 0x0085, kIndex = 0x020B,
                   kExtSst = 0x00FF;

// Bodies of these records stay clear in an encrypted stream.
bool StaysClear(uint16_t type) {
  switch (type) {
    case kBof:
    case kFilepass:
    case 0x0194:  // UsrExcl
    case 0x0195:  // FileLock
    case 0x00E1:  // InterfaceHdr
    case 0x0196:  // RRDInfo
    case 0x0138:  // RRDHead
      return true;
    default:
      return false;
  }
}

// Runs `decrypt` over every encrypted body after the FILEPASS record at `from`.
void TransformBodies(Bytes& s, size_t from, BiffDecryptor& d) {
  size_t pos = from;
  while (pos + 4 <= s.size()) {
    uint16_t type = ReadLe16(&s[pos]);
    uint16_t len = ReadLe16(&s[pos + 2]);
    size_t body = pos + 4;
    size_t avail = std::min<size_t>(len, s.size() - body);
    d.BeginRecord(pos, type, len);
    if (!StaysClear(type)) {
      // A BOUNDSHEET keeps its stream offset (the first 4 bytes) clear.
      size_t skip = type == kBoundSheet ? std::min<size_t>(4, avail) : 0;
      d.Decrypt(&s[body + skip], avail - skip, body + skip);
    }
    pos = body + len;
  }
}

size_t FindRecord(const Bytes& s, uint16_t wanted) {
  size_t pos = 0;
  while (pos + 4 <= s.size()) {
    uint16_t type = ReadLe16(&s[pos]);
    if (type == wanted) return pos;
    pos += 4 + ReadLe16(&s[pos + 2]);
  }
  return std::string::npos;
}

// ---------- agile descriptor ----------

std::string KeyAttributes(const Bytes& salt) {
  return "saltSize=\"" + std::to_string(salt.size()) +
         "\" blockSize=\"16\" keyBits=\"256\" hashSize=\"64\" cipherAlgorithm=\"AES\" "
         "cipherChaining=\"ChainingModeCBC\" hashAlgorithm=\"SHA512\" saltValue=\"" +
         Base64Encode(salt) + "\"";
}

}  // namespace

std::optional<std::vector<CompoundStream>> ReadCompoundFile(const std::string& file) {
  GError* err = nullptr;
  GsfInput* in = gsf_input_stdio_new(file.c_str(), &err);
  if (!in) {
    if (err) g_error_free(err);
    return std::nullopt;
  }
  GsfInfile* ole = gsf_infile_msole_new(in, &err);
  g_object_unref(in);
  if (!ole) {
    if (err) g_error_free(err);
    return std::nullopt;
  }
  std::vector<CompoundStream> out;
  bool ok = true;
  ReadStorage(ole, "", out, ok);
  g_object_unref(ole);
  if (!ok) return std::nullopt;
  return out;
}

bool WriteCompoundFile(const std::string& file, const std::vector<CompoundStream>& streams) {
  GError* err = nullptr;
  GsfOutput* sink = gsf_output_stdio_new(file.c_str(), &err);
  if (!sink) {
    if (err) g_error_free(err);
    return false;
  }
  GsfOutfile* root = gsf_outfile_msole_new(sink);
  g_object_unref(sink);
  bool ok = root != nullptr;
  // Storages are opened once and kept until every stream under them is written.
  std::map<std::string, GsfOutfile*> storages;
  auto storage = [&](const std::string& path) -> GsfOutfile* {
    GsfOutfile* dir = root;
    size_t start = 0;
    for (size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1) {
      std::string sub = path.substr(0, slash);
      auto it = storages.find(sub);
      if (it == storages.end()) {
        GsfOutput* child =
            gsf_outfile_new_child(dir, path.substr(start, slash - start).c_str(), TRUE);
        it = storages.emplace(sub, GSF_OUTFILE(child)).first;
      }
      dir = it->second;
    }
    return dir;
  };
  for (const CompoundStream& s : streams) {
    if (!ok) break;
    GsfOutfile* dir = storage(s.path);
    std::string name =
        s.path.substr(s.path.rfind('/') == std::string::npos ? 0 : s.path.rfind('/') + 1);
    GsfOutput* child = gsf_outfile_new_child(dir, name.c_str(), FALSE);
    ok = child && (s.data.empty() || gsf_output_write(child, s.data.size(), s.data.data()));
    if (child) {
      ok = gsf_output_close(child) && ok;
      g_object_unref(child);
    }
  }
  // Close the deepest storages first.
  for (auto it = storages.rbegin(); it != storages.rend(); ++it) {
    gsf_output_close(GSF_OUTPUT(it->second));
    g_object_unref(it->second);
  }
  if (root) {
    ok = gsf_output_close(GSF_OUTPUT(root)) && ok;
    g_object_unref(root);
  }
  return ok;
}

std::optional<Bytes> ReadFileBytes(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  if (!f) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

bool WriteFileBytes(const std::string& file, const Bytes& data) {
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
  return bool(f);
}

const CompoundStream* FindStream(const std::vector<CompoundStream>& streams,
                                 std::initializer_list<std::string_view> names) {
  for (std::string_view name : names)
    for (const CompoundStream& s : streams)
      if (base::EqualsNoCase(s.path, name)) return &s;
  return nullptr;
}

EncryptedPackage EncryptAgile(const Bytes& zip, std::string_view password, uint32_t spinCount) {
  const HashAlg hash = HashAlg::Sha512;
  const CipherAlg aes = CipherAlg::Aes;
  Bytes dataSalt = Random(16), secret = Random(32);

  EncryptedPackage out;
  Writer pkg;
  pkg.U64(zip.size());
  for (size_t off = 0, seg = 0; off < zip.size(); off += kAgileSegmentSize, ++seg) {
    Bytes chunk(zip.begin() + off,
                zip.begin() + off + std::min(kAgileSegmentSize, zip.size() - off));
    pkg.Raw(Encrypt(aes, ChainMode::Cbc, secret, AgileSegmentIv(hash, dataSalt, uint32_t(seg), 16),
                    std::move(chunk)));
  }
  out.package = std::move(pkg.b);

  Bytes hmacKey = Random(64);
  Bytes hmacValue = Hmac(hash, hmacKey, out.package);
  Bytes encHmacKey = Encrypt(aes, ChainMode::Cbc, secret,
                             AgileIv(hash, dataSalt, ByteView(kBlockKeyHmacKey), 16), hmacKey);
  Bytes encHmacValue =
      Encrypt(aes, ChainMode::Cbc, secret,
              AgileIv(hash, dataSalt, ByteView(kBlockKeyHmacValue), 16), hmacValue);

  Bytes keySalt = Random(16);
  Bytes pwHash = AgilePasswordHash(hash, keySalt, password, spinCount);
  Bytes iv = AgileIv(hash, keySalt, std::nullopt, 16);
  Bytes verifierInput = Random(16);
  Bytes encInput = Encrypt(aes, ChainMode::Cbc, AgileKey(hash, pwHash, kBlockKeyVerifierInput, 32),
                           iv, verifierInput);
  Bytes encValue = Encrypt(aes, ChainMode::Cbc, AgileKey(hash, pwHash, kBlockKeyVerifierValue, 32),
                           iv, Hash(hash, {verifierInput}));
  Bytes encKey =
      Encrypt(aes, ChainMode::Cbc, AgileKey(hash, pwHash, kBlockKeyEncryptedKey, 32), iv, secret);

  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<encryption xmlns=\"http://schemas.microsoft.com/office/2006/encryption\" "
      "xmlns:p=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
      "<keyData " +
      KeyAttributes(dataSalt) + "/><dataIntegrity encryptedHmacKey=\"" + Base64Encode(encHmacKey) +
      "\" encryptedHmacValue=\"" + Base64Encode(encHmacValue) +
      "\"/><keyEncryptors><keyEncryptor "
      "uri=\"http://schemas.microsoft.com/office/2006/keyEncryptor/password\">"
      "<p:encryptedKey spinCount=\"" +
      std::to_string(spinCount) + "\" " + KeyAttributes(keySalt) +
      " encryptedVerifierHashInput=\"" + Base64Encode(encInput) +
      "\" encryptedVerifierHashValue=\"" + Base64Encode(encValue) + "\" encryptedKeyValue=\"" +
      Base64Encode(encKey) + "\"/></keyEncryptor></keyEncryptors></encryption>";
  Writer info;
  info.U16(4);
  info.U16(4);
  info.U32(0x40);
  info.Raw(ByteView(reinterpret_cast<const uint8_t*>(xml.data()), xml.size()));
  out.info = std::move(info.b);
  return out;
}

EncryptedPackage EncryptStandard(const Bytes& zip, std::string_view password) {
  Bytes salt = Random(16);
  Bytes key = StandardKey(password, salt, 128);
  Bytes verifier = Random(16);
  Bytes encVerifier = Encrypt(CipherAlg::Aes, ChainMode::Ecb, key, {}, verifier);
  Bytes encHash = Encrypt(CipherAlg::Aes, ChainMode::Ecb, key, {}, Hash(HashAlg::Sha1, {verifier}));

  Bytes info = CryptoApiInfo({.flags = 0x24,     // fCryptoAPI | fAES
                              .algId = 0x660E,   // AES-128
                              .provider = 0x18,  // PROV_RSA_AES
                              .csp = "Microsoft Enhanced RSA and AES Cryptographic Provider"},
                             salt, encVerifier, encHash);
  Writer pkg;
  pkg.U64(zip.size());
  pkg.Raw(Encrypt(CipherAlg::Aes, ChainMode::Ecb, key, {}, zip));
  return {std::move(info), std::move(pkg.b)};
}

std::vector<CompoundStream> EncryptedPackageStreams(const EncryptedPackage& p) {
  const std::string ds =
      "\x06"
      "DataSpaces/";
  Writer version;
  version.LpString("Microsoft.Container.DataSpaces");
  for (int i = 0; i < 3; ++i) {  // reader, updater and writer version 1.0
    version.U16(1);
    version.U16(0);
  }
  Writer entry;
  entry.U32(1);  // one reference component
  entry.U32(0);  // a stream
  entry.LpString("EncryptedPackage");
  entry.LpString("StrongEncryptionDataSpace");
  Writer map;
  map.U32(8);
  map.U32(1);
  map.U32(uint32_t(entry.b.size() + 4));
  map.Raw(entry.b);
  Writer space;
  space.U32(8);
  space.U32(1);
  space.LpString("StrongEncryptionTransform");
  Writer transformId;
  transformId.LpString("{FF9A3F03-56EF-4613-BDD5-5A41C1D07246}");
  Writer transform;
  transform.U32(uint32_t(8 + transformId.b.size()));  // bytes before the transform name
  transform.U32(1);                                   // password-based transform
  transform.Raw(transformId.b);
  transform.LpString("Microsoft.Container.EncryptionTransform");
  for (int i = 0; i < 3; ++i) {
    transform.U16(1);
    transform.U16(0);
  }
  transform.U32(0);  // no encryption name
  transform.U32(0);  // block size
  transform.U32(0);  // cipher mode
  transform.U32(4);  // reserved
  return {{"EncryptionInfo", p.info},
          {"EncryptedPackage", p.package},
          {ds + "Version", version.b},
          {ds + "DataSpaceMap", map.b},
          {ds + "DataSpaceInfo/StrongEncryptionDataSpace", space.b},
          {ds + "TransformInfo/StrongEncryptionTransform/\x06Primary", transform.b}};
}

Bytes EncryptWorkbookStreamRc4CryptoApi(const Bytes& plain, std::string_view password) {
  if (plain.size() < 8 || ReadLe16(&plain[0]) != kBof || ReadLe16(&plain[4]) != 0x0600) return {};
  if (FindRecord(plain, kFilepass) != std::string::npos) return {};

  Bytes salt = Random(16), verifier = Random(16);
  Bytes verifierHash = Hash(HashAlg::Sha1, {verifier});
  Bytes key0 = CryptoApiBlockKey(CryptoApiBaseHash(password, salt), 0, 128);
  Rc4 rc4;
  if (!rc4.SetKey(key0)) return {};
  rc4.Apply(verifier.data(), verifier.size());
  rc4.Apply(verifierHash.data(), verifierHash.size());

  Writer fp;
  fp.U16(1);                              // RC4
  fp.Raw(CryptoApiInfo({.flags = 0x0C,    // fCryptoAPI | fDocProps (summary streams stay clear)
                        .algId = 0x6801,  // RC4
                        .provider = 1,    // PROV_RSA_FULL
                        .csp = "Microsoft Enhanced Cryptographic Provider v1.0"},
                       salt, verifier, verifierHash));

  // The FILEPASS record goes right after the globals BOF; absolute stream offsets behind
  // it move by its size.
  size_t bofEnd = 4 + ReadLe16(&plain[2]);
  if (bofEnd > plain.size()) return {};
  const uint32_t shift = uint32_t(4 + fp.b.size());
  Bytes s(plain.begin(), plain.begin() + bofEnd);
  size_t filepassPos = s.size();
  Writer rec;
  rec.U16(kFilepass);
  rec.U16(uint16_t(fp.b.size()));
  rec.Raw(fp.b);
  s.insert(s.end(), rec.b.begin(), rec.b.end());
  size_t pos = bofEnd;
  auto moveOffset = [&](size_t at) { PutLe32(&s[at], ReadLe32(&s[at]) + shift); };
  while (pos + 4 <= plain.size()) {
    uint16_t type = ReadLe16(&plain[pos]);
    uint16_t len = ReadLe16(&plain[pos + 2]);
    if (pos + 4 + len > plain.size()) return {};
    size_t out = s.size();
    s.insert(s.end(), plain.begin() + pos, plain.begin() + pos + 4 + len);
    size_t body = out + 4;
    if (type == kBoundSheet && len >= 4) moveOffset(body);
    if (type == kIndex && len >= 16) {
      // ibXF and every DBCELL offset
      moveOffset(body + 12);
      for (size_t at = body + 16; at + 4 <= body + len; at += 4) moveOffset(at);
    }
    if (type == kExtSst)
      for (size_t at = body + 2; at + 8 <= body + len; at += 8) moveOffset(at);
    pos += 4 + len;
  }
  s.insert(s.end(), plain.begin() + pos, plain.end());

  Verdict verdict;
  auto cipher = OpenFilepass(fp.b, password, verdict);
  if (!cipher) return {};
  // RC4 is its own inverse: decrypting the plain bodies encrypts them.
  TransformBodies(s, filepassPos + rec.b.size(), *cipher);
  return s;
}

std::optional<Bytes> FindFilepass(const Bytes& stream) {
  size_t pos = FindRecord(stream, kFilepass);
  if (pos == std::string::npos) return std::nullopt;
  size_t len = ReadLe16(&stream[pos + 2]);
  if (pos + 4 + len > stream.size()) return std::nullopt;
  return Bytes(stream.begin() + pos + 4, stream.begin() + pos + 4 + len);
}

Bytes DecryptWorkbookStream(const Bytes& stream, std::string_view password, Verdict& verdict) {
  verdict = Verdict::Damaged;
  size_t pos = FindRecord(stream, kFilepass);
  auto body = FindFilepass(stream);
  if (!body) return {};
  auto d = OpenFilepass(*body, password, verdict);
  if (!d) return {};
  Bytes s = stream;
  TransformBodies(s, pos + 4 + body->size(), *d);
  return s;
}

bool EncryptXlsFile(const std::string& in, const std::string& out, std::string_view password,
                    std::string& error) {
  auto streams = ReadCompoundFile(in);
  if (!streams) {
    error = in + ": not a compound file";
    return false;
  }
  CompoundStream* book = const_cast<CompoundStream*>(FindStream(*streams, {"Workbook"}));
  if (!book) {
    error = in + ": no Workbook stream (BIFF8 only)";
    return false;
  }
  Bytes enc = EncryptWorkbookStreamRc4CryptoApi(book->data, password);
  if (enc.empty()) {
    error = in + ": the Workbook stream is not a plain BIFF8 record stream";
    return false;
  }
  book->data = std::move(enc);
  if (!WriteCompoundFile(out, *streams)) {
    error = out + ": cannot write";
    return false;
  }
  return true;
}

bool EncryptXlsxFile(const std::string& in, const std::string& out, std::string_view password,
                     bool agile, std::string& error) {
  auto zip = ReadFileBytes(in);
  if (!zip || zip->size() < 4 || (*zip)[0] != 'P' || (*zip)[1] != 'K') {
    error = in + ": not a ZIP package";
    return false;
  }
  EncryptedPackage p = agile ? EncryptAgile(*zip, password) : EncryptStandard(*zip, password);
  if (p.info.empty() || p.package.empty() || !WriteCompoundFile(out, EncryptedPackageStreams(p))) {
    error = out + ": cannot write";
    return false;
  }
  return true;
}

}  // namespace gridwell::testing
