// Test doubles of the control's platform: a browser, container (with a queue of pending
// messages and a scripted read service), message box, clock and random numbers, and a converter
// that records its settings.
#pragma once

#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "control/file_ops.h"
#include "control/gridwell.h"
#include "control/page_converter.h"

namespace gridwell::testing {

struct FakeClock : Clock {
  double now = 100;
  double Seconds() override { return now; }
};

struct FakeRandom : Random {
  std::deque<float> next;
  float fallback = 0.25f;
  float Uniform() override {
    if (next.empty()) {
      fallback = fallback * 1.37f + 0.0123f;
      fallback -= static_cast<float>(static_cast<int>(fallback));
      return fallback;
    }
    float v = next.front();
    next.pop_front();
    return v;
  }
};

struct FakeMessageBox : MessageBox {
  std::deque<MessageBoxAnswer> answers;
  struct Shown {
    std::string text, title;
    int32_t style;
  };
  std::vector<Shown> shown;
  MessageBoxAnswer Show(const std::string& text, const std::string& title, int32_t style) override {
    shown.push_back({text, title, style});
    if (answers.empty()) return MessageBoxAnswer::No;
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
};

// What a scripted server answers for one address.
struct FakeResponse {
  std::string body;
  bool announcesSize = true;
  bool failed = false;  // an error status: the body is an error page
  int chunks = 2;
};

// A store that also records the properties the control reported as changed.
struct RecordingPropertyStore : MemoryPropertyStore {
  std::vector<std::string> changed;
  void Changed(const std::string& key) override { changed.push_back(key); }
};

struct FakeContainer : Container {
  explicit FakeContainer(FakeClock& c) : clock(c) {}
  FakeClock& clock;
  RecordingPropertyStore store;
  std::deque<std::function<void()>> pending;
  std::map<std::string, FakeResponse> server;
  bool refuseReads = false;
  struct Read {
    std::string url, propertyName;
    int32_t options;
    ReadLimits limits;
  };
  std::vector<Read> reads;
  std::vector<std::string> cancelled;
  int redraws = 0;
  Gridwell* control = nullptr;

  PropertyStore& Properties() override { return store; }
  bool StartRead(const std::string& url, const std::string& propertyName,
                 int32_t options) override {
    return StartBoundedRead(url, propertyName, options, {});
  }
  bool StartBoundedRead(const std::string& url, const std::string& propertyName, int32_t options,
                        const ReadLimits& limits) override {
    reads.push_back({url, propertyName, options, limits});
    if (refuseReads) return false;
    FakeResponse r;
    auto it = server.find(url);
    if (it != server.end()) {
      r = it->second;
    } else {
      r.failed = true;
      r.body = "<html>not found</html>";
    }
    const auto total = static_cast<int32_t>(r.body.size());
    for (int i = 1; i <= r.chunks; ++i) {
      const int32_t cur = total * i / r.chunks;
      const int32_t max = r.announcesSize ? total : 0;
      pending.push_back([this, propertyName, cur, max] {
        if (!Cancelled(propertyName)) control->OnReadProgress(propertyName, cur, max);
      });
    }
    pending.push_back([this, propertyName, r, total] {
      if (Cancelled(propertyName)) return;
      std::vector<uint8_t> data(r.body.begin(), r.body.end());
      control->OnReadComplete(propertyName, total, data, r.failed);
    });
    return true;
  }
  void CancelRead(const std::string& propertyName) override { cancelled.push_back(propertyName); }
  // A read service that cannot stop a transfer delivers its notifications all the same.
  bool honoursCancel = true;
  bool Cancelled(const std::string& name) const {
    return honoursCancel && std::find(cancelled.begin(), cancelled.end(), name) != cancelled.end();
  }
  void ProcessPendingMessages() override {
    clock.now += 0.01;
    if (pending.empty()) return;
    auto task = std::move(pending.front());
    pending.pop_front();
    task();
  }
  int32_t WindowHandle() const override { return 4242; }
  void Redraw() override { ++redraws; }
  void Drain() {
    for (int i = 0; i < 1000 && !pending.empty(); ++i) ProcessPendingMessages();
  }
};

// A browser that, like the embedded one it stands for, reports the start of a navigation while
// the request is issued and its end later, from the message queue: complete when the file is
// there, an error when it is not.
struct FakeBrowser : Browser {
  explicit FakeBrowser(FakeContainer& c) : container(c) {}
  FakeContainer& container;
  Gridwell* control = nullptr;
  bool visible = true;
  bool neverFinishes = false;
  bool failNavigate = false;
  std::vector<std::string> navigations;
  std::vector<std::string> errorPages;
  int blanks = 0, refreshes = 0, focus = 0, findDialogs = 0;
  std::vector<std::pair<int32_t, int32_t>> commands;
  std::vector<std::vector<int>> moves;
  std::vector<std::string> log;  // "visible", "hidden", "navigate <path>"

