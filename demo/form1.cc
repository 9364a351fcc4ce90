#include "demo/form1.h"

#include <glib/gstdio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "control/gtk/gridwell_widget.h"
#include "demo/icons.h"
#include "demo/layout.h"
#include "demo/module1.h"
#include "demo/panel.h"

namespace demo {

namespace {

using gridwell::kVbTrue;

constexpr const char* kOpenQuestion =
    "Click the Yes button to open a file located on a disk.\r\n"
    "Click the No button to open a file located on the internet.";

// Buttons, box and label are drawn at their design sizes (a 25-pixel row): the theme's
// padding is trimmed so that a 16 x 16 picture fits a 25 x 25 button.
// The classic dialog font is small; at the theme's size the captions would not fit their widths.
constexpr const char* kCss =
    ".gridwell-demo-button { padding: 1px 2px; min-height: 0; min-width: 0; font-size: 8pt; }"
    ".gridwell-demo-picture { padding: 3px; }"
    ".gridwell-demo-label { font-size: 8pt; }"
    ".gridwell-demo-combo { font-size: 8pt; }"
    ".gridwell-demo-combo button { padding-top: 0; padding-bottom: 0; min-height: 0; }";

struct Action {
  Form1* form;
  void (Form1::*method)();
};

void RunAction(GtkWidget*, gpointer data) {
  auto* action = static_cast<Action*>(data);
  (action->form->*(action->method))();
}

void FreeAction(gpointer data, GClosure*) {
  delete static_cast<Action*>(data);
}

void Connect(GtkWidget* widget, const char* signal, Form1* form, void (Form1::*method)()) {
  g_signal_connect_data(widget, signal, G_CALLBACK(RunAction), new Action{form, method}, FreeAction,
                        static_cast<GConnectFlags>(0));
}

void Style(GtkWidget* widget, GtkCssProvider* css, const char* klass) {
  GtkStyleContext* context = gtk_widget_get_style_context(widget);
  gtk_style_context_add_provider(context, GTK_STYLE_PROVIDER(css),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  gtk_style_context_add_class(context, klass);
}

// The samples open at their first sheet from its first cell, with comments as tool tips.
gridwell::OpenXLArgs SampleRequest(const std::string& path) {
  return {.strPath = path,
          .varSheet = int16_t{1},
          .lngStartRow = 1,
          .intStartCol = 1,
          .blnShowComments = kVbTrue};
}

int ComboCount(GtkWidget* combo) {
  return gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)), nullptr);
}

}  // namespace

Form1::Form1(Form1Options options) : options_(std::move(options)) {
  if (options_.prompts == nullptr) {
    ownPrompts_ = std::make_unique<GtkPrompts>();
    prompts_ = ownPrompts_.get();
  } else {
    prompts_ = options_.prompts;
  }
  Build();
  if (ownPrompts_) ownPrompts_->SetParent(Window());
}

Form1::~Form1() {
  if (window_ != nullptr) {
    gridwell_widget_save_properties(Gridwell1);
    gtk_widget_destroy(window_);
  }
  if (waitCursor_ != nullptr) g_object_unref(waitCursor_);
}

gridwell::Gridwell& Form1::Control() {
  return gridwell_widget_control(Gridwell1);
}

