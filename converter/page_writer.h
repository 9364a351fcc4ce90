// The page text shared by both page writers: head, table of column letters, row numbers and
// data cells, and (styled page) the cell style sheet. Reads only the converter's settings
// and one worksheet; writes nothing to disk.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "converter/cls_concat.h"
#include "converter/cls_html.h"
#include "reader/reader.h"

namespace gridwell::conv {

// The host's decoration strings, written into the page as they are.
struct PageDecoration {
  std::string_view heading;
  std::string_view title;
  std::string_view backgroundColor;
  std::string_view backgroundImageFile;
  std::string_view tableColor;
  std::string_view tableImageFile;
};

// The rectangle a conversion covers, after the range text or the four numbers.
struct PageRange {
  int32_t startRow = 0;
  int32_t startCol = 0;
  int32_t endRow = 0;
  int32_t endCol = 0;
};

// Row and column of one cell reference such as "B12" or "$B$12"; 0 for a part that is
// missing or not a number.
void ParseCellReference(std::string_view reference, int32_t& row, int16_t& col);
// The range before resolution: from the range text when it is not blank, else from the
// four numbers.
PageRange RequestedRange(const clsHTML& settings);
// Fills in what is missing: start row and column below 1 become 1, a missing end row or
// column becomes the sheet's last used one.
PageRange ResolveRange(PageRange r, const ReaderWorksheet& sheet);

// How a page's rows are shared out to threads. Pages estimated below `parallelFrom` bytes
// are written by the calling thread alone; bigger ones in blocks of about `blockBytes` by
// `threads` threads (at most two). The page text does not depend on these.
struct PageThreading {
  size_t parallelFrom = size_t{4} << 20;
  size_t blockBytes = size_t{256} << 10;
  unsigned threads = 2;
};

// A compact page of more cell positions than this is written as the fast page (see
// clsHTML::FastPagesFrom). Below it the browser lays the one table out in about the time it
// takes to parse it.
inline constexpr int64_t kFastCompactFrom = 20000;
// Rows of a fast page per block that the browser may skip while it is out of view.
inline constexpr int32_t kFastBlockRows = 200;

// Appends the whole page. Returns false, with the reason in `why` when given, when the page
// text does not fit the accumulator: at once, before any row is written, when the range
// alone is too big for it, else when it runs out (pieces were left out).
bool AppendPage(clsConcat& page, const clsHTML& settings, const ReaderWorksheet& sheet,
                const PageDecoration& decoration, bool styled, const PageThreading& threading = {},
                std::string* why = nullptr);

// Spaces removed from both ends.
std::string_view TrimSpaces(std::string_view s);

}  // namespace gridwell::conv