  void SetVisible(bool v) override {
    visible = v;
    log.push_back(v ? "visible" : "hidden");
  }
  bool Visible() const override { return visible; }
  void Move(int l, int t, int w, int h) override { moves.push_back({l, t, w, h}); }
  bool Navigate(const std::string& path) override {
    if (failNavigate) return false;
    navigations.push_back(path);
    log.push_back("navigate " + path);
    control->OnBeforeNavigate();
    if (!neverFinishes) {
      container.pending.push_back([this, path] {
        if (fileops::FileExists(path)) {
          control->OnNavigateComplete();
        } else {
          control->OnNavigateError();
        }
      });
    }
    return true;
  }
  void NavigateBlank() override { ++blanks; }
  void ShowErrorPage(const std::string& message) override {
    errorPages.push_back(message);
    log.push_back("error page");
  }
  void Refresh() override { ++refreshes; }
  void SetFocus() override { ++focus; }
  void ExecWB(int32_t command, int32_t option) override { commands.emplace_back(command, option); }
  void OpenFindDialog() override { ++findDialogs; }
};

// Records each conversion; writes a small page unless told not to (an unreadable workbook).
struct ConversionRecord {
  clsHTML fields;
  bool styled = false;
  std::string page;
  std::vector<std::string> strings;
  bool pageExistedBefore = false;
};

struct ConverterScript {
  std::vector<ConversionRecord> conversions;
  bool writePage = true;
  // A protected workbook: only this password writes the page (a stop of WrongPassword else).
  std::string password;
  // Why a conversion writes no page, when it does not.
  ConvertStop stop = ConvertStop::Unreadable;
  std::string stopDetail = "xl/sharedStrings.xml line 3: damaged";
  int32_t sheetTotal = 3;
  std::vector<std::string> sheetNames = {"One", "Two", "Three"};
  int alive = 0;
};

class FakeConverter : public PageConverter {
 public:
  explicit FakeConverter(ConverterScript& s) : script_(s) { ++script_.alive; }
  ~FakeConverter() override { --script_.alive; }
  clsHTML& Fields() override { return fields_; }
  void CreateHtmlFile(const std::string& page, const std::string& a, const std::string& b,
                      const std::string& c, const std::string& d, const std::string& e,
                      const std::string& f) override {
    Run(false, page, {a, b, c, d, e, f});
  }
  void CreateStyledHtmlFile(const std::string& page, const std::string& a, const std::string& b,
                            const std::string& c, const std::string& d, const std::string& e,
                            const std::string& f) override {
    Run(true, page, {a, b, c, d, e, f});
  }
  int32_t SheetTotal() override { return ran_ ? script_.sheetTotal : 0; }
  std::vector<std::string> SheetNames() override {
    return ran_ ? script_.sheetNames : std::vector<std::string>{};
  }
  ConvertStop LastStop() override { return stop_; }
  std::string LastStopDetail() override { return stop_ == ConvertStop::None ? "" : detail_; }

 private:
  void Run(bool styled, const std::string& page, std::vector<std::string> strings) {
    ran_ = true;
    script_.conversions.push_back(
        {fields_, styled, page, std::move(strings), fileops::FileExists(page)});
    const bool opens = fields_.Password == script_.password;
    if (script_.writePage && opens) {
      std::ofstream(page) << "<html><body>page</body></html>";
      return;
    }
    stop_ = opens ? script_.stop : ConvertStop::WrongPassword;
    detail_ = opens ? script_.stopDetail : "wrong password";
  }
  ConverterScript& script_;
  clsHTML fields_;
  bool ran_ = false;
  ConvertStop stop_ = ConvertStop::None;
  std::string detail_;
};

}  // namespace gridwell::testing
