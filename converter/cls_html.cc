#include "converter/cls_html.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "converter/page_writer.h"
#include "reader/reader.h"

namespace gridwell {

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  text = text.substr(text.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

bool IsOrdinaryFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Writes all of `text`; write() may take less than asked on some files, so it is repeated
// until everything is out.
bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// Writes a page to its file while it is made, so that a large page is never held whole.
// Two buffers take turns: a writer thread puts one piece into the file (the kernel's copy
// into the page cache is a large share of a conversion) while the page writer fills the
// other. A page longer than the accumulator's 2 GiB limit is refused as the accumulator
// refuses it.
class FileSink final : public conv::PageSink {
 public:
  explicit FileSink(int fd) : fd_(fd) {
    full_.reserve(conv::kPagePiece + conv::kPagePiece / 4);
    try {
      writer_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      // No thread to be had: each piece is written in turn.
    }
  }
  ~FileSink() override { Stop(); }
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  bool Take(std::string& text) override {
    if (total_ + text.size() > size_t{std::numeric_limits<int32_t>::max()}) {
      tooLong_ = true;
      return false;
    }
    total_ += text.size();
    if (!writer_.joinable()) {
      if (error_ == 0 && !WriteAll(fd_, text)) error_ = errno ? errno : EIO;
      text.clear();
      return error_ == 0;
    }
    // Waits until the writer has finished the previous piece, then hands this one over and
    // goes on with the previous piece's memory.
    std::unique_lock<std::mutex> lock(mutex_);
    turn_.wait(lock, [this] { return !pending_; });
    if (error_ != 0) return false;
    text.swap(full_);
    text.clear();
    pending_ = true;
    turn_.notify_all();
    return true;
  }

  // Waits for the writer; false when a write failed (Error() tells why).
  bool Finish() {
    Stop();
    return error_ == 0;
  }
  bool TooLong() const { return tooLong_; }
  int Error() const { return error_; }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      turn_.wait(lock, [this] { return pending_ || done_; });
      if (!pending_) return;
      lock.unlock();
      const int error = WriteAll(fd_, full_) ? 0 : (errno ? errno : EIO);
      lock.lock();
      if (error_ == 0) error_ = error;
      pending_ = false;
      turn_.notify_all();
    }
  }

  void Stop() {
    if (!writer_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    turn_.notify_all();
    writer_.join();
  }

  const int fd_;
  std::string full_;  // being written by the writer thread while pending_
  size_t total_ = 0;
  bool tooLong_ = false;
  std::mutex mutex_;
  std::condition_variable turn_;
  bool pending_ = false;
  bool done_ = false;
  int error_ = 0;
  std::thread writer_;
};

}  // namespace

void clsHTML::CreateHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                             const std::string& Title, const std::string& BackgroundColor,
                             const std::string& BackgroundImageFile, const std::string& TableColor,
                             const std::string& TableImageFile) {
  Convert(HTMLfile,
          {Heading, Title, BackgroundColor, BackgroundImageFile, TableColor, TableImageFile},
          false);
}

void clsHTML::CreateStyledHtmlFile(const std::string& HTMLfile, const std::string& Heading,
                                   const std::string& Title, const std::string& BackgroundColor,
                                   const std::string& BackgroundImageFile,
                                   const std::string& TableColor,
                                   const std::string& TableImageFile) {
  Convert(HTMLfile,
          {Heading, Title, BackgroundColor, BackgroundImageFile, TableColor, TableImageFile}, true);
}

void clsHTML::Stop(ConvertStop why, std::string detail) {
  lastStop_ = why;
  lastStopDetail_ = std::move(detail);
}

void clsHTML::Convert(const std::string& HTMLfile, const conv::PageDecoration& decoration,
                      bool styled) {
  lastStop_ = ConvertStop::None;
  lastStopDetail_.clear();
  int fd = -1;
  try {
    fd = ConvertTo(HTMLfile, decoration, styled);
  } catch (const std::exception& e) {
    // Only running out of memory gets here; the page (if its file was opened) stays empty.
    Stop(ConvertStop::PendingError, std::string("conversion failed: ") + e.what());
  }
  if (fd >= 0) ::close(fd);
}

