#include "demo/module1.h"

#include <cctype>

namespace demo {

namespace {

// Shows the request with GtkFileChooserNative: the desktop's own dialog through a portal when
// there is one, GTK's dialog otherwise.
class NativeDialogs : public FileDialogBackend {
 public:
  std::string Run(const FileDialogRequest& request) override {
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    GtkFileChooserNative* native = gtk_file_chooser_native_new(
        request.title.c_str(), request.owner,
        save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(native);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
    for (const FileFilter& f : request.filters) {
      GtkFileFilter* filter = gtk_file_filter_new();
      gtk_file_filter_set_name(filter, f.description.c_str());
      for (const std::string& pattern : f.patterns) {
        gtk_file_filter_add_pattern(filter, CaseInsensitiveGlob(pattern).c_str());
      }
      gtk_file_chooser_add_filter(chooser, filter);  // takes the floating reference
    }
    if (!request.initialFolder.empty()) {
      gtk_file_chooser_set_current_folder(chooser, request.initialFolder.c_str());
    }
    if (save) {
      gtk_file_chooser_set_do_overwrite_confirmation(chooser, request.overwritePrompt);
      if (!request.proposedName.empty()) {
        gtk_file_chooser_set_current_name(chooser, request.proposedName.c_str());
      }
    }
    std::string chosen;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native)) == GTK_RESPONSE_ACCEPT) {
      if (char* name = gtk_file_chooser_get_filename(chooser)) {
        chosen = name;
        g_free(name);
      }
    }
    g_object_unref(native);
    return chosen;
  }
};

FileDialogBackend* g_backend = nullptr;

FileDialogBackend& Backend() {
  static NativeDialogs native;
  return g_backend != nullptr ? *g_backend : native;
}

std::vector<std::string> SplitPatterns(const std::string& text) {
  std::vector<std::string> patterns;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string p = text.substr(start, end - start);
    const size_t first = p.find_first_not_of(' ');
    const size_t last = p.find_last_not_of(' ');
    if (first != std::string::npos) patterns.push_back(p.substr(first, last - first + 1));
    start = end + 1;
  }
  return patterns;
}

// The chosen name as the classic dialog leaves it in its buffer: the name, then its NUL.
std::string AsNameBuffer(const std::string& chosen) {
  return chosen.empty() ? std::string() : chosen + '\0';
}

}  // namespace

std::vector<FileFilter> ParseFilter(const std::string& filter) {
  std::string text = filter;
  if (text.empty() || text.back() != '|') text += '|';
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
    parts.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<FileFilter> filters;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    FileFilter f{parts[i], SplitPatterns(parts[i + 1])};
    if (!f.patterns.empty()) filters.push_back(std::move(f));
  }
  return filters;
}

std::string CaseInsensitiveGlob(const std::string& pattern) {
  std::string glob;
  bool inClass = false;  // leave an existing [...] class as it is
  for (char c : pattern) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '[') inClass = true;
    if (!inClass && std::isalpha(u) && std::tolower(u) != std::toupper(u)) {
      glob += '[';
      glob += static_cast<char>(std::tolower(u));
      glob += static_cast<char>(std::toupper(u));
      glob += ']';
    } else {
      glob += c;
    }
    if (c == ']') inClass = false;
  }
  return glob;
}

std::string CutAtNull(const std::string& text) {
  const size_t nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

std::string FolderOf(const std::string& name) {
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

void SetFileDialogBackend(FileDialogBackend* backend) {
  g_backend = backend;
}

namespace {

FileDialogRequest Request(FileDialogRequest::Kind kind, GtkWindow* owner, const std::string& filter,
                          const std::string& title, const std::string& initialFolder) {
  FileDialogRequest request;
  request.kind = kind;
  request.owner = owner;
  request.filters = ParseFilter(filter);
  request.title = title;
  request.initialFolder = initialFolder;
  return request;
}

}  // namespace

std::string ShowOpenDialog(GtkWindow* owner, const std::string& filter, const std::string& title,
                           const std::string& initialFolder) {
  FileDialogRequest request =
      Request(FileDialogRequest::Kind::Open, owner, filter, title, initialFolder);
  request.fileMustExist = true;
  return AsNameBuffer(Backend().Run(request));
}

std::string ShowSaveDialog(GtkWindow* owner, const std::string& filter, const std::string& title,
                           const std::string& initialFolder, const std::string& proposedName) {
  FileDialogRequest request =
      Request(FileDialogRequest::Kind::Save, owner, filter, title, initialFolder);
  request.proposedName = proposedName;
  request.overwritePrompt = true;
  return AsNameBuffer(Backend().Run(request));
}

}  // namespace demo
