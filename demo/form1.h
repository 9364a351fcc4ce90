// Form1: the demo's one window. It hosts one Gridwell control, opens the sample workbook beside
// the program at start, and drives the control through its public members from its buttons and
// its sheet box.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "control/gridwell.h"
#include "demo/prompts.h"

namespace demo {

inline constexpr const char* kAppTitle = "Tessaly Demo";

// Offered by the open-from-internet question. Serving the program's folder over HTTP (for
// example `python3 -m http.server` there) makes it answer with the sample workbook.
inline constexpr const char* kDefaultWorkbookAddress = "http://localhost:8000/comics.xls";

struct Form1Options {
  // The program's folder, without a trailing "/": the samples lie there.
  std::string appFolder;
  // Message and input boxes; nullptr shows GTK dialogs.
  Prompts* prompts = nullptr;
  // Where the control keeps its persisted property; nullptr gives it a private store.
  gridwell::PropertyStore* store = nullptr;
  // Base folder of the control's temporary folder; "" takes the default.
  std::string tempBase;
  std::string defaultAddress = kDefaultWorkbookAddress;
};

class Form1 {
 public:
  explicit Form1(Form1Options options);
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Shows the window, then runs the start: the sample's first sheet and its sheet list.
  void Show();

  // The control inside Gridwell1.
  gridwell::Gridwell& Control();
  // False once the window was closed (and so destroyed).
  bool Alive() const { return window_ != nullptr; }
  GtkWindow* Window() const { return GTK_WINDOW(window_); }
  // Writes a PNG of the window as it looks now, page included; false on failure.
  bool SavePicture(const std::string& path);

  // Window-level variables.
  std::string OpenFolder;
  std::string AppFolder;
  std::string CurrentWorkbook;

  // The controls of the window (valid while Alive()).
  GtkWidget* Panel = nullptr;
  GtkWidget* Gridwell1 = nullptr;
  GtkWidget* Command1 = nullptr;
  GtkWidget* Command2 = nullptr;
  GtkWidget* Command8 = nullptr;
  GtkWidget* Command10 = nullptr;
  GtkWidget* Command11 = nullptr;
  GtkWidget* Command12 = nullptr;
  GtkWidget* Command13 = nullptr;
  GtkWidget* Command6 = nullptr;
  GtkWidget* Command14 = nullptr;
  GtkWidget* Label1 = nullptr;
  GtkWidget* Combo1 = nullptr;
  GtkWidget* Command5 = nullptr;

  // The actions behind the controls (the signal handlers call these).
  void Form_Load();
  void Command1_Click();   // open from disk or internet
  void Command2_Click();   // home workbook
  void Command8_Click();   // save a copy of the workbook
  void Command10_Click();  // save a copy of the page
  void Command11_Click();  // print preview
  void Command12_Click();  // page setup
  void Command13_Click();  // find
  void Command6_Click();   // protected sample
  void Command14_Click();  // open range
  void Combo1_Click();     // sheet picked
  void Command5_Click();   // exit

 private:
  void Build();
  void BuildWindow();
  void AddControls(GtkCssProvider* css);
  void SetTabOrder();
  void SetCaption(const std::string& caption);
  void SetPointer(GdkCursor* cursor);
  void Hourglass(bool repaint);
  void DefaultPointer();
  void RefillSheetList();
  // An open's result joined with the control's reason for showing no page: the control answers
  // True once it asked for the page, also for a workbook that gave none.
  bool Opened(gridwell::VbBool result);
  void UnableToOpen();

  Form1Options options_;
  std::unique_ptr<GtkPrompts> ownPrompts_;
  Prompts* prompts_ = nullptr;
  GtkWidget* window_ = nullptr;
  GdkCursor* waitCursor_ = nullptr;
  bool refilling_ = false;
};

// The program's folder, from /proc/self/exe, without a trailing "/".
std::string ProgramFolder();

}  // namespace demo