namespace {

// A picture button whose tool tip names it; `action` runs on a click.
GtkWidget* PictureButton(Form1* form, GtkCssProvider* css, Picture p, const char* tip,
                         void (Form1::*action)(), Item item) {
  GtkWidget* button = gtk_button_new();
  GdkPixbuf* pixbuf = DrawPicture(p);
  GtkWidget* image = gtk_image_new_from_pixbuf(pixbuf);
  g_object_unref(pixbuf);
  gtk_button_set_image(GTK_BUTTON(button), image);
  gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
  gtk_widget_set_tooltip_text(button, tip);
  // A picture says nothing to a screen reader: the tool tip is the button's name.
  atk_object_set_name(gtk_widget_get_accessible(button), tip);
  Style(button, css, "gridwell-demo-button");
  Style(button, css, "gridwell-demo-picture");
  Connect(button, "clicked", form, action);
  PanelPut(form->Panel, button, item);
  gtk_widget_show(image);
  gtk_widget_show(button);
  return button;
}

GtkWidget* TextButton(Form1* form, GtkCssProvider* css, const char* caption, bool mnemonic,
                      void (Form1::*action)(), Item item) {
  GtkWidget* button =
      mnemonic ? gtk_button_new_with_mnemonic(caption) : gtk_button_new_with_label(caption);
  Style(button, css, "gridwell-demo-button");
  Connect(button, "clicked", form, action);
  PanelPut(form->Panel, button, item);
  gtk_widget_show(button);
  return button;
}

}  // namespace

void Form1::Build() {
  BuildWindow();
  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, kCss, -1, nullptr);

  Panel = PanelNew();
  gtk_container_add(GTK_CONTAINER(window_), Panel);

  Gridwell1 = options_.tempBase.empty()
                  ? gridwell_widget_new(options_.store)
                  : gridwell_widget_new_with_temp_base(options_.store, options_.tempBase);
  PanelPut(Panel, Gridwell1, Item::Gridwell1);
  AddControls(css);
  g_object_unref(css);
  SetTabOrder();

  gtk_widget_show(Gridwell1);
  gtk_widget_show(Panel);
}

// The top-level window; its properties are saved when it is asked to close, before anything is
// torn down, and the controls' pointers are cleared when it is gone.
void Form1::BuildWindow() {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), kAppTitle);
  gtk_window_set_default_size(GTK_WINDOW(window_), PixelsFromTwips(kDesignClientWidth),
                              PixelsFromTwips(kDesignClientHeight));
  waitCursor_ = gdk_cursor_new_from_name(gtk_widget_get_display(window_), "wait");

  g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                     auto* form = static_cast<Form1*>(self);
                     gridwell_widget_save_properties(form->Gridwell1);
                     return FALSE;
                   }),
                   this);
  g_signal_connect(window_, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                     auto* form = static_cast<Form1*>(self);
                     form->window_ = nullptr;
                     form->Panel = form->Gridwell1 = form->Label1 = form->Combo1 = nullptr;
                     form->Command1 = form->Command2 = form->Command8 = form->Command10 = nullptr;
                     form->Command11 = form->Command12 = form->Command13 = nullptr;
                     form->Command6 = form->Command14 = form->Command5 = nullptr;
                   }),
                   this);
}

// The buttons, the label and the sheet box, in the order the panel stacks them.
void Form1::AddControls(GtkCssProvider* css) {
  Command1 = PictureButton(this, css, Picture::Open, "Open Excel workbook", &Form1::Command1_Click,
                           Item::Command1);
  Command2 = PictureButton(this, css, Picture::Home, "Go to home workbook", &Form1::Command2_Click,
                           Item::Command2);
  Command8 = PictureButton(this, css, Picture::SaveWorkbook, "Save a copy of workbook",
                           &Form1::Command8_Click, Item::Command8);
  Command10 = PictureButton(this, css, Picture::SavePage, "Save a copy of HTML document",
                            &Form1::Command10_Click, Item::Command10);
  Command11 = PictureButton(this, css, Picture::PrintPreview, "Print preview HTML document",
                            &Form1::Command11_Click, Item::Command11);
  Command12 = PictureButton(this, css, Picture::PageSetup, "Setup HTML page for printing",
                            &Form1::Command12_Click, Item::Command12);
  Command13 = PictureButton(this, css, Picture::Find, "Find text in HTML document",
                            &Form1::Command13_Click, Item::Command13);
  Command6 =
      TextButton(this, css, "Protected workbook", false, &Form1::Command6_Click, Item::Command6);
  Command14 = TextButton(this, css, "Open range", false, &Form1::Command14_Click, Item::Command14);

  Label1 = gtk_label_new("");
  gtk_label_set_xalign(GTK_LABEL(Label1), 0);
  Style(Label1, css, "gridwell-demo-label");
  PanelPut(Panel, Label1, Item::Label1);
  gtk_widget_show(Label1);

  Combo1 = gtk_combo_box_text_new();
  Style(Combo1, css, "gridwell-demo-combo");
  Connect(Combo1, "changed", this, &Form1::Combo1_Click);
  PanelPut(Panel, Combo1, Item::Combo1);
  gtk_widget_show(Combo1);

  Command5 = TextButton(this, css, "_Exit", true, &Form1::Command5_Click, Item::Command5);
}

