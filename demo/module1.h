// Module1: the demo's file dialogs. ShowOpenDialog and ShowSaveDialog take the classic filter
// text ("XLS Files (*.xls)|*.xls": description and pattern pairs split by "|") and show a
// GtkFileChooserNative; CutAtNull trims a name at its terminating NUL.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace demo {

// One entry of a filter text: what the user reads and the patterns (";"-separated in the text).
struct FileFilter {
  std::string description;
  std::vector<std::string> patterns;
  bool operator==(const FileFilter&) const = default;
};

// Splits a filter text into its entries. A "|" is appended when the text does not end in one,
// as the dialog wants the list terminated; an entry without a pattern is dropped.
std::vector<FileFilter> ParseFilter(const std::string& filter);

// A glob that matches `pattern` in any letter case ("*.xls" -> "*.[xX][lL][sS]"): the names the
// filters were written for are case-insensitive, Linux file names are not.
std::string CaseInsensitiveGlob(const std::string& pattern);

// The text before the first NUL character, or the whole text when it has none.
std::string CutAtNull(const std::string& text);

// The folder part of a chosen name: up to and including its last "/" ("" when it has none).
std::string FolderOf(const std::string& name);

// What a dialog is asked to do; the backend shows it and returns the chosen path or "".
struct FileDialogRequest {
  enum class Kind { Open, Save } kind = Kind::Open;
  GtkWindow* owner = nullptr;
  std::vector<FileFilter> filters;
  std::string title;
  std::string initialFolder;
  std::string proposedName;    // save dialogs only
  bool fileMustExist = false;  // open: only existing files can be chosen
  bool overwritePrompt = false;
};

class FileDialogBackend {
 public:
  virtual ~FileDialogBackend() = default;
  virtual std::string Run(const FileDialogRequest& request) = 0;
};

// Replaces the dialogs (tests answer them); nullptr restores the GtkFileChooserNative ones.
void SetFileDialogBackend(FileDialogBackend* backend);

// Both return the chosen name as the dialog's fixed-size name buffer holds it, that is followed
// by the NUL that ends it (hence CutAtNull), or "" when the dialog was cancelled or failed.
std::string ShowOpenDialog(GtkWindow* owner, const std::string& filter, const std::string& title,
                           const std::string& initialFolder);
std::string ShowSaveDialog(GtkWindow* owner, const std::string& filter, const std::string& title,
                           const std::string& initialFolder, const std::string& proposedName);

}  // namespace demo
