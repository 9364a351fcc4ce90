// The small interfaces through which the viewer control reaches its platform: the embedded
// browser, the hosting container (property store, asynchronous read service, message pump),
// message boxes, a monotonic clock and random numbers. The GTK implementation lives in
// control/gtk/; unit tests supply doubles.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace gridwell {

// Command ids and execution options of the browser's standard document command set.
enum BrowserCommand : int32_t {
  kCmdSaveAs = 4,
  kCmdPrint = 6,
  kCmdPrintPreview = 7,
  kCmdPageSetup = 8,
  kCmdProperties = 10,
  kCmdHideToolbars = 24,
};
enum BrowserCommandOption : int32_t {
  kExecDefault = 0,
  kExecPromptUser = 1,
  kExecDontPromptUser = 2,
};

// The embedded web browser. Navigation notifications travel the other way: the platform calls
// Gridwell::OnBeforeNavigate / OnNavigateComplete / OnNavigateError.
class Browser {
 public:
  virtual ~Browser() = default;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
  virtual void Move(int left, int top, int width, int height) = 0;
  // Loads a local file by its path. Returns false when the request could not be issued.
  virtual bool Navigate(const std::string& path) = 0;
  // Loads the empty page (about:blank).
  virtual void NavigateBlank() = 0;
  // Replaces what is shown by a short message, as a page that counts as no page (no navigation
  // notifications, no document commands). By default the empty page.
  virtual void ShowErrorPage(const std::string& /*message*/) { NavigateBlank(); }
  virtual void Refresh() = 0;
  virtual void SetFocus() = 0;
  // Runs a document command; errors (no page, a cancelled dialog) are the browser's to swallow.
  virtual void ExecWB(int32_t command, int32_t option) = 0;
  // Opens the browser's find dialog for the current page.
  virtual void OpenFindDialog() = 0;
};

// Key/value store in which a host keeps a control's persisted properties.
class PropertyStore {
 public:
  virtual ~PropertyStore() = default;
  virtual std::string Read(const std::string& key, const std::string& defaultValue) = 0;
  // A value equal to the default may be dropped by the store.
  virtual void Write(const std::string& key, const std::string& value,
                     const std::string& defaultValue) = 0;
  // Tells the host that a persisted property changed (so it can mark its form dirty).
  virtual void Changed(const std::string& /*key*/) {}
};

// In-memory store for hosts that keep nothing, or that move the values to their own settings.
class MemoryPropertyStore : public PropertyStore {
 public:
  std::string Read(const std::string& key, const std::string& defaultValue) override {
    auto it = values.find(key);
    return it == values.end() ? defaultValue : it->second;
  }
  void Write(const std::string& key, const std::string& value, const std::string&) override {
    values[key] = value;
  }

  std::map<std::string, std::string> values;
};

// Bounds of one read: it fails when its data grows past `maxBytes` or when it runs longer than
// `maxSeconds` in all.
struct ReadLimits {
  int64_t maxBytes = 0;
  double maxSeconds = 0;
};

// The framework that hosts the control on a window.
class Container {
 public:
  virtual ~Container() = default;
  virtual PropertyStore& Properties() = 0;
  // Starts an asynchronous read of `url` as a byte array; `propertyName` travels with the
  // transfer and comes back in its notifications (Gridwell::OnReadProgress / OnReadComplete).
  // Returns false when the request is refused.
  virtual bool StartRead(const std::string& url, const std::string& propertyName,
                         int32_t options) = 0;
  // The same within `limits`; a read that passes one completes as failed, with the reason.
  // Containers whose read service cannot bound a read keep this default.
  virtual bool StartBoundedRead(const std::string& url, const std::string& propertyName,
                                int32_t options, const ReadLimits& /*limits*/) {
    return StartRead(url, propertyName, options);
  }
  // Stops a running read at once: none of its notifications arrive afterwards. The control
  // also ignores any that still come.
  virtual void CancelRead(const std::string& /*propertyName*/) {}
  // Handles the window messages (main-loop events) that are pending now, without blocking
  // for long.
  virtual void ProcessPendingMessages() = 0;
  virtual int32_t WindowHandle() const = 0;
  virtual void Redraw() = 0;
};

// Modal message boxes.
enum class MessageBoxAnswer { Ok, Cancel, Yes, No };
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // `style` is the classic style word: buttons in the low bits (4 = Yes/No), icon (32 =
  // question), modality (4096 = system-modal).
  virtual MessageBoxAnswer Show(const std::string& text, const std::string& title,
                                int32_t style) = 0;
};

// Monotonic seconds; never the time of day.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double Seconds() = 0;
};

// Uniform numbers in [0, 1), reseeded from the clock before each draw by the real one.
class Random {
 public:
  virtual ~Random() = default;
  virtual float Uniform() = 0;
};

// Everything a control needs from its platform; the referenced objects outlive the control.
struct Platform {
  Browser& browser;
  Container& container;
  MessageBox& messageBox;
  Clock& clock;
  Random& random;
  // Base temporary folder, ending with "/". Empty: taken from the environment
  // (see DefaultTempBase in gridwell.h).
  std::string tempBase;
};

}  // namespace gridwell