void Form1::SetTabOrder() {
  GList* chain = nullptr;
  for (GtkWidget* w : {Command1, Command2, Command8, Command10, Command11, Command12, Command13,
                       Command6, Command5, Command14, Combo1, Label1}) {
    chain = g_list_append(chain, w);
  }
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_container_set_focus_chain(GTK_CONTAINER(Panel), chain);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_list_free(chain);
}

void Form1::Show() {
  gtk_widget_show(window_);
  Form_Load();
}

void Form1::SetCaption(const std::string& caption) {
  if (window_ != nullptr) gtk_window_set_title(GTK_WINDOW(window_), CutAtNull(caption).c_str());
}

void Form1::SetPointer(GdkCursor* cursor) {
  if (window_ == nullptr) return;
  // The window and the page: the browser keeps a pointer of its own over the page.
  if (GdkWindow* w = gtk_widget_get_window(window_)) gdk_window_set_cursor(w, cursor);
  GtkWidget* view = gridwell_widget_web_view(Gridwell1);
  if (view != nullptr && gtk_widget_get_has_window(view)) {
    if (GdkWindow* w = gtk_widget_get_window(view)) gdk_window_set_cursor(w, cursor);
  }
}

void Form1::Hourglass(bool repaint) {
  SetPointer(waitCursor_);
  if (repaint && window_ != nullptr) {
    gtk_widget_queue_draw(window_);
    gdk_display_flush(gtk_widget_get_display(window_));
    for (int i = 0; i < 100 && window_ != nullptr && gtk_events_pending(); ++i) {
      gtk_main_iteration_do(FALSE);
    }
  }
}

void Form1::DefaultPointer() {
  SetPointer(nullptr);
}

void Form1::RefillSheetList() {
  if (window_ == nullptr) return;
  refilling_ = true;
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(Combo1));
  for (const std::string& name : Control().SheetNames()) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(Combo1), name.c_str());
  }
  refilling_ = false;
  gtk_label_set_text(GTK_LABEL(Label1), (std::to_string(ComboCount(Combo1)) + " sheets").c_str());
}

bool Form1::Opened(gridwell::VbBool result) {
  return result != gridwell::kVbFalse && Control().OpenErrorCode() == gridwell::OpenFailure::None;
}

// The message names the reason when the control knows it (a password, a damaged part).
void Form1::UnableToOpen() {
  const std::string why = Control().OpenErrorText();
  prompts_->MsgBox(why.empty() ? "Unable to open file." : "Unable to open file.\r\n" + why,
                   kExclamation, kAppTitle);
}

void Form1::Form_Load() {
  OpenFolder = AppFolder = options_.appFolder;
  const std::string sample = AppFolder + "/comics.xls";
  SetCaption(std::string(kAppTitle) + " - " + sample);
  Hourglass(false);
  gridwell::OpenXLArgs request = SampleRequest(sample);
  request.blnShowFormulas = kVbTrue;
  Control().OpenXL(request);
  if (window_ == nullptr) return;
  // The start does not judge the open; with no sample beside the program the box stays empty
  // and the label reads "0 sheets". Say why on the terminal.
  if (!g_file_test(sample.c_str(), G_FILE_TEST_IS_REGULAR)) {
    std::fprintf(stderr, "demo: the sample workbook %s is missing\n", sample.c_str());
  }
  refilling_ = true;
  for (const std::string& name : Control().SheetNames()) {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(Combo1), name.c_str());
  }
  refilling_ = false;
  gtk_label_set_text(GTK_LABEL(Label1),
                     (std::to_string(Control().SheetTotal()) + " sheets").c_str());
  CurrentWorkbook = sample;
  DefaultPointer();
}

