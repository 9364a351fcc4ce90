// The BIFF workbook: the globals substream (strings, fonts, cell formats, number
// formats, palette, sheets, names) and the worksheet substreams it points to.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "reader/base/bytes.h"
#include "reader/crypto/crypto.h"
#include "reader/model/workbook.h"
#include "reader/read_result.h"
#include "reader/xls/formula_decoder.h"
#include "reader/xls/record_stream.h"

namespace gridwell::xls {

// Little-endian fields of a record body, reading 0 past its end.
using base::Le16;
using base::Le32;

// One XF record as the file gives it, palette indexes not yet resolved.
struct RawXf {
  uint16_t font = 0;
  uint16_t numFmt = 0;
  uint8_t hAlign = 0, vAlign = 2, indent = 0;
  bool wrap = false, locked = true, hidden = false;
  uint8_t fillPattern = 0;  // fls
  uint16_t fillFore = 64;
  uint16_t fillBack = 65;
  uint8_t border[4] = {0, 0, 0, 0};
  uint16_t borderColor[4] = {64, 64, 64, 64};
};

struct BoundSheet {
  std::string name;
  uint32_t pos = 0;
  uint8_t state = 0;  // 0 visible, 1 hidden, 2 very hidden
  uint8_t type = 0;   // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
};

struct Globals {
  bool biff5 = false;
  CodePage codePage;
  std::vector<uint32_t> sst;  // string ids in the workbook's pool
  std::vector<RawXf> xfs;
  std::vector<uint32_t> xfStyle;  // XF index -> model style
  uint32_t palette[64] = {};
  std::vector<BoundSheet> sheets;
  FormulaNames names;
};

// 0x00BBGGRR of a palette index: 0-63 from the palette, 64 (system foreground) and
// 0x7FFF (automatic) black, 65 (system background) white.
uint32_t PaletteColor(const Globals& g, uint16_t icv);
// The same for a pattern's background colour, where every system or automatic index
// stands for the window's background: white.
uint32_t BackgroundPaletteColor(const Globals& g, uint16_t icv);
// Fills the default palette (the EGA colours 0-7 and the 56 default colours 8-63).
void DefaultPalette(uint32_t (&palette)[64]);

// Reads the globals substream that begins at the stream's start into `g` and `book`.
bool ReadGlobals(std::span<const uint8_t> stream, Globals& g, model::Workbook& book,
                 std::string& error);
// Reads one worksheet substream starting at the BOF at `pos`. `budget` is the number of
// stream bytes all sheets together may still walk; it shrinks as records are read.
void ReadSheet(std::span<const uint8_t> stream, uint64_t pos, Globals& g, model::Sheet& sheet,
               uint64_t& budget);

// Reads a decrypted (or never encrypted) Workbook stream.
ReadResult ReadBiffStream(std::span<const uint8_t> stream, const ReadLimits& limits);

// Encryption: finds the FILEPASS record of the globals substream. Returns its body, or an
// empty span when the stream is not encrypted.
std::span<const uint8_t> FindFilePass(std::span<const uint8_t> stream, bool& found);
// Decrypts every record after FILEPASS in place. `password` null: the default password.
Status DecryptStream(std::vector<uint8_t>& stream, const std::string* password);
// What a decryption verdict means to the caller: a refused password needs one when none
// was given and is wrong otherwise; `what` names the encrypted stream for the detail.
Status DecryptionStatus(crypto::Verdict v, bool passwordGiven, std::string_view what);

}  // namespace gridwell::xls