int clsHTML::ConvertTo(const std::string& HTMLfile, const conv::PageDecoration& decoration,
                       bool styled) {
  // 1. Checks and opening.
  if (conv::TrimSpaces(ExcelFile).empty()) {
    Stop(ConvertStop::NoWorkbookPath, "no workbook path");
    return -1;
  }
  if (!EndsWithNoCase(ExcelFile, ".xls") && !EndsWithNoCase(ExcelFile, ".xlsx")) {
    Stop(ConvertStop::WrongExtension, "not an .xls or .xlsx file: " + ExcelFile);
    return -1;
  }
  if (!IsOrdinaryFile(ExcelFile)) {
    Stop(ConvertStop::MissingFile, "no such file: " + ExcelFile);
    return -1;
  }

  ReaderApplication app;
  WorkbookLoader& loader = app.Workbooks();
  const int protection = loader.IsPasswordProtected(ExcelFile);
  if (protection == -1) {
    Stop(ConvertStop::Unreadable, "not a readable workbook: " + ExcelFile);
    return -1;
  }
  if (protection != 0) {
    loader.OpenWithPassword(ExcelFile, Password);
  } else {
    loader.Open(ExcelFile);
  }
  ReaderWorkbook book = loader.Workbook();
  if (book && book.IsProtected()) book.Unprotect();
  if (!book) {
    const ReadStatus st = loader.LastStatus();
    const bool password = st == ReadStatus::WrongPassword || st == ReadStatus::NeedPassword;
    Stop(password ? ConvertStop::WrongPassword : ConvertStop::Unreadable,
         loader.LastError().empty() ? "cannot read " + ExcelFile : loader.LastError());
    return -1;
  }

  // 2. Sheet list. A failure here is remembered and stops the call once the output file
  // is open.
  bool pending = false;
  std::string pendingWhy;
  try {
    const ReaderWorksheets sheets = book.Worksheets();
    sheetTotal_ = sheets.Count();
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(sheetTotal_));
    for (int32_t i = 1; i <= sheetTotal_; ++i) names.emplace_back(sheets.Item(i).Name());
    sheetNames_ = std::move(names);
  } catch (const std::exception& e) {
    pending = true;
    pendingWhy = std::string("reading the sheet list failed: ") + e.what();
  }

  // 3. The sheet.
  ReaderWorksheet sheet =
      Worksheetnum >= 1 ? book.Worksheets().Item(Worksheetnum) : book.WorksheetByName(Worksheet);
  if (sheet && sheet.IsProtected()) sheet.Unprotect();
  if (!sheet) {
    Stop(ConvertStop::NoSuchSheet, Worksheetnum >= 1
                                       ? "no sheet number " + std::to_string(Worksheetnum)
                                       : "no sheet named \"" + Worksheet + "\"");
    return -1;
  }

  // 4. The output file, replaced by an empty one.
  const int fd = ::open(HTMLfile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    Stop(ConvertStop::OutputNotWritable, HTMLfile + ": " + std::strerror(errno));
    return -1;
  }
  if (pending) {
    Stop(ConvertStop::PendingError, pendingWhy);
    return fd;
  }

  // 5 to 13. The page, written to the file while it is made. A page that cannot be
  // finished leaves the file empty.
  try {
    FileSink sink(fd);
    const bool whole = conv::WritePage(sink, *this, sheet, decoration, styled);
    const bool written = sink.Finish();
    if (whole && written) return fd;
    if (sink.TooLong()) {
      Stop(ConvertStop::OutputNotWritable, HTMLfile + ": the page would exceed 2 GiB");
    } else {
      Stop(ConvertStop::OutputNotWritable, HTMLfile + ": " + std::strerror(sink.Error()));
    }
  } catch (const std::exception& e) {
    // Only running out of memory gets here.
    Stop(ConvertStop::PendingError, std::string("conversion failed: ") + e.what());
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    lastStopDetail_ += " (and the partial page stays in the file)";
  }
  return fd;
}

}  // namespace gridwell
