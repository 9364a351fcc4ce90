#include "converter/page_writer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "converter/cell_markup.h"
#include "converter/cell_value.h"
#include "converter/sheet_look.h"
#include "converter/style_sheet.h"
#include "reader/base/ascii.h"
#include "reader/base/work_queue.h"

namespace gridwell::conv {

namespace {

constexpr std::string_view kCharsetLine =
    "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=utf-8'>\r\n";

// The check mark after a commented cell's opening tag, in forms for every browser.
constexpr std::string_view kCheckMark =
    "<![if !IE]>&#10003;<![endif]><!--[if IE 7]>&#10003;<![endif]--><!--[if lt IE 7]>"
    "<input type='checkbox' disabled='disabled' checked='checked' /><![endif]-->";

// The fast page's blocks: laid out only when in view, with fixed column widths and text cut
// at the cell's edge as in a spreadsheet. A block before another leaves the line between them
// to the later one.
constexpr std::string_view kFastPageStyle =
    "<STYLE>\r\n"
    ".gw-rows {content-visibility:auto}\r\n"
    ".gw-rows TABLE {table-layout:fixed}\r\n"
    ".gw-rows TD {overflow:hidden}\r\n"
    ".gw-rows:not(:last-child) TABLE {border-bottom:none}\r\n";
// On the framed page each block after the first takes the place of the earlier one's frame,
// so that its rows sit exactly where one table would put them. The sheet look's collapsed
// borders need nothing more: its tables have no frame and no spacing, and a block's first
// row draws the line above it (the writer moves an own bottom border there).
constexpr std::string_view kFramedSeamStyle =
    ".gw-rows + .gw-rows {margin-top:-2px}\r\n"
    ".gw-rows + .gw-rows TABLE {border-top:none}\r\n";
constexpr std::string_view kFastPageStyleEnd =
    ".gw-whole .gw-rows {content-visibility:visible}\r\n"
    "::highlight(gw-found) {background-color:yellow; color:black}\r\n"
    "::highlight(gw-match) {background-color:orange; color:black}\r\n"
    "</STYLE>\r\n";
// Pixels a row takes beyond its height: the cell spacing, padding and frames.
constexpr int kFastRowFrame = 7;
// A sheet-look row, as Chromium lays it out: its height holds the padding and the gridline,
// and a line of text in the sheet's font with them is about 3 pixels taller than the sheet's
// row for that font (a 17 pixel row of 10 point text takes 20, a 20 pixel row of 11 point
// text 23); a row number in the browser's default font makes a row at least 24 pixels.
constexpr int kSheetRowFrame = 3;
constexpr int kSheetNumberedRow = 24;
// Rows of a fast page that are in the document from the start. The rows after them wait as
// text in their blocks, which costs the browser next to nothing, and become table rows when
// the block comes near the window, and when the page is printed or everything is selected.
// For printing, gridwellShowAll also lays out the blocks out of view, which WebKit would
// otherwise leave off the paper.
//
// The page finds text itself (gridwellFind, gridwellFindNext, gridwellFindEnd; the viewer
// control's find dialog uses them): it counts a term in the cells' text of every block, the
// waiting ones included, in one pass over text that it keeps for the next search, turns only
// the block of the current match into rows, and marks that block's matches with highlights.
// That block stays laid out while it holds the current match: WebKit does not scroll to
// content it skips.
// A browser's own find must lay out and walk the whole document for every search, which on a
// page of a hundred thousand cells takes many seconds.
constexpr int32_t kFastLiveRows = 1000;
constexpr std::string_view kFastPageScript =
    "<SCRIPT>\r\n"
    "(function () {\r\n"
    "  function later() { return document.querySelectorAll('div.gw-later'); }\r\n"
    "  function show(d) {\r\n"
    "    var s = d.firstElementChild, first = document.querySelector('div.gw-rows table');\r\n"
    "    if (!s || s.tagName !== 'SCRIPT' || !first) return;\r\n"
    "    var t = first.cloneNode(false), g = first.querySelector('colgroup');\r\n"
    "    if (g) t.appendChild(g.cloneNode(true));\r\n"
    "    var b = document.createElement('tbody');\r\n"
    "    b.innerHTML = s.text;\r\n"
    "    t.appendChild(b);\r\n"
    "    d.replaceChild(t, s);\r\n"
    "    d.className = 'gw-rows';\r\n"
    "    d.style.containIntrinsicSize = 'auto ' + d.style.height;\r\n"
    "    d.style.height = '';\r\n"
    "  }\r\n"
    "  function showAll() {\r\n"
    "    Array.prototype.forEach.call(later(), show);\r\n"
    "    document.documentElement.classList.add('gw-whole');\r\n"
    "  }\r\n"
    "  window.gridwellShowAll = showAll;\r\n"
    "  var plain = document.createElement('textarea'), found = null;\r\n"
    "  function fold(s) { return s.replace(/\\u00a0/g, ' ').toLowerCase(); }\r\n"
    "  function cellTexts(d) {\r\n"
    "    if (d.gwText !== undefined) return d.gwText;\r\n"
    "    var s = d.firstElementChild;\r\n"
    "    if (s && s.tagName === 'SCRIPT') {\r\n"
    "      plain.innerHTML = s.text.replace(/<!--[\\s\\S]*?-->/g, '')\r\n"
    "          .replace(/<\\/?t[rdh]\\b[^>]*>/gi, '\\n').replace(/<[^>]*>/g, '');\r\n"
    "      return (d.gwText = fold(plain.value));\r\n"
    "    }\r\n"
    "    return (d.gwText = Array.prototype.map.call(d.querySelectorAll('td'), function (td) {\r\n"
    "      return fold(td.textContent);\r\n"
    "    }).join('\\n'));\r\n"
    "  }\r\n"
    "  function count(text, term) {\r\n"
    "    var n = 0;\r\n"
    "    for (var i = text.indexOf(term); i >= 0; i = text.indexOf(term, i + term.length)) n++;\r\n"
    "    return n;\r\n"
    "  }\r\n"
    "  function rangeAt(td, from, length) {\r\n"
    "    var walk = document.createTreeWalker(td, NodeFilter.SHOW_TEXT);\r\n"
    "    var r = document.createRange(), started = false, n;\r\n"
    "    while ((n = walk.nextNode())) {\r\n"
    "      if (!started && from < n.data.length) { started = true; r.setStart(n, from); }\r\n"
    "      if (started && from + length <= n.data.length) {\r\n"
    "        r.setEnd(n, from + length);\r\n"
    "        return r;\r\n"
    "      }\r\n"
    "      from -= n.data.length;\r\n"
    "    }\r\n"
    "    return null;\r\n"
    "  }\r\n"
    "  function matchesIn(d) {\r\n"
    "    var term = found.term, ranges = [];\r\n"
    "    Array.prototype.forEach.call(d.querySelectorAll('td'), function (td) {\r\n"
    "      var text = fold(td.textContent);\r\n"
    "      for (var i = text.indexOf(term); i >= 0; i = text.indexOf(term, i + term.length)) {\r\n"
    "        var r = rangeAt(td, i, term.length);\r\n"
    "        if (r) ranges.push(r);\r\n"
    "      }\r\n"
    "    });\r\n"
    "    return ranges;\r\n"
    "  }\r\n"
    "  function go(k) {\r\n"
    "    var b = 0;\r\n"
    "    while (b < found.counts.length && k >= found.counts[b]) k -= found.counts[b++];\r\n"
    "    var d = found.blocks[b];\r\n"
    "    if (!d) return;\r\n"
    "    show(d);\r\n"
    "    if (found.kept && found.kept !== d) found.kept.style.contentVisibility = '';\r\n"
    "    d.style.contentVisibility = 'visible';\r\n"
    "    found.kept = d;\r\n"
    "    var ranges = matchesIn(d), r = ranges[Math.min(k, ranges.length - 1)];\r\n"
    "    if (!r) return;\r\n"
    "    if (window.CSS && CSS.highlights) {\r\n"
    "      CSS.highlights.set('gw-found', new Highlight(...ranges));\r\n"
    "      var current = new Highlight(r);\r\n"
    "      current.priority = 1;\r\n"
    "      CSS.highlights.set('gw-match', current);\r\n"
    "    } else {\r\n"
    "      window.getSelection().removeAllRanges();\r\n"
    "      window.getSelection().addRange(r);\r\n"
    "    }\r\n"
    "    var cell = r.startContainer.parentElement.closest('td');\r\n"
    "    if (cell) cell.scrollIntoView({block: 'center', inline: 'nearest'});\r\n"
    "  }\r\n"
    "  window.gridwellFind = function (term) {\r\n"
    "    term = fold(String(term));\r\n"
    "    var blocks = Array.prototype.slice.call(document.querySelectorAll('div.gw-rows'));\r\n"
    "    var counts = blocks.map(function (d) {\r\n"
    "      return term ? count(cellTexts(d), term) : 0;\r\n"
    "    });\r\n"
    "    var kept = found && found.kept;\r\n"
    "    found = {term: term, blocks: blocks, counts: counts, at: 0, total: 0, kept: kept};\r\n"
    "    counts.forEach(function (n) { found.total += n; });\r\n"
    "    window.gridwellFindEnd();\r\n"
    "    if (found.total > 0) go(0);\r\n"
    "    return found.total;\r\n"
    "  };\r\n"
    "  window.gridwellFindNext = function (backwards) {\r\n"
    "    if (!found || !found.total) return 0;\r\n"
    "    found.at = (found.at + (backwards ? found.total - 1 : 1)) % found.total;\r\n"
    "    go(found.at);\r\n"
    "    return found.at + 1;\r\n"
    "  };\r\n"
    "  window.gridwellFindEnd = function () {\r\n"
    "    if (window.CSS && CSS.highlights) CSS.highlights.clear();\r\n"
    "  };\r\n"
    "  document.addEventListener('DOMContentLoaded', function () {\r\n"
    "    if (!window.IntersectionObserver) return showAll();\r\n"
    "    var seen = new IntersectionObserver(function (entries) {\r\n"
    "      entries.forEach(function (e) {\r\n"
    "        if (e.isIntersecting) { seen.unobserve(e.target); show(e.target); }\r\n"
    "      });\r\n"
    "    }, {rootMargin: '200% 0px'});\r\n"
    "    Array.prototype.forEach.call(later(), function (d) { seen.observe(d); });\r\n"
    "  });\r\n"
    "  window.addEventListener('beforeprint', showAll);\r\n"
    "  window.addEventListener('afterprint', function () {\r\n"
    "    document.documentElement.classList.remove('gw-whole');\r\n"
    "  });\r\n"
    "  document.addEventListener('keydown', function (e) {\r\n"
    "    if ((e.ctrlKey || e.metaKey) && (e.key === 'a' || e.key === 'A')) showAll();\r\n"
    "  }, true);\r\n"
    "})();\r\n"
    "</SCRIPT>\r\n";

// Blocks of rows written ahead of the one being appended, when two threads write a page.
constexpr size_t kBlocksAhead = 3;

// Rounds to the nearest integer, halves to the even neighbour, as a 16-bit number.
int16_t RoundToInt16(double v) {
  if (!(v == v)) return 0;
  const double r = std::nearbyint(v);
  if (r > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (r < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(r);
}

// A numeric attribute of an opening tag: ` NAME='value'`.
void AppendIntAttribute(std::string& out, std::string_view name, int64_t value) {
  out += ' ';
  out.append(name);
  out.append("='");
  AppendInt(out, value);
  out += '\'';
}

// Fills in a missing end from the last used row and column.
PageRange ResolveRangeWithin(PageRange r, int32_t maxRow, int32_t maxCol) {
  if (r.startRow < 1) r.startRow = 1;
  if (r.startCol < 1) r.startCol = 1;
  if (r.endRow < 1) r.endRow = maxRow;
  if (r.endCol < 1) r.endCol = maxCol;
  // No worksheet has cells past the grid; a larger request would only repeat empty cells.
  r.endRow = std::min(r.endRow, model::kMaxRows);
  r.endCol = std::min(r.endCol, model::kMaxColumns);
  return r;
}

// Finds the cells of the range in the order the page visits them. When the sheet stores its
// cells in row-major order (as every file reader delivers them), one cursor walks the
// storage alongside the page; otherwise each position is looked up on its own. Its one
// look at every stored cell also finds the last used row and column.
class CellCursor {
 public:
  explicit CellCursor(const ReaderCells& cells) : cells_(cells), count_(cells.Count()) {
    int64_t last = -1;
    for (int32_t i = 1; i <= count_; ++i) {
      const ReaderCell c = cells_.Item(i);
      const int32_t row = c.Row(), col = c.Column();
      maxRow_ = std::max(maxRow_, row);
      maxCol_ = std::max(maxCol_, col);
      const int64_t key = Key(row, col);
      sorted_ = sorted_ && key > last;
      last = key;
    }
  }
  int32_t MaxRow() const { return maxRow_; }
  int32_t MaxColumn() const { return maxCol_; }
  // True when the cells are stored in row-major order; the cursor then never looks a
  // position up, which is what lets several cursors walk the same sheet at once.
  bool Sorted() const { return sorted_; }
  // Moves to the stored cell `next` (1-based); positions before it are not looked at again.
  void Seek(int32_t next) { next_ = next; }
  // The first stored cell at or after row `row` (sorted storage only); Count() + 1 if none.
  int32_t FirstOfRow(int32_t row) const {
    int32_t lo = 1, hi = count_ + 1;
    while (lo < hi) {
      const int32_t mid = lo + (hi - lo) / 2;
      if (cells_.Item(mid).Row() < row) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }
  // The cell at (row, col), or a null cell. Positions must come in row-major order between
  // two calls of Seek.
  ReaderCell At(int32_t row, int32_t col) {
    if (!sorted_) return cells_.Cell(row, col);
    const int64_t want = Key(row, col);
    while (next_ <= count_) {
      const ReaderCell c = cells_.Item(next_);
      const int64_t key = Key(c.Row(), c.Column());
      if (key > want) return {};
      ++next_;
      if (key == want) return c;
    }
    return {};
  }
  ReaderCell Item(int32_t i) const { return cells_.Item(i); }
  int32_t Count() const { return count_; }

 private:
  static int64_t Key(int32_t row, int32_t col) { return (int64_t{row} << 16) | col; }
  ReaderCells cells_;
  int32_t count_;
  int32_t next_ = 1;
  bool sorted_ = true;
  int32_t maxRow_ = 0, maxCol_ = 0;
};

// The classes of the compact style sheet: cells whose rules would be character for character
// the same share one class, numbered in the order the page first uses them. A cell's rule
// depends only on its format and on its rule variant, so each pair of those is turned into
// a rule once and then found by a number.
class CompactClasses {
 public:
  static uint64_t Key(const ReaderCell& cell, const CellValue& value) {
    return uint64_t{cell.FormatId()} << 27 | ClassRuleVariant(cell, value);
  }
  // The class of a non-empty cell; the first cell of a new look appends its rule to `out`.
  int32_t Add(std::string& out, const ReaderCell& cell, const CellValue& value) {
    const uint64_t key = Key(cell, value);
    if (key == lastKey_) return lastClass_;
    lastKey_ = key;
    const auto known = byKey_.find(key);
    if (known != byKey_.end()) return lastClass_ = known->second;
    body_.clear();
    AppendClassRuleBody(body_, cell, value);
    const auto [it, added] = byBody_.try_emplace(body_, int32_t(byBody_.size()) + 1);
    if (added) {
      out.append(".xl");
      AppendInt(out, it->second);
      out.append("\r\n");
      out.append(body_);
    }
    byKey_.emplace(key, it->second);
    return lastClass_ = it->second;
  }
  // The class Add gave to cells of this key (read only: several threads may ask at once).
  int32_t Find(uint64_t key) const {
    const auto it = byKey_.find(key);
    return it != byKey_.end() ? it->second : 0;
  }

 private:
  std::unordered_map<uint64_t, int32_t> byKey_;
  std::unordered_map<std::string, int32_t> byBody_;
  std::string body_;
  uint64_t lastKey_ = ~uint64_t{0};
  int32_t lastClass_ = 0;
};

// Where a lane stands in the sheet-look table, from row to row: what merged cells written
// above still cover, and which own borders the table cells above and to the left end with.
// Columns are counted from the range's first column.
struct SheetRowState {
  std::vector<int32_t> coveredUntil;   // the last row a merged cell covers, else 0
  std::vector<uint8_t> coverOwnRight;  // the merged cell ends here with its own right border
  std::vector<int32_t> ownBottomRow;   // the last row of a cell with its own bottom border
  std::vector<int32_t> ownBottomLine;  // and that border's line style and colour
  std::vector<uint32_t> ownBottomColor;
  int32_t shownRowBefore = 0;  // the last shown row written, 0 before the first
  size_t nextSpan = 0;         // the next merged area to write
  bool leftOwnRight = false;   // the cell written last in the row has a right border
  bool heightGiven = false;    // a cell of the row has said the row's height
  int32_t spillUntil = -1;     // the last column the row's text spills into, -1 for none
};

// What one thread needs to write rows: its own cursor, value formatter and buffers, all
// reused from block to block and from cell to cell.
struct Lane {
  Lane(const CellCursor& c, bool sizeInPoints) : cursor(c), fontOpening(sizeInPoints) {}
  CellCursor cursor;
  // When set, rows go on to the accumulator as soon as the lane holds a block's worth, so
  // that a page written by one thread is never held twice in memory.
  std::function<void(Lane&)> flush;
  CellValueFormatter formatter;
  FontOpening fontOpening;
  std::string text;     // the rows of one block, handed to the accumulator in one piece
  std::string display;  // the display text of the current cell
  std::string style;    // the STYLE attribute of the current cell (sheet look)
  // The plain sheet-look page's border declarations of the last format that had them:
  // neighbouring cells mostly share a format.
  std::string borders;
  uint32_t bordersOf = ~uint32_t{0};
  SheetRowState sheet;
  int32_t classNumber = 1;
  // The compact page's last look and its class: neighbouring cells mostly share one.
  uint64_t lastKey = ~uint64_t{0};
  int32_t lastClass = 0;
};

// A run of rows written as one piece, with the stored cell and the class number it
// starts from.
struct RowBlock {
  int32_t fromRow, toRow;
  int32_t firstCell;
  int32_t firstClass;
};

// Writes one page. The rows are written in blocks; a big page's blocks are shared out to
// two threads, and each block reaches the accumulator whole and in page order.
class PageWriter {
 public:
  PageWriter(clsConcat& page, const clsHTML& s, const ReaderWorksheet& sheet, bool styled,
             const PageThreading& threading)
      : page_(page),
        sheet_(sheet),
        cursor_(sheet.Cells()),
        sheetLook_(s.SheetLook != kFalse),
        main_(cursor_, sheetLook_ && !styled),
        comments_(sheet.Comments()),
        threading_(threading),
        styled_(styled),
        compact_(styled && s.CompactStyles != kFalse),
        fastFrom_(s.FastPagesFrom),
        showFormulas_(s.ShowFormulas != kFalse),
        hideRowNumbers_(s.HideRowNumbers != kFalse),
        hideColLetters_(s.HideColLetters != kFalse),
        lettersBelow_(s.ColLetters == kTrue),
        numbersRight_(s.RowNumbers == kTrue),
        newWindow_(s.NewWindow != kFalse),
        showComments_(s.ShowComments != kFalse),
        maxPageBytes_(s.MaxPageBytes) {}

  bool Write(const PageRange& requested, const PageDecoration& d, std::string* why);

 private:
  void Put(std::string_view s) {
    if (!page_.Append(s)) ok_ = false;
  }
  void PutLane(Lane& lane) {
    Put(lane.text);
    lane.text.clear();
  }
  void AppendHead(const PageDecoration& d);
  int64_t TrimToStoredCells();
  bool FitsPage(int64_t stored, std::string* why) const;
  void MeasureColumns();
  double ReservePage();
  void AppendStyleSheetRules(const std::vector<RowBlock>& blocks);
  void AppendBodyOpening(const PageDecoration& d);
  void AppendTable(const std::vector<RowBlock>& blocks);
  void ChooseFastPage();
  void PlanFastBlocks();
  int32_t FastBlockOf(int32_t row) const;
  bool StartsFastBlock(int32_t row) const;
  bool EndsFastBlock(int32_t row) const;
  void AppendTableOpening(std::string& out, const PageDecoration& d) const;
  void AppendColumnGroup(std::string& out) const;
  void AppendFastBlockOpening(std::string& out, int32_t fromRow) const;
  void AppendFastBlockClosing(std::string& out, int32_t fromRow) const;
  bool RowWritten(int32_t row) const { return !grid_ || grid_->RowShown(row); }
  bool LaterBlock(int32_t fromRow) const { return fromRow - r_.startRow >= kFastLiveRows; }
  std::vector<RowBlock> PlanBlocks(double estimate) const;
  template <class Produce>
  void PutBlocks(const std::vector<RowBlock>& blocks, Produce produce);
  void AppendLetterRow(std::string& out) const;
  void AppendRowNumberCell(std::string& out, int32_t row, int16_t height) const;
  void AppendRows(Lane& lane, const RowBlock& b) const;
  void AppendRow(Lane& lane, int32_t row) const;
  // The sheet look's rows: shown rows and columns only, merged areas as one cell each.
  void StartSheetBlock(Lane& lane, int32_t fromRow) const;
  void AppendSheetRow(Lane& lane, int32_t row) const;
  void AppendSheetCell(Lane& lane, int32_t row, int32_t k, int16_t height,
                       const MergedSpan* span) const;
  int16_t SpanHeight(const MergedSpan& span) const;
  void TakeMergedEdges(const MergedSpan& span, PositionLook& look) const;
  int32_t SpillWidth(Lane& lane, int32_t row, int32_t k, const ReaderCell& cell,
                     const CellValue& value) const;
  void AppendSheetLookAttributes(Lane& lane, const PositionLook& look, bool filled, int32_t k,
                                 bool bottomToNextBlock, bool spills) const;
  void SkipPosition(Lane& lane, int32_t row, int32_t col) const;
  PositionLook LookAt(const ReaderCell& cell, int32_t row, int32_t col) const;
  PositionLook LookAt(CellCursor& cursor, int32_t row, int32_t col) const;
  void AppendEmptyPositionRules(std::string& out) const;
  void AppendDataCell(Lane& lane, int32_t row, int32_t col, int16_t height, int16_t width) const;
  void AppendCellLook(Lane& lane, const ReaderCell& cell, const CellValue& value) const;
  void AppendCellTip(std::string& line, int32_t row, int32_t col, const ReaderCell& cell) const;
  void AppendClassRules(Lane& lane, const RowBlock& b) const;
  void AppendCompactClassRules(Lane& lane);

  clsConcat& page_;
  const ReaderWorksheet& sheet_;
  CellCursor cursor_;
  const bool sheetLook_;
  Lane main_;
  ReaderComments comments_;
  const PageThreading threading_;
  bool styled_;
  bool compact_;  // styled, with one class per distinct rule
  const int32_t fastFrom_;
  // The fast page: blocks of rows in fixed-layout tables the browser may skip off screen.
  bool fast_ = false;
  std::string tableOpening_;          // each block's table tag and column widths
  std::vector<int32_t> blockStarts_;  // the first row of each block
  std::vector<int32_t> blockEnds_;    // the last written row of each block but the last
  const bool showFormulas_, hideRowNumbers_, hideColLetters_, lettersBelow_, numbersRight_,
      newWindow_, showComments_;
  const int64_t maxPageBytes_;
  PageRange r_;
  std::vector<int16_t> widths_;
  std::optional<SheetGrid> grid_;  // sheet look only
  CompactClasses compactClasses_;
  bool ok_ = true;
};

bool PageWriter::Write(const PageRange& requested, const PageDecoration& d, std::string* why) {
  r_ = ResolveRangeWithin(requested, cursor_.MaxRow(), cursor_.MaxColumn());
  const int64_t stored = TrimToStoredCells();
  ChooseFastPage();
  AppendHead(d);
  if (!FitsPage(stored, why)) return false;
  MeasureColumns();
  if (sheetLook_) grid_.emplace(sheet_, r_.startRow, r_.startCol, r_.endRow, r_.endCol);
  PlanFastBlocks();
  const std::vector<RowBlock> blocks = PlanBlocks(ReservePage());
  AppendStyleSheetRules(blocks);
  if (fast_) {
    Put(kFastPageStyle);
    if (!sheetLook_) Put(kFramedSeamStyle);
    Put(kFastPageStyleEnd);
    Put(kFastPageScript);
  }
  Put("</HEAD>\r\n");
  AppendBodyOpening(d);
  AppendTable(blocks);
  if (fast_) {
    std::string& out = main_.text;
    AppendFastBlockClosing(out, blockStarts_.back());
    out.append("</DIV>\r\n</BODY>\r\n</HTML>\r\n");
    PutLane(main_);
  } else {
    Put("</TBODY>\r\n</TABLE>\r\n</DIV>\r\n</BODY>\r\n</HTML>\r\n");
  }
  if (!ok_ && why) *why = "the page would exceed " + std::to_string(page_.MaxLength()) + " bytes";
  return ok_;
}

void PageWriter::AppendHead(const PageDecoration& d) {
  Put("<HTML>\r\n<HEAD>\r\n");
  Put(kCharsetLine);
  Put("<CENTER><STRONG>");
  Put(d.heading);
  Put("</STRONG></CENTER>\r\n<TITLE>");
  Put(d.title);
  Put("</TITLE><BR>\r\n");
  if (sheetLook_) {
    AppendSheetLookStyle(main_.text, sheet_.ShowsGridlines());
    if (const int32_t left = sheet_.UnevaluatedConditionalRules(); left > 0) {
      main_.text.append("<!-- ");
      AppendInt(main_.text, left);
      main_.text.append(" conditional format rules need a formula and are not shown -->\r\n");
    }
    PutLane(main_);
  }
  if (!styled_) return;
  Put("<!--[if !mso]>\r\n"
      "<STYLE>\r\n"
      "v\\\\:* {behavior:url(#default#VML);}\r\n"
      "o\\\\:* {behavior:url(#default#VML);}\r\n"
      "x\\\\:* {behavior:url(#default#VML);}\r\n"
      ".shape {behavior:url(#default#VML);}\r\n"
      "</STYLE>\r\n"
      "<![endif]-->\r\n");
  AppendStyleSheetOpening(main_.text);
  PutLane(main_);
}

// A big range becomes the fast page: the compact page above its own threshold, and either
// page above the caller's. The sheet look is always written in blocks, on the page kind asked
// for (compact above the caller's threshold too): fixed column widths and text cut at the
// cell's edge are how a sheet shows.
void PageWriter::ChooseFastPage() {
  if (r_.endRow < r_.startRow || r_.endCol < r_.startCol) return;
  fast_ = sheetLook_;
  const int64_t positions =
      (int64_t{r_.endRow} - r_.startRow + 1) * (int64_t{r_.endCol} - r_.startCol + 1);
  const bool asked = fastFrom_ > 0 && positions > fastFrom_;
  if (!asked && !(compact_ && positions > kFastCompactFrom)) return;
  if (sheetLook_ && !styled_) main_.fontOpening = FontOpening(false);  // classes say the fonts
  fast_ = styled_ = compact_ = true;
}

// Where the blocks start: every kFastBlockRows rows. The sheet look counts the rows it shows,
// starts each block with a shown row and never between two rows of a merged area, so that
// every merged cell lies in one table (its blocks may then be longer).
void PageWriter::PlanFastBlocks() {
  if (!fast_) return;
  blockStarts_.push_back(r_.startRow);
  if (!sheetLook_) {
    for (int64_t row = int64_t{r_.startRow} + kFastBlockRows; row <= r_.endRow;
         row += kFastBlockRows) {
      blockStarts_.push_back(static_cast<int32_t>(row));
    }
    return;
  }
  // +1 where a merged area's table cell starts, -1 at its last shown row: the running sum
  // is the number of merged cells that go on below a row.
  std::vector<int32_t> open(size_t(r_.endRow - r_.startRow) + 1, 0);
  for (const MergedSpan& s : grid_->Spans()) {
    ++open[size_t(s.row - r_.startRow)];
    --open[size_t(s.lastShownRow - r_.startRow)];
  }
  int32_t shown = 0, lastShown = 0, goingOn = 0;
  for (int32_t row = r_.startRow; row <= r_.endRow; ++row) {
    if (grid_->RowShown(row)) {
      if (shown >= kFastBlockRows && goingOn == 0) {
        blockEnds_.push_back(lastShown);
        blockStarts_.push_back(row);
        shown = 0;
      }
      ++shown;
      lastShown = row;
    }
    goingOn += open[size_t(row - r_.startRow)];
  }
}

// The index of the block that holds `row`.
int32_t PageWriter::FastBlockOf(int32_t row) const {
  const auto it = std::upper_bound(blockStarts_.begin(), blockStarts_.end(), row);
  return static_cast<int32_t>(it - blockStarts_.begin()) - 1;
}

bool PageWriter::StartsFastBlock(int32_t row) const {
  return fast_ && row != r_.startRow &&
         std::binary_search(blockStarts_.begin(), blockStarts_.end(), row);
}

// True when `row` is the last row written in a block that another follows.
bool PageWriter::EndsFastBlock(int32_t row) const {
  return fast_ && std::binary_search(blockEnds_.begin(), blockEnds_.end(), row);
}

// Column widths in pixels, from the sheet's widths in characters: 7.136 pixels a character
// and 10 more.
void PageWriter::MeasureColumns() {
  const ReaderColumns columns = sheet_.Columns();
  for (int32_t c = r_.startCol; c <= r_.endCol; ++c) {
    widths_.push_back(RoundToInt16(columns.Item(c).Width() * 7.136 + 10));
  }
}

// Room for the whole page up front, so that the gathered text is never moved while it grows:
// an empty position takes about 40 characters, a stored cell a few hundred. Returns the
// estimate, 0 for an empty range.
double PageWriter::ReservePage() {
  if (r_.endRow < r_.startRow || r_.endCol < r_.startCol) return 0;
  const double positions =
      double(r_.endRow - r_.startRow + 1) * double(r_.endCol - r_.startCol + 1);
  const double estimate =
      positions * 48 + double(cursor_.Count()) * (styled_ && !compact_ ? 420 : 140) + 65536;
  page_.Reserve(
      static_cast<size_t>(std::min(estimate, double(std::numeric_limits<int32_t>::max()))));
  return estimate;
}

void PageWriter::AppendStyleSheetRules(const std::vector<RowBlock>& blocks) {
  if (compact_) {
    // The rules come in the order of the cells that first use them, so one thread writes
    // them all; they are few, and the table's threads then only look their numbers up.
    AppendCompactClassRules(main_);
  } else if (styled_) {
    PutBlocks(blocks, [this](Lane& lane, const RowBlock& b) { AppendClassRules(lane, b); });
  } else {
    return;
  }
  if (sheetLook_) AppendEmptyPositionRules(main_.text);
  AppendStyleSheetClosing(main_.text);
  PutLane(main_);
}

// The body and the table's opening tag, each with the host's colour or picture, else the
// default colour.
void PageWriter::AppendBodyOpening(const PageDecoration& d) {
  if (!TrimSpaces(d.backgroundColor).empty()) {
    Put("<BODY BGCOLOR='");
    Put(d.backgroundColor);
  } else if (!TrimSpaces(d.backgroundImageFile).empty()) {
    Put("<BODY BACKGROUND='");
    Put(d.backgroundImageFile);
  } else {
    Put("<BODY BGCOLOR='silver");
  }
  Put("'>\r\n<DIV ID='XL' ALIGN='CENTER' x:publishsource='Brindleworks'>\r\n");
  std::string& out = main_.text;
  AppendTableOpening(out, d);
  if (fast_) {
    // Every block repeats the table tag and the column widths, so that each lays itself out
    // alone and all line up.
    tableOpening_ = out;
    AppendColumnGroup(tableOpening_);
    out.clear();
    AppendFastBlockOpening(out, r_.startRow);
  } else {
    out.append("<TBODY>\r\n");
  }
  PutLane(main_);
}

// The sheet look draws the table as a sheet: no frame and no spacing between cells, which are
// white unless the host chose a colour or picture.
void PageWriter::AppendTableOpening(std::string& out, const PageDecoration& d) const {
  out.append(sheetLook_ ? "<TABLE ALIGN='CENTER' BORDER='0' CELLSPACING='0' CELLPADDING='2' "
                        : "<TABLE ALIGN='CENTER' BORDER='1' CELLSPACING='2' CELLPADDING='2' ");
  if (!TrimSpaces(d.tableColor).empty()) {
    out.append("BGCOLOR='");
    out.append(d.tableColor);
  } else if (!TrimSpaces(d.tableImageFile).empty()) {
    out.append("BACKGROUND='");
    out.append(d.tableImageFile);
  } else {
    out.append(sheetLook_ ? "BGCOLOR='white" : "BGCOLOR='lightgrey");
  }
  out.append(sheetLook_ ? std::string_view("'>")
                        : std::string_view("' BORDERCOLOR='black' BORDERCOLORDARK='silver' "
                                           "BORDERCOLORLIGHT='white'>"));
  if (!fast_) out.append("\r\n");
}

// The widths a fixed table layout needs: the sheet's (of the shown columns), and room for the
// row numbers. Browsers lay a table out by its fixed widths only when the table itself has a
// width, so the opening tag (the last characters in `out`) gets theirs: the columns, and on
// the framed page the cell spacing between and around them and the table's frame. The sheet
// look's collapsed borders lie half inside the columns and half outside the table, which
// grows by what lies outside: its width is the columns' alone, which stretches none of them.
void PageWriter::AppendColumnGroup(std::string& out) const {
  int digits = 1;
  for (int32_t n = r_.endRow; n >= 10; n /= 10) ++digits;
  const int rowNumberWidth = 8 * digits + 12;
  std::vector<int> columns;
  if (!hideRowNumbers_) columns.push_back(rowNumberWidth);
  for (size_t k = 0; k < widths_.size(); ++k) {
    if (!grid_ || grid_->ColumnShown(int32_t(k))) {
      columns.push_back(std::max<int16_t>(widths_[k], 1));
    }
  }
  if (numbersRight_) columns.push_back(rowNumberWidth);
  int64_t total = sheetLook_ ? 0 : 2 * 1 + 2 * (int64_t(columns.size()) + 1);
  for (int w : columns) total += w;
  out.pop_back();  // the opening tag's '>'
  out.append(" STYLE='width:");
  AppendInt(out, total);
  out.append("px'><COLGROUP>");
  for (int w : columns) {
    out.append("<COL WIDTH='");
    AppendInt(out, w);
    out.append("'>");
  }
  out.append("</COLGROUP>\r\n");
}

// A block's box and its table. The box says how tall its rows are, so that the page has
// its full height, and its scroll bar its range, before the rows are laid out.
void PageWriter::AppendFastBlockOpening(std::string& out, int32_t fromRow) const {
  const ReaderRows rows = sheet_.Rows();
  const auto next = size_t(FastBlockOf(fromRow)) + 1;
  const int32_t toRow = next < blockStarts_.size() ? blockStarts_[next] - 1 : r_.endRow;
  int64_t height = 0;
  for (int32_t row = fromRow; row <= toRow; ++row) {
    if (!RowWritten(row)) continue;
    const int h = RoundToInt16(rows.Item(row).Height() / 15);
    height += !sheetLook_       ? h + kFastRowFrame
              : hideRowNumbers_ ? h + kSheetRowFrame
                                : std::max(h + kSheetRowFrame, kSheetNumberedRow);
  }
  if (LaterBlock(fromRow)) {
    out.append("<DIV CLASS='gw-rows gw-later' STYLE='height:");
    AppendInt(out, height);
    out.append("px'><SCRIPT TYPE='text/x-gridwell-rows'>\r\n");
    return;
  }
  out.append("<DIV CLASS='gw-rows' STYLE='contain-intrinsic-size:auto ");
  AppendInt(out, height);
  out.append("px'>");
  out.append(tableOpening_);
  out.append("<TBODY>\r\n");
}

void PageWriter::AppendFastBlockClosing(std::string& out, int32_t fromRow) const {
  out.append(LaterBlock(fromRow) ? std::string_view("</SCRIPT></DIV>\r\n")
                                 : std::string_view("</TBODY></TABLE></DIV>\r\n"));
}

void PageWriter::AppendTable(const std::vector<RowBlock>& blocks) {
  if (!hideColLetters_) {
    AppendLetterRow(main_.text);
    PutLane(main_);
  }
  PutBlocks(blocks, [this](Lane& lane, const RowBlock& b) { AppendRows(lane, b); });
  if (lettersBelow_) {
    AppendLetterRow(main_.text);
    PutLane(main_);
  }
}

// Rows and columns of the range past its last stored cell would only be empty positions:
// the range ends at that cell's row and column, keeping at least its first row and column.
// Returns the number of stored cells in the range.
int64_t PageWriter::TrimToStoredCells() {
  if (r_.endRow < r_.startRow || r_.endCol < r_.startCol) return 0;
  int32_t lastRow = r_.startRow, lastCol = r_.startCol;
  int64_t stored = 0;
  const bool sorted = cursor_.Sorted();
  for (int32_t i = sorted ? cursor_.FirstOfRow(r_.startRow) : 1; i <= cursor_.Count(); ++i) {
    const ReaderCell c = cursor_.Item(i);
    const int32_t row = c.Row(), col = c.Column();
    if (sorted && row > r_.endRow) break;
    if (row < r_.startRow || row > r_.endRow || col < r_.startCol || col > r_.endCol) continue;
    lastRow = std::max(lastRow, row);
    lastCol = std::max(lastCol, col);
    ++stored;
  }
  r_.endRow = lastRow;
  r_.endCol = lastCol;
  return stored;
}

// Every position of the range becomes a table cell of at least "<TD HEIGHT='0'></TD>" and
// every row at least "<TR ALIGN='RIGHT'></TR>" and a line break, so a range can be found too
// big for the page before any of it is written: too big for the accumulator, or, when it is
// mostly empty positions, bigger than the page limit, which no browser could show and
// nobody meant to ask for. A dense range is never refused for its size alone.
bool PageWriter::FitsPage(int64_t stored, std::string* why) const {
  if (r_.endRow < r_.startRow || r_.endCol < r_.startCol) return true;
  constexpr double kSmallestCell = 20, kSmallestRow = 25;
  constexpr double kSparse = 16;  // empty positions for each stored cell
  const double rows = double(r_.endRow) - r_.startRow + 1;
  const double positions = rows * (double(r_.endCol) - r_.startCol + 1);
  const double least = positions * kSmallestCell + rows * kSmallestRow;
  const double textLimit = double(page_.MaxLength()) - page_.UsedLength();
  const bool sparse = maxPageBytes_ > 0 && least > double(maxPageBytes_) &&
                      positions - double(stored) > kSparse * std::max<double>(double(stored), 1);
  if (least <= textLimit && !sparse) return true;
  if (why) {
    std::string range;
    AppendColumnLetters(range, r_.startCol);
    AppendInt(range, r_.startRow);
    range += ':';
    AppendColumnLetters(range, r_.endCol);
    AppendInt(range, r_.endRow);
    *why = "the range " + range + " has " + std::to_string(static_cast<int64_t>(positions)) +
           " cell positions";
    if (sparse) *why += " for " + std::to_string(stored) + " stored cell(s)";
    *why += ", a page of at least " + std::to_string(static_cast<int64_t>(least)) +
            " bytes, over the limit of " +
            std::to_string(least > textLimit ? int64_t{page_.MaxLength()} : maxPageBytes_) +
            " bytes; choose a smaller range (--range A1:H40)";
  }
  return false;
}

std::vector<RowBlock> PageWriter::PlanBlocks(double estimate) const {
  std::vector<RowBlock> blocks;
  if (r_.endRow < r_.startRow || r_.endCol < r_.startCol) return blocks;
  // A page that would not fit the accumulator anyway, a small page, or cells that have to
  // be looked up one by one (the lookup index is built on first use): one block.
  if (!cursor_.Sorted() || estimate < double(threading_.parallelFrom) ||
      estimate > double(std::numeric_limits<int32_t>::max())) {
    blocks.push_back({r_.startRow, r_.endRow, 1, 1});
    return blocks;
  }
  const int64_t rows = int64_t{r_.endRow} - r_.startRow + 1;
  const double perRow = estimate / double(rows);
  const int64_t step =
      std::clamp<int64_t>(static_cast<int64_t>(double(threading_.blockBytes) / perRow), 1, rows);
  for (int64_t from = r_.startRow; from <= r_.endRow; from += step) {
    const auto to = static_cast<int32_t>(std::min<int64_t>(from + step - 1, r_.endRow));
    const auto f = static_cast<int32_t>(from);
    blocks.push_back({f, to, cursor_.FirstOfRow(f), 1});
  }
  // Class numbers count the non-empty cells of the range in page order, so each block starts
  // after those of the blocks before it.
  if (styled_ && !compact_) {
    int32_t n = 1;
    for (size_t k = 0; k < blocks.size(); ++k) {
      blocks[k].firstClass = n;
      const int32_t end = k + 1 < blocks.size() ? blocks[k + 1].firstCell : cursor_.Count() + 1;
      for (int32_t i = blocks[k].firstCell; i < end; ++i) {
        const ReaderCell c = cursor_.Item(i);
        const int32_t row = c.Row(), col = c.Column();
        if (row > blocks[k].toRow || col < r_.startCol || col > r_.endCol) continue;
        if (!c.Value().IsEmpty()) ++n;
      }
    }
  }
  return blocks;
}

template <class Produce>
void PageWriter::PutBlocks(const std::vector<RowBlock>& blocks, Produce produce) {
  if (blocks.size() < 2 || threading_.threads < 2 || std::thread::hardware_concurrency() == 1) {
    main_.flush = [this](Lane& lane) { PutLane(lane); };
    for (const RowBlock& b : blocks) {
      if (!ok_) break;
      produce(main_, b);
      PutLane(main_);
    }
    main_.flush = nullptr;
    return;
  }
  // Each thread takes the next unwritten block and writes it into its own lane; this one
  // appends the blocks in page order, so the page text is the same as one thread would write.
  struct BlockText {
    size_t block = 0;
    std::string text;
  };
  Lane second(cursor_, sheetLook_ && !styled_);
  base::OrderedWorkQueue<BlockText> queue(
      kBlocksAhead,
      [&](BlockText& b, unsigned worker) {
        Lane& lane = worker == 0 ? main_ : second;
        lane.text.swap(b.text);
        lane.text.clear();
        produce(lane, blocks[b.block]);
        b.text.swap(lane.text);
      },
      /*ownerHelps=*/true);
  std::vector<std::string> spare;  // texts already appended, whose room is used again
  size_t pushed = 0;
  while (ok_ && (pushed < blocks.size() || queue.Size() > 0)) {
    while (pushed < blocks.size() && !queue.Full()) {
      BlockText b{pushed++, {}};
      if (!spare.empty()) {
        b.text = std::move(spare.back());
        spare.pop_back();
      }
      queue.Push(std::move(b));
    }
    BlockText done = queue.Pop();
    Put(done.text);
    done.text.clear();
    spare.push_back(std::move(done.text));
  }
}

void PageWriter::AppendRows(Lane& lane, const RowBlock& b) const {
  lane.cursor.Seek(b.firstCell);
  lane.classNumber = b.firstClass;
  if (sheetLook_) StartSheetBlock(lane, b.fromRow);
  for (int32_t row = b.fromRow; row <= b.toRow; ++row) {
    if (StartsFastBlock(row)) {
      AppendFastBlockClosing(lane.text, blockStarts_[size_t(FastBlockOf(row)) - 1]);
      AppendFastBlockOpening(lane.text, row);
    }
    if (sheetLook_) {
      AppendSheetRow(lane, row);
    } else {
      AppendRow(lane, row);
    }
    if (lane.flush && lane.text.size() >= threading_.blockBytes) lane.flush(lane);
  }
}

void PageWriter::AppendRow(Lane& lane, int32_t row) const {
  std::string& line = lane.text;
  const int16_t height = RoundToInt16(sheet_.Rows().Item(row).Height() / 15);
  line.append("<TR ALIGN='RIGHT'>");
  if (!hideRowNumbers_) AppendRowNumberCell(line, row, height);
  size_t k = 0;
  for (int32_t col = r_.startCol; col <= r_.endCol; ++col, ++k) {
    AppendDataCell(lane, row, col, height, widths_[k]);
  }
  if (numbersRight_) AppendRowNumberCell(line, row, height);
  line.append("</TR>\r\n");
}

void PageWriter::AppendLetterRow(std::string& out) const {
  out.append("<TR ALIGN='RIGHT' NOWRAP>");
  if (!hideRowNumbers_) out.append("<TD></TD>");
  for (int32_t col = r_.startCol; col <= r_.endCol; ++col) {
    if (grid_ && !grid_->ColumnShown(col - r_.startCol)) continue;
    out.append("<TD ALIGN='CENTER'>");
    AppendColumnLetters(out, col);
    out.append("</TD>");
  }
  out.append("</TR>\r\n");
}

void PageWriter::AppendRowNumberCell(std::string& out, int32_t row, int16_t height) const {
  out.append("<TD ALIGN='CENTER' HEIGHT='");
  AppendInt(out, height);
  out.append("'>");
  AppendInt(out, row);
  out.append("</TD>");
}

// The plain page's ALIGN for a cell: its own alignment, else the one its kind of value gets
// under the General alignment; empty where the row's right alignment applies.
std::string_view HorizontalAlignAttribute(int32_t alignment, ValueKind kind) {
  switch (alignment) {
    case 1:
    case 4:  // fill: the text starts at the left edge
      return " ALIGN='LEFT'";
    case 2:
    case 6:  // centred across the selection: centred in its own cell
      return " ALIGN='CENTER'";
    case 3:
      return " ALIGN='RIGHT'";
    case 5:
      return " ALIGN='JUSTIFY'";
    default:
      break;
  }
  switch (kind) {
    case ValueKind::Number:
      return " ALIGN='RIGHT'";
    case ValueKind::String:
      return " ALIGN='LEFT'";
    case ValueKind::Boolean:
    case ValueKind::Error:
      return " ALIGN='CENTER'";
    default:
      return {};
  }
}

// The plain page's VALIGN for a cell: justified text at the top and distributed text in the
// middle, as the styled page has them.
std::string_view VerticalAlignAttribute(int32_t alignment) {
  switch (alignment) {
    case 0:
    case 3:
      return " VALIGN='TOP'";
    case 1:
    case 4:
      return " VALIGN='MIDDLE'";
    case 2:
      return " VALIGN='BOTTOM'";
    default:
      return {};
  }
}

void PageWriter::AppendDataCell(Lane& lane, int32_t row, int32_t col, int16_t height,
                                int16_t width) const {
  std::string& line = lane.text;
  // The fast page gives a row its height once and the columns their widths in the table.
  if (fast_ && !(hideRowNumbers_ && col == r_.startCol)) {
    line.append("<TD");
    width = 0;
  } else {
    line.append("<TD");
    AppendIntAttribute(line, "HEIGHT", height);
  }
  if (width > 0) {
    AppendIntAttribute(line, "WIDTH", width);
  }
  const ReaderCell cell = lane.cursor.At(row, col);
  const CellValue value = cell.Value();
  if (!cell || value.IsEmpty()) {
    line.append("></TD>");
    return;
  }
  AppendCellLook(lane, cell, value);
  AppendCellTip(line, row, col, cell);
  const int64_t color = lane.formatter.Format(cell, value, lane.display);
  AppendCellContent(line, lane.display, color, cell, newWindow_, !styled_, &lane.fontOpening);
  line.append("</TD>");
}

void PageWriter::AppendCellLook(Lane& lane, const ReaderCell& cell, const CellValue& value) const {
  std::string& line = lane.text;
  if (compact_) {
    const uint64_t key = CompactClasses::Key(cell, value);
    if (key != lane.lastKey) {
      lane.lastKey = key;
      lane.lastClass = compactClasses_.Find(key);
    }
    line.append(" CLASS=xl");
    AppendInt(line, lane.lastClass);
  } else if (styled_) {
    line.append(" CLASS=xl");
    AppendInt(line, lane.classNumber++);
  } else {
    line.append(HorizontalAlignAttribute(cell.HorizontalAlignment(), value.kind));
    line.append(VerticalAlignAttribute(cell.VerticalAlignment()));
    const uint32_t fill = cell.FillColor();
    if (fill != 0) {
      line.append(" BGCOLOR='");
      AppendHtmlColor(line, fill);
      line += '\'';
    }
  }
}

// Ends the opening tag. A comment shown as a tool-tip comes with a check mark and takes the
// place of the formula's tool-tip; a cell that does not wrap its text keeps it on one line.
void PageWriter::AppendCellTip(std::string& line, int32_t row, int32_t col,
                               const ReaderCell& cell) const {
  std::string_view comment;
  if (showComments_) comment = comments_.Item(row, col).Text();
  if (!comment.empty()) {
    line.append(" TITLE='");
    AppendEscaped(line, comment);
    line.append("'>");
    line.append(kCheckMark);
    return;
  }
  if (showFormulas_) {
    const std::string_view formula = cell.Formula();
    if (!formula.empty()) {
      line.append(" TITLE='Formula: ");
      AppendEscaped(line, formula);
      line += '\'';
    }
  }
  // The classes of the fast page say whether the text wraps.
  line.append(cell.WrapText() || (fast_ && styled_) ? std::string_view(">")
                                                    : std::string_view(" NOWRAP>"));
}

void PageWriter::AppendClassRules(Lane& lane, const RowBlock& b) const {
  int32_t n = b.firstClass;
  if (lane.cursor.Sorted()) {
    // Only stored cells can get a class: walk them, so that empty rows and empty stretches
    // of a row cost nothing.
    for (int32_t i = lane.cursor.FirstOfRow(b.fromRow); i <= lane.cursor.Count(); ++i) {
      const ReaderCell cell = lane.cursor.Item(i);
      const int32_t row = cell.Row(), col = cell.Column();
      if (row > b.toRow) break;
      if (col < r_.startCol || col > r_.endCol) continue;
      const CellValue value = cell.Value();
      if (value.IsEmpty()) continue;
      AppendClassRule(lane.text, n++, cell, value);
      if (lane.flush && lane.text.size() >= threading_.blockBytes) lane.flush(lane);
    }
    return;
  }
  lane.cursor.Seek(b.firstCell);
  for (int32_t row = b.fromRow; row <= b.toRow; ++row) {
    for (int32_t col = r_.startCol; col <= r_.endCol; ++col) {
      const ReaderCell cell = lane.cursor.At(row, col);
      if (!cell) continue;
      const CellValue value = cell.Value();
      if (value.IsEmpty()) continue;
      AppendClassRule(lane.text, n++, cell, value);
    }
  }
}

void PageWriter::AppendCompactClassRules(Lane& lane) {
  if (lane.cursor.Sorted()) {
    // Only stored cells can get a class: walk them, so that empty stretches cost nothing.
    for (int32_t i = lane.cursor.FirstOfRow(r_.startRow); i <= lane.cursor.Count(); ++i) {
      const ReaderCell cell = lane.cursor.Item(i);
      const int32_t row = cell.Row(), col = cell.Column();
      if (row > r_.endRow) break;
      if (col < r_.startCol || col > r_.endCol) continue;
      const CellValue value = cell.Value();
      if (value.IsEmpty()) continue;
      compactClasses_.Add(lane.text, cell, value);
    }
    return;
  }
  lane.cursor.Seek(1);
  for (int32_t row = r_.startRow; row <= r_.endRow; ++row) {
    for (int32_t col = r_.startCol; col <= r_.endCol; ++col) {
      const ReaderCell cell = lane.cursor.At(row, col);
      if (!cell) continue;
      const CellValue value = cell.Value();
      if (value.IsEmpty()) continue;
      compactClasses_.Add(lane.text, cell, value);
    }
  }
}

PositionLook PageWriter::LookAt(const ReaderCell& cell, int32_t row, int32_t col) const {
  PositionLook look;
  if (cell) {
    look.format = static_cast<const CellFormat&>(cell);
  } else {
    look.format = sheet_.PositionFormat(row, col);
  }
  look.conditional = sheet_.ConditionalLookAt(row, col);
  return look;
}

// The look of a position away from the lane's walk (a block's first row looks at the row
// before it): a cursor of its own, moved to the row.
PositionLook PageWriter::LookAt(CellCursor& cursor, int32_t row, int32_t col) const {
  cursor.Seek(cursor.Sorted() ? cursor.FirstOfRow(row) : 1);
  return LookAt(cursor.At(row, col), row, col);
}

// A block's rows start from what the rows before it left: merged cells reaching into the
// block, and the own bottom borders of the cells on the shown row just above it.
void PageWriter::StartSheetBlock(Lane& lane, int32_t fromRow) const {
  SheetRowState& st = lane.sheet;
  const auto n = static_cast<size_t>(grid_->ColumnCount());
  st.coveredUntil.assign(n, 0);
  st.coverOwnRight.assign(n, 0);
  st.ownBottomRow.assign(n, 0);
  st.ownBottomLine.assign(n, 0);
  st.ownBottomColor.assign(n, 0);
  st.nextSpan = grid_->FirstSpanFrom(fromRow);
  st.shownRowBefore = grid_->ShownRowBefore(fromRow);
  if (st.shownRowBefore == 0) return;
  const int32_t above = st.shownRowBefore;
  CellCursor cursor = lane.cursor;
  std::vector<uint8_t> done(n, 0);  // columns whose cell above is a merged cell
  for (size_t i = 0; i < st.nextSpan; ++i) {
    const MergedSpan& s = grid_->Spans()[i];
    if (s.lastRow < above) continue;
    const PositionLook look = LookAt(cursor, s.row, r_.startCol + s.firstK);
    for (int32_t k = s.firstK; k <= s.lastK; ++k) {
      done[size_t(k)] = 1;
      if (s.lastRow >= fromRow) st.coveredUntil[size_t(k)] = s.lastRow;
      // As when the merged cell is written: its bottom border lies under its last shown
      // row, which may be below the block's first row.
      if (look.Border(model::kBottom) > 0) {
        st.ownBottomRow[size_t(k)] = s.lastShownRow;
        st.ownBottomLine[size_t(k)] = look.Border(model::kBottom);
        st.ownBottomColor[size_t(k)] = look.BorderColor(model::kBottom);
      }
    }
    st.coverOwnRight[size_t(s.lastK)] = look.Border(model::kRight) > 0;
  }
  cursor.Seek(cursor.Sorted() ? cursor.FirstOfRow(above) : 1);
  for (size_t k = 0; k < n; ++k) {
    if (done[k] || !grid_->ColumnShown(int32_t(k))) continue;
    const int32_t col = r_.startCol + int32_t(k);
    const PositionLook look = LookAt(cursor.At(above, col), above, col);
    if (look.Border(model::kBottom) > 0) {
      st.ownBottomRow[k] = above;
      st.ownBottomLine[k] = look.Border(model::kBottom);
      st.ownBottomColor[k] = look.BorderColor(model::kBottom);
    }
  }
}

void PageWriter::AppendSheetRow(Lane& lane, int32_t row) const {
  SheetRowState& st = lane.sheet;
  const int32_t n = grid_->ColumnCount();
  if (!grid_->RowShown(row)) {
    for (int32_t k = 0; k < n; ++k) SkipPosition(lane, row, r_.startCol + k);
    return;
  }
  std::string& line = lane.text;
  const int16_t height = RoundToInt16(sheet_.Rows().Item(row).Height() / 15);
  line.append("<TR ALIGN='RIGHT'>");
  if (!hideRowNumbers_) AppendRowNumberCell(line, row, height);
  const std::vector<MergedSpan>& spans = grid_->Spans();
  st.leftOwnRight = false;
  st.spillUntil = -1;
  st.heightGiven = !hideRowNumbers_;
  for (int32_t k = 0; k < n; ++k) {
    if (!grid_->ColumnShown(k)) {
      SkipPosition(lane, row, r_.startCol + k);
      continue;
    }
    if (st.coveredUntil[size_t(k)] >= row) {
      SkipPosition(lane, row, r_.startCol + k);
      st.leftOwnRight = st.coverOwnRight[size_t(k)] != 0;
      continue;
    }
    while (st.nextSpan < spans.size() &&
           (spans[st.nextSpan].row < row ||
            (spans[st.nextSpan].row == row && spans[st.nextSpan].firstK < k))) {
      ++st.nextSpan;
    }
    const MergedSpan* span = nullptr;
    if (st.nextSpan < spans.size() && spans[st.nextSpan].row == row &&
        spans[st.nextSpan].firstK == k) {
      span = &spans[st.nextSpan++];
    }
    AppendSheetCell(lane, row, k, height, span);
  }
  if (numbersRight_) AppendRowNumberCell(line, row, height);
  line.append("</TR>\r\n");
  st.shownRowBefore = row;
}

// A position the sheet look does not show still counts for the styled page's class numbers,
// which the style sheet gives every non-empty cell of the range.
void PageWriter::SkipPosition(Lane& lane, int32_t row, int32_t col) const {
  if (!styled_ || compact_) return;
  const ReaderCell cell = lane.cursor.At(row, col);
  if (cell && !cell.Value().IsEmpty()) ++lane.classNumber;
}

int16_t PageWriter::SpanHeight(const MergedSpan& span) const {
  const ReaderRows rows = sheet_.Rows();
  int32_t sum = 0;
  for (int32_t row = span.row; row <= span.lastShownRow; ++row) {
    if (grid_->RowShown(row)) sum += RoundToInt16(rows.Item(row).Height() / 15);
  }
  return RoundToInt16(sum);
}

void PageWriter::AppendSheetCell(Lane& lane, int32_t row, int32_t k, int16_t height,
                                 const MergedSpan* span) const {
  SheetRowState& st = lane.sheet;
  std::string& line = lane.text;
  const int32_t col = r_.startCol + k;
  int32_t lastK = k, lastShownRow = row;
  line.append("<TD");
  if (span) {
    if (span->colSpan > 1) {
      AppendIntAttribute(line, "COLSPAN", span->colSpan);
    }
    if (span->rowSpan > 1) {
      AppendIntAttribute(line, "ROWSPAN", span->rowSpan);
    }
    height = SpanHeight(*span);
    lastK = span->lastK;
    lastShownRow = span->lastShownRow;
  }
  // The page is in blocks whose column groups give the widths; a row's height is said once
  // (by its number, else its first cell), and a merged cell over several rows keeps its own.
  if (!st.heightGiven || (span && span->rowSpan > 1)) {
    AppendIntAttribute(line, "HEIGHT", height);
    st.heightGiven = st.heightGiven || !span || span->rowSpan == 1;
  }
  const ReaderCell cell = lane.cursor.At(row, col);
  const CellValue value = cell.Value();
  const bool filled = cell && !value.IsEmpty();
  PositionLook look = LookAt(cell, row, col);
  if (span) TakeMergedEdges(*span, look);
  if (filled) AppendCellLook(lane, cell, value);
  const int32_t spill = filled && !span ? SpillWidth(lane, row, k, cell, value) : 0;
  const int32_t bottomLine = look.Border(model::kBottom);
  AppendSheetLookAttributes(lane, look, filled, k, bottomLine > 0 && EndsFastBlock(lastShownRow),
                            spill > 0);

  // What the cells to the right and below meet: this cell's own borders.
  st.leftOwnRight = look.Border(model::kRight) > 0;
  const int32_t bottom = bottomLine > 0 ? lastShownRow : 0;
  for (int32_t j = k; j <= lastK; ++j) {
    st.ownBottomRow[size_t(j)] = bottom;
    st.ownBottomLine[size_t(j)] = bottomLine;
    st.ownBottomColor[size_t(j)] = look.BorderColor(model::kBottom);
    if (span) st.coveredUntil[size_t(j)] = span->lastRow;
  }
  if (span) st.coverOwnRight[size_t(lastK)] = st.leftOwnRight;

  if (!filled) {
    line.append("></TD>");
    return;
  }
  AppendCellTip(line, row, col, cell);
  int64_t color = lane.formatter.Format(cell, value, lane.display);
  // The plain page colours the text on its font wrapper, so a conditional colour goes there.
  if (!styled_ && look.conditional && look.conditional->format.fontColor) {
    color = *look.conditional->format.fontColor;
  }
  if (spill > 0) {
    line.append("<DIV STYLE='overflow:hidden;width:");
    AppendInt(line, spill);
    line.append("px'>");
  }
  AppendCellContent(line, lane.display, color, cell, newWindow_, !styled_, &lane.fontOpening);
  line.append(spill > 0 ? std::string_view("</DIV></TD>") : std::string_view("</TD>"));
}

// A merged area's right and bottom lines come from the positions along those edges (inside
// the range) where its first position has none of its own.
void PageWriter::TakeMergedEdges(const MergedSpan& span, PositionLook& look) const {
  const model::CellArea area{span.row, r_.startCol + span.firstK, span.lastRow,
                             r_.startCol + span.lastK};
  for (int side : {model::kRight, model::kBottom}) {
    if (look.Border(side) > 0 || (side == model::kRight ? span.colSpan : span.rowSpan) < 2) {
      continue;
    }
    if (const std::optional<CellFormat> edge = sheet_.MergedEdgeFormat(area, side)) {
      look.edgeStyle[side] = edge->BorderLineStyle(side);
      look.edgeColor[side] = edge->BorderColor(side);
    }
  }
}

// Text that does not fit its column spills into the empty positions to its right, as a sheet
// shows it: left-aligned text on one line, up to the next position with a value, a merged
// area or the range's end. Returns the width its content may take (0: it stays within its
// cell) and marks the positions it covers, whose gridlines it hides.
int32_t PageWriter::SpillWidth(Lane& lane, int32_t row, int32_t k, const ReaderCell& cell,
                               const CellValue& value) const {
  const int32_t align = cell.HorizontalAlignment();
  if (value.kind != ValueKind::String || cell.WrapText() || (align != 0 && align != 1)) return 0;
  // A character of text is at most about 0.7 of the font's size wide (a byte of UTF-8 text
  // stands for at most one character): text that fits that way needs no room beyond its cell.
  const double fontPixels = std::clamp(cell.FontSize(), 1.0, 409.0) * 4 / 3;
  const auto most = static_cast<int64_t>(double(value.text.size()) * 0.7 * fontPixels) + 4;
  if (most <= widths_[size_t(k)]) return 0;
  const SheetRowState& st = lane.sheet;
  const std::vector<MergedSpan>& spans = grid_->Spans();
  const int32_t stop = st.nextSpan < spans.size() && spans[st.nextSpan].row == row
                           ? spans[st.nextSpan].firstK
                           : grid_->ColumnCount();
  CellCursor ahead = lane.cursor;
  int64_t width = widths_[size_t(k)];
  int32_t last = k;
  for (int32_t j = k + 1; j < stop && width < most; ++j) {
    if (!grid_->ColumnShown(j)) continue;
    if (st.coveredUntil[size_t(j)] >= row) break;
    const ReaderCell next = ahead.At(row, r_.startCol + j);
    if (next && !next.Value().IsEmpty()) break;
    width += widths_[size_t(j)];
    last = j;
  }
  if (last == k) return 0;
  lane.sheet.spillUntil = last;
  return static_cast<int32_t>(std::min<int64_t>(width - 4, 32000));  // less the padding
}

// The look the default pages do not write: an empty position's fill and borders, the plain
// page's borders, gridlines left out where a neighbour's own border takes their place, and
// the conditional look. Two blocks of rows are two tables, which would each draw their half
// of the line between them: the later one draws it, so an own bottom border on the last row
// of a block (`bottomToNextBlock`) is drawn as the top border of the cells below it. Leaves
// the opening tag open.
void PageWriter::AppendSheetLookAttributes(Lane& lane, const PositionLook& look, bool filled,
                                           int32_t k, bool bottomToNextBlock, bool spills) const {
  SheetRowState& st = lane.sheet;
  std::string& line = lane.text;
  const bool shows = look.format && (filled || ShowsWithoutValue(*look.format));
  if (shows && !filled) {
    if (styled_) {
      line.append(" CLASS=xe");
      AppendInt(line, look.format->FormatId());
    } else if (look.format->FillPattern() != model::kFillNone) {
      line.append(" BGCOLOR='");
      AppendHtmlColor(line, look.format->FillColor());
      line += '\'';
    }
  }
  std::string& style = lane.style;
  style.clear();
  if (shows && !styled_) {
    if (look.format->FormatId() != lane.bordersOf) {
      lane.borders.clear();
      AppendBorderDeclarations(lane.borders, *look.format, {}, ";");
      lane.bordersOf = look.format->FormatId();
    }
    style.append(lane.borders);
  }
  for (int side : {model::kRight, model::kBottom}) {
    if (look.edgeStyle[side] > 0 && !(look.format && look.format->BorderLineStyle(side) > 0)) {
      AppendBorderDeclaration(style, side == model::kRight ? "border-right:" : "border-bottom:",
                              look.edgeStyle[side], look.edgeColor[side], {}, ";");
    }
  }
  if ((st.leftOwnRight || (k <= st.spillUntil && !spills)) && look.Border(model::kLeft) <= 0) {
    style.append("border-left:none;");
  }
  if (spills) style.append("overflow:visible;");
  if (st.shownRowBefore > 0 && st.ownBottomRow[size_t(k)] == st.shownRowBefore &&
      look.Border(model::kTop) <= 0) {
    if (EndsFastBlock(st.shownRowBefore)) {
      AppendBorderDeclaration(style, "border-top:", st.ownBottomLine[size_t(k)],
                              st.ownBottomColor[size_t(k)], {}, ";");
    } else {
      style.append("border-top:none;");
    }
  }
  if (look.conditional) {
    AppendConditionalCss(style, *look.conditional, look.format ? *look.format : CellFormat(),
                         styled_);
  }
  if (bottomToNextBlock) style.append("border-bottom:none;");
  if (!style.empty()) {
    line.append(" STYLE='");
    line.append(style);
    line += '\'';
  }
}

void PageWriter::AppendEmptyPositionRules(std::string& out) const {
  if (r_.endRow < r_.startRow || r_.endCol < r_.startCol) return;
  std::unordered_set<uint32_t> seen;
  CellCursor cursor = cursor_;
  cursor.Seek(1);
  for (int32_t row = r_.startRow; row <= r_.endRow; ++row) {
    if (!grid_->RowShown(row)) continue;
    for (int32_t col = r_.startCol; col <= r_.endCol; ++col) {
      const ReaderCell cell = cursor.At(row, col);
      std::optional<CellFormat> format;
      if (cell) {
        if (!cell.Value().IsEmpty()) continue;
        format = static_cast<const CellFormat&>(cell);
      } else {
        format = sheet_.PositionFormat(row, col);
      }
      if (!format || !seen.insert(format->FormatId()).second) continue;
      if (ShowsWithoutValue(*format)) AppendEmptyPositionRule(out, *format);
    }
  }
}

}  // namespace

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

void ParseCellReference(std::string_view reference, int32_t& row, int16_t& col) {
  // "$" marks an absolute reference and names the same cell.
  std::string ref;
  for (char c : reference) {
    if (c != '$') ref += c;
  }
  const std::string digits = RowPart(ref);
  row = 0;
  int64_t v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > std::numeric_limits<int32_t>::max()) {
      v = 0;
      break;
    }
  }
  row = static_cast<int32_t>(v);
  col = ColumnNumber(ColumnPart(ref));
}

PageRange RequestedRange(const clsHTML& s) {
  PageRange r;
  const std::string_view text = TrimSpaces(s.Range);
  if (text.empty()) {
    r.startRow = s.StartRow;
    r.startCol = s.StartCol;
    r.endRow = s.EndRow;
    r.endCol = s.EndCol;
    return r;
  }
  const std::string upper = base::UpperAscii(text);
  const size_t colon = upper.find(':');
  int16_t col = 0;
  if (colon != std::string::npos) {
    ParseCellReference(std::string_view(upper).substr(0, colon), r.startRow, col);
    r.startCol = col;
    ParseCellReference(std::string_view(upper).substr(colon + 1), r.endRow, col);
  } else {
    ParseCellReference(upper, r.endRow, col);
  }
  r.endCol = col;
  return r;
}

PageRange ResolveRange(PageRange r, const ReaderWorksheet& sheet) {
  if (r.endRow >= 1 && r.endCol >= 1) return ResolveRangeWithin(r, 0, 0);
  const CellCursor cells(sheet.Cells());
  return ResolveRangeWithin(r, cells.MaxRow(), cells.MaxColumn());
}

bool AppendPage(clsConcat& page, const clsHTML& settings, const ReaderWorksheet& sheet,
                const PageDecoration& decoration, bool styled, const PageThreading& threading,
                std::string* why) {
  PageWriter w(page, settings, sheet, styled, threading);
  return w.Write(RequestedRange(settings), decoration, why);
}

}  // namespace gridwell::conv
