// The embedded browser: a WebKitWebView behind the control's Browser interface. Turns WebKit's
// load signals into the control's navigation notifications and runs the document commands
// (page setup, print, print preview, properties, save as, find).
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "control/gridwell.h"

namespace gridwell {

class WebKitBrowser : public Browser {
 public:
  // `view` is owned by the widget; `tempFolder` gives the control's folder for print previews.
  WebKitBrowser(WebKitWebView* view, std::function<std::string()> tempFolder);
  ~WebKitBrowser() override;

  void SetControl(Gridwell* control) { control_ = control; }
  void SetOrigin(int x, int y) {
    originX_ = x;
    originY_ = y;
  }

  void SetVisible(bool visible) override;
  bool Visible() const override;
  void Move(int left, int top, int width, int height) override;
  bool Navigate(const std::string& path) override;
  void NavigateBlank() override;
  void ShowErrorPage(const std::string& message) override;
  void Refresh() override;
  void SetFocus() override;
  void ExecWB(int32_t command, int32_t option) override;
  void OpenFindDialog() override;

  // Prints the current page into a PDF file without a dialog; `done(ok)` runs when finished.
  void PrintToPdf(const std::string& pdfPath, std::function<void(bool)> done);
  bool FindDialogVisible() const;
  // What the find dialog's label says ("Searching…", "3 matches", "Not found"), and the
  // term typed into it; for tests.
  std::string FindStatus() const;
  void SetFindText(const std::string& text);
  // The find dialog's next and previous buttons.
  void FindNext(bool backwards);
  // Where a print preview's PDF goes; by default it opens in the desktop's PDF viewer.
  void SetPreviewHandler(std::function<void(const std::string& pdfPath)> handler) {
    previewHandler_ = std::move(handler);
  }

 private:
  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent event, gchar* uri,
                               GError* error, gpointer self);
  static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self);
  GtkWindow* Toplevel() const;
  void PageSetup();
  void Print(bool prompt);
  void PrintShown(bool prompt);
  void PrintShownToPdf(const std::string& pdfPath, std::function<void(bool)> done);
  void RunScriptThen(const std::string& script, std::function<void()> then);
  void RunScriptForNumber(const std::string& script, std::function<void(double)> then);
  void PrintPreview();
  void ShowProperties();
  void SaveAs();
  void EnsureFindDialog();
  void StartFind(const char* text);
  void StartWebKitFind(const std::string& term);
  void EndFind();
  void FinishWebKitFind();
  void OnMatchesCounted(unsigned count);
  void ShowMatchCount(unsigned count);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);

  static constexpr unsigned kFindHighlightLimit = 500;

  WebKitWebView* view_;
  std::function<std::string()> tempFolder_;
  std::function<void(const std::string&)> previewHandler_;
  Gridwell* control_ = nullptr;
  int originX_ = 0, originY_ = 0;
  GtkAllocation rect_{0, 0, 0, 0};
  std::string expectedUri_;
  bool ownStartPending_ = false;  // the start of our own load was already reported
  bool swallowFinish_ = false;    // a failed load's closing FINISHED is not a completion
  GtkPageSetup* pageSetup_ = nullptr;
  GtkPrintSettings* printSettings_ = nullptr;
  GtkWidget* findDialog_ = nullptr;
  GtkWidget* findEntry_ = nullptr;
  GtkWidget* findLabel_ = nullptr;
  int countsPending_ = 0;  // match counts asked of WebKit and not yet answered
  bool findTermEmpty_ = true;
  unsigned findSerial_ = 0;   // the newest term's number; answers about older ones are dropped
  bool pageFinds_ = false;    // the page's own find answers the newest term
  bool webkitFinds_ = false;  // WebKit's find has marks on the page
  unsigned matches_ = 0;      // the count the label shows
  GtkWidget* propertiesDialog_ = nullptr;
  GCancellable* scripts_;  // cancelled when the browser goes, so no callback reaches it
};

}  // namespace gridwell

// The browser of a widget made by gridwell_widget_new (control/gtk/gridwell_widget.h); nullptr
// once the widget is destroyed. Library-internal: the library's own tests reach the print and
// find facilities through it.
gridwell::WebKitBrowser* gridwell_widget_browser(GtkWidget* widget);

// Runs the main loop until `done` is set or `timeoutSeconds` have passed, for the calls that wait
// for an answer of the browser.
void gridwell_widget_run_until(const bool& done, double timeoutSeconds);
