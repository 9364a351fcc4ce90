// The demo's modal message and input boxes, behind an interface so that tests can answer them.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace demo {

// Style word of a message box: the buttons in the low bits, the icon above them.
enum MsgBoxStyle : int {
  kOkOnly = 0,
  kYesNo = 4,
  kQuestion = 32,
  kExclamation = 48,
};

enum class MsgBoxResult { Ok, Yes, No };

class Prompts {
 public:
  virtual ~Prompts() = default;
  virtual MsgBoxResult MsgBox(const std::string& prompt, int style, const std::string& title) = 0;
  // The text entered, or "" when the box was cancelled.
  virtual std::string InputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultResponse) = 0;
};

// GtkMessageDialog and a small dialog with an entry, modal to `parent`.
class GtkPrompts : public Prompts {
 public:
  explicit GtkPrompts(GtkWindow* parent = nullptr) : parent_(parent) {}
  void SetParent(GtkWindow* parent) { parent_ = parent; }
  MsgBoxResult MsgBox(const std::string& prompt, int style, const std::string& title) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultResponse) override;

 private:
  GtkWindow* parent_;
};

}  // namespace demo