void Form1::Command1_Click() {
  const MsgBoxResult where = prompts_->MsgBox(kOpenQuestion, kYesNo, kAppTitle);
  bool ok = false;
  if (where == MsgBoxResult::Yes) {
    const std::string name = ShowOpenDialog(Window(), "XLS Files (*.xls)|*.xls",
                                            "Select Excel File to Open", OpenFolder);
    if (name.empty() || window_ == nullptr) return;
    OpenFolder = FolderOf(name);
    Control().SetPath(name);
    Hourglass(true);
    if (window_ == nullptr) return;
    ok = Opened(Control().OpenXL(
        {.varSheet = int16_t{1}, .blnShowComments = kVbTrue, .blnNoStyle = kVbTrue}));
    DefaultPointer();
    if (window_ == nullptr) return;
    if (ok) {
      SetCaption(std::string(kAppTitle) + " - " + Control().Path());
      CurrentWorkbook = CutAtNull(name);
    }
  } else {
    const std::string address =
        prompts_->InputBox("Enter URL of Excel file (HTTP or FTP)",
                           "Open Excel file located on the internet", options_.defaultAddress);
    if (address.empty() || window_ == nullptr) return;
    Control().SetPath(address);
    Hourglass(true);
    if (window_ == nullptr) return;
    ok = Opened(Control().OpenXL({.varSheet = int16_t{1}, .blnShowComments = kVbTrue}));
    DefaultPointer();
    if (window_ == nullptr) return;
    if (ok) {
      SetCaption(std::string(kAppTitle) + " - " + Control().Path());
      CurrentWorkbook = Control().TempWorkbook();
    }
  }
  if (ok) {
    RefillSheetList();
  } else {
    UnableToOpen();
  }
}

void Form1::Command2_Click() {
  Control().GoHome();
}

void Form1::Command8_Click() {
  std::string name = CutAtNull(ShowSaveDialog(Window(), "Excel Workbook (*.xls)|*.xls",
                                              "Save Excel Workbook", OpenFolder, "copy.xls"));
  if (name.empty() || window_ == nullptr) return;
  if (Control().SaveCopy(name)) {
    prompts_->MsgBox("Workbook copied to " + name, kOkOnly, kAppTitle);
  }
}

void Form1::Command10_Click() {
  std::string fileName = "copy.htm";
  if (Control().SaveHTML(AppFolder, fileName)) {
    prompts_->MsgBox("Saved to " + AppFolder + "/copy.htm", kOkOnly, kAppTitle);
  } else {
    prompts_->MsgBox("Unable to save", kOkOnly, kAppTitle);
  }
}

void Form1::Command11_Click() {
  Control().PrintPreviewDocument();
}

void Form1::Command12_Click() {
  Control().SetupDocument();
}

void Form1::Command13_Click() {
  Control().FindInDocument();
}

void Form1::Command6_Click() {
  const std::string path = AppFolder + "/protected.xls";
  Hourglass(true);
  if (window_ == nullptr) return;
  gridwell::OpenXLArgs request = SampleRequest(path);
  request.strPassword = "quorin";
  const bool ok = Opened(Control().OpenXL(request));
  DefaultPointer();
  if (window_ == nullptr) return;
  if (ok) {
    SetCaption("Tessaly Demo - " + path);
    CurrentWorkbook = path;
    RefillSheetList();
  } else {
    UnableToOpen();
  }
}

