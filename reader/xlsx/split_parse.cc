#include "reader/xlsx/split_parse.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "reader/base/work_queue.h"
#include "reader/xlsx/row_events.h"

namespace gridwell::xlsx {

namespace {

// Expat is about half of reading a big sheet. Runs of whole rows are therefore parsed on a
// second thread as XML fragments, their parser events recorded, and the events replayed
// into the sheet handlers (sheet_handlers.h) in document order, so the sheet is built
// exactly as one parser would build it. The main parser reads everything else (the head of the part and what
// follows the rows) and never sees the bytes of the runs. Runs in the plain form that
// spreadsheet programs write are recorded by a scanner several times faster than expat
// (row_events.h), which falls back to expat for anything else.
//
// A run starts where the main parser has just finished a row of sheetData (it checks that
// the row's end tag ends exactly there, so no comment, CDATA section or attribute is open)
// and ends with a row's end tag. Content parsed from such a point is independent of what
// came before, so a run that parses as a well-formed fragment gives the events the whole
// document would. A run that does not parse goes to the main parser as plain bytes, and so
// does everything after it. Documents that declare another encoding than UTF-8 are never
// split.

constexpr std::string_view kRowEnd = "</row>";

struct RecordedRun {
  std::string bytes;   // the run itself, kept in case it must be parsed in place
  std::string events;  // what its fragment parse reported (see row_events.h)
  bool parsed = false;
  bool local = false;  // left to the main parser, which reads it in place
};

// Records the events of a run: by the plain-form scanner when the run is in that form,
// else by expat. Returns whether the scanner sufficed.
bool ParseRun(RecordedRun& run) {
  run.events.reserve(run.bytes.size() + run.bytes.size() / 4);
  if (ScanPlainRowEvents(run.bytes, run.events)) {
    run.parsed = true;
    return true;
  }
  run.events.clear();
  run.parsed = RecordRowEvents(run.bytes, run.events);
  if (!run.parsed) run.events.clear();
  return false;
}

uint32_t GetU32(const char*& p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  p += 4;
  return v;
}

void Replay(SheetState& s, const std::string& events) {
  std::vector<const XML_Char*> attrs;
  const char* p = events.data();
  const char* end = p + events.size();
  while (p < end) {
    const char kind = *p++;
    if (kind == 'S') {
      const char* name = p;
      p += std::strlen(p) + 1;
      const uint32_t n = GetU32(p);
      attrs.clear();
      for (uint32_t i = 0; i < 2 * n; ++i) {
        attrs.push_back(p);
        p += std::strlen(p) + 1;
      }
      attrs.push_back(nullptr);
      OnSheetStart(&s, name, attrs.data());
    } else if (kind == 'E') {
      const char* name = p;
      p += std::strlen(p) + 1;
      OnSheetEnd(&s, name);
    } else {
      const uint32_t n = GetU32(p);
      OnSheetChars(&s, p, static_cast<int>(n));
      p += n;
    }
  }
}

// Runs the worksheet part through the main parser `p` and, once it is inside sheetData,
// hands runs of rows to a second thread.
class SplitParse {
 public:
  SplitParse(SheetState& s, XML_Parser p, size_t runBytes, std::string_view partName)
      : s_(s), p_(p), runBytes_(runBytes), partName_(partName) {}

  // Takes the next inflated piece; false once the main parser has failed.
  bool Take(const char* data, size_t n) {
    pending_.append(data, n);
    return Advance(false);
  }

  // After the last piece: everything still held, then the end of input.
  PartStatus Finish(std::string& error) {
    if (status_ == PartStatus::Ok) Advance(true);
    runs_.Stop();
    if (status_ != PartStatus::Ok) error = error_;
    return status_;
  }

 private:
  enum class Mode { Head, Split, Sequential };

  bool Feed(const char* data, size_t n, bool final) {
    if (status_ != PartStatus::Ok) return false;
    if (XML_Parse(p_, data, static_cast<int>(n), final) != XML_STATUS_OK) {
      if (XML_GetErrorCode(p_) == XML_ERROR_NO_MEMORY) throw std::bad_alloc();
      if (XML_GetErrorCode(p_) != XML_ERROR_ABORTED) {
        // The parser saw only what was not replayed from runs: their lines are added.
        error_ = std::string(partName_) + ": " + XML_ErrorString(XML_GetErrorCode(p_)) +
                 " at line " + std::to_string(XML_GetCurrentLineNumber(p_) + replayedLines_);
        status_ = PartStatus::Damaged;
      } else {
        status_ = PartStatus::Ok;
        stopped_ = true;
      }
      return false;
    }
    fed_ += static_cast<int64_t>(n);
    return true;
  }

  // Feeds bytes that end with a row's end tag, noting whether the parser confirms that a row
  // of sheetData ended exactly there. False when the parse stopped.
  bool FeedRows(const char* data, size_t n, bool& atRowEnd) {
    s_.trackRowEnds = true;
    const bool ok = Feed(data, n, false);
    s_.trackRowEnds = false;
    atRowEnd = ok && s_.lastRowEnd == fed_ && s_.sheetDataDepth >= 0 && !s_.inCell;
    return ok;
  }