void Form1::Command14_Click() {
  const MsgBoxResult useImage =
      prompts_->MsgBox("Use an image file?", kYesNo | kQuestion, "Image File");
  if (window_ == nullptr) return;
  Hourglass(true);
  if (window_ == nullptr) return;
  const bool ok = Opened(Control().OpenXLrange(
      {.strPath = AppFolder + "/comics.xls",
       .varSheet = int16_t{2},
       .strTableImageFile = useImage == MsgBoxResult::Yes ? AppFolder + "/image.jpg" : "",
       .blnNewBrowserWindow = kVbTrue,
       .blnShowComments = kVbTrue}));
  DefaultPointer();
  if (window_ == nullptr) return;
  if (ok) {
    SetCaption("Tessaly Demo - " + Control().ExcelFile());
    CurrentWorkbook = AppFolder + "/comics.xls";
    RefillSheetList();
  } else {
    UnableToOpen();
  }
}

void Form1::Combo1_Click() {
  if (refilling_ || window_ == nullptr) return;
  const int index = gtk_combo_box_get_active(GTK_COMBO_BOX(Combo1));
  if (index < 0) return;
  Hourglass(true);
  if (window_ == nullptr) return;
  Control().OpenXL({.strPath = CurrentWorkbook,
                    .varSheet = static_cast<int16_t>(index + 1),
                    .lngStartRow = 1,
                    .intStartCol = 1,
                    .lngEndRow = 0,
                    .intEndCol = 0,
                    .strPassword = "quorin",
                    .blnShowFormulas = kVbTrue,
                    .strTableImageFile = AppFolder + "/image.jpg",
                    .blnShowComments = kVbTrue});
  if (window_ == nullptr) return;
  gtk_label_set_text(
      GTK_LABEL(Label1),
      (std::to_string(index + 1) + " of " + std::to_string(ComboCount(Combo1))).c_str());
  DefaultPointer();
}

void Form1::Command5_Click() {
  if (window_ != nullptr) gtk_window_close(GTK_WINDOW(window_));
}

std::string ProgramFolder() {
  gchar* exe = g_file_read_link("/proc/self/exe", nullptr);
  if (exe == nullptr) return ".";
  gchar* folder = g_path_get_dirname(exe);
  std::string result = folder;
  g_free(folder);
  g_free(exe);
  return result;
}

bool Form1::SavePicture(const std::string& path) {
  if (window_ == nullptr) return false;
  GdkWindow* w = gtk_widget_get_window(window_);
  if (w == nullptr) return false;
  GdkPixbuf* picture =
      gdk_pixbuf_get_from_window(w, 0, 0, gdk_window_get_width(w), gdk_window_get_height(w));
  if (picture == nullptr) return false;
  // The browser paints through its own compositor, which a copy of the window's pixels does not
  // see: lay the browser's snapshot of the page over its place in the window.
  GtkWidget* view = gridwell_widget_web_view(Gridwell1);
  gchar* pageFile = g_build_filename(g_get_tmp_dir(), "gridwell-demo-page-XXXXXX.png", nullptr);
  const int fd = g_mkstemp(pageFile);
  if (fd >= 0) {
    close(fd);
    if (view != nullptr && gtk_widget_get_visible(view) &&
        gridwell_widget_snapshot_png(Gridwell1, pageFile)) {
      if (GdkPixbuf* page = gdk_pixbuf_new_from_file(pageFile, nullptr)) {
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(view, window_, 0, 0, &x, &y);
        const int width = std::min(gdk_pixbuf_get_width(page), gdk_pixbuf_get_width(picture) - x);
        const int height =
            std::min(gdk_pixbuf_get_height(page), gdk_pixbuf_get_height(picture) - y);
        if (x >= 0 && y >= 0 && width > 0 && height > 0) {
          gdk_pixbuf_copy_area(page, 0, 0, width, height, picture, x, y);
        }
        g_object_unref(page);
      }
    }
    g_unlink(pageFile);
  }
  g_free(pageFile);
  const bool ok = gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(picture);
  return ok;
}

}  // namespace demo