  bool Advance(bool final) {
    if (stopped_) return false;
    if (s_.foreignEncoding) mode_ = Mode::Sequential;
    while (mode_ == Mode::Head && !pending_.empty()) {
      // Feed the main parser until it is inside sheetData, then up to the end of a row and
      // see whether the row really ended there.
      size_t upTo = pending_.size();
      bool boundary = false;
      if (s_.sheetDataDepth >= 0 && !s_.inCell) {
        const size_t at = pending_.find(kRowEnd);
        if (at != std::string::npos) {
          upTo = at + kRowEnd.size();
          boundary = true;
        } else if (!final && pending_.size() < 2 * runBytes_) {
          break;  // wait for more
        }
      }
      bool atRowEnd = false;
      const bool ok = FeedRows(pending_.data(), upTo, atRowEnd);
      pending_.erase(0, upTo);
      if (!ok) return false;
      if (s_.foreignEncoding) {
        mode_ = Mode::Sequential;
      } else if (boundary && atRowEnd) {
        mode_ = Mode::Split;
      }
    }
    while (mode_ == Mode::Split && pending_.size() >= runBytes_) {
      // A run of about runBytes_ that ends with a row's end tag.
      size_t cut = pending_.rfind(kRowEnd, runBytes_);
      if (cut == std::string::npos) {
        cut = pending_.find(kRowEnd, runBytes_);
        if (cut == std::string::npos) {
          // No row ends here at all: the main parser reads the rest in place.
          if (pending_.size() > 4 * runBytes_) mode_ = Mode::Sequential;
          break;
        }
      }
      cut += kRowEnd.size();
      Dispatch(pending_.substr(0, cut));
      pending_.erase(0, cut);
    }
    if (final && mode_ == Mode::Split) {
      const size_t cut = pending_.rfind(kRowEnd);
      if (cut != std::string::npos) {
        Dispatch(pending_.substr(0, cut + kRowEnd.size()));
        pending_.erase(0, cut + kRowEnd.size());
      }
    }
    if (final || mode_ == Mode::Sequential) {
      if (!Drain(0)) return false;
      if (!Feed(pending_.data(), pending_.size(), final)) return false;
      pending_.clear();
    }
    return status_ == PartStatus::Ok;
  }

  // Queues a run for the second thread and applies finished runs so that at most two wait.
  void Dispatch(std::string bytes) {
    RecordedRun run;
    run.bytes = std::move(bytes);
    // Runs in the plain form are scanned on the second thread much faster than the main
    // thread replays them. Once a run has needed the full parser there, every third run
    // is read in place by the main parser instead, which then has time for it.
    const bool third = dispatched_++ % 3 == 2;
    run.local = third && fullParses_.load(std::memory_order_relaxed);
    const bool record = !run.local;
    runs_.Push(std::move(run), record);
    Drain(2);
  }

  // Applies finished runs in order until at most `keep` are outstanding.
  bool Drain(size_t keep) {
    while (runs_.Size() > keep) {
      RecordedRun run = runs_.Pop();
      Apply(run);
    }
    return status_ == PartStatus::Ok;
  }

  void Apply(RecordedRun& run) {
    if (status_ != PartStatus::Ok || stopped_) return;
    if (mode_ == Mode::Split && run.parsed) {
      Replay(s_, run.events);
      replayedLines_ += static_cast<uint64_t>(std::count(run.bytes.begin(), run.bytes.end(), '\n'));
      return;
    }
    if (mode_ == Mode::Split && run.local) {
      // Read in place; splitting goes on only if the run ended with a row of sheetData.
      bool atRowEnd = false;
      if (FeedRows(run.bytes.data(), run.bytes.size(), atRowEnd) && !atRowEnd) {
        mode_ = Mode::Sequential;
      }
      return;
    }
    // From the first run that is not a well-formed fragment on, the main parser reads
    // everything in place.
    mode_ = Mode::Sequential;
    Feed(run.bytes.data(), run.bytes.size(), false);
  }

  void Record(RecordedRun& run) {
    try {
      if (!ParseRun(run)) fullParses_.store(true, std::memory_order_relaxed);
    } catch (...) {
      // No memory for the events: the main parser reads this run in place.
      run.parsed = false;
      std::string().swap(run.events);
    }
  }

  SheetState& s_;
  XML_Parser p_;
  const size_t runBytes_;
  std::string_view partName_;
  Mode mode_ = Mode::Head;
  std::string pending_;
  int64_t fed_ = 0;
  PartStatus status_ = PartStatus::Ok;
  uint64_t replayedLines_ = 0;  // lines of the runs replayed, which the parser never saw
  bool stopped_ = false;
  std::string error_;

  uint64_t dispatched_ = 0;
  std::atomic<bool> fullParses_{false};  // a run on the second thread needed expat
  // Runs in document order, recorded on the second thread; the last member, so that its
  // thread ends before anything it uses.
  OrderedWorkQueue<RecordedRun> runs_{3, [this](RecordedRun& run, unsigned) { Record(run); }};
};

}  // namespace

PartStatus ParseInRuns(ZipPackage& pkg, const std::string& partName, SheetState& state,
                       XML_Parser parser, size_t runBytes, std::string& error) {
  XML_SetXmlDeclHandler(parser, NoteSheetEncoding);
  SplitParse split(state, parser, runBytes, partName);
  PartStatus status = pkg.Stream(
      partName, [&](const char* data, size_t n) { return split.Take(data, n); }, error);
  // A part cut short by a read error or a limit keeps that error, not the parser's view
  // of the truncated text.
  std::string parseError;
  PartStatus parsed = split.Finish(parseError);
  if (status == PartStatus::Ok) {
    status = parsed;
    error = parseError;
  }
  return status;
}

}  // namespace gridwell::xlsx
