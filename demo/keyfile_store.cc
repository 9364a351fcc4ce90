#include "demo/keyfile_store.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <memory>

namespace demo {

namespace {

struct KeyFileFree {
  void operator()(GKeyFile* k) const { g_key_file_free(k); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

// Reads the file afresh for every access: the store is touched a few times per run, and so a
// second demo running at the same time does not lose the other's entries.
KeyFilePtr Load(const std::string& path) {
  KeyFilePtr file(g_key_file_new());
  g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
  return file;
}

}  // namespace

std::string DefaultStorePath() {
  gchar* p = g_build_filename(g_get_user_config_dir(), "gridwell", "demo.ini", nullptr);
  std::string path = p;
  g_free(p);
  return path;
}

KeyFilePropertyStore::KeyFilePropertyStore(std::string path, std::string group)
    : path_(std::move(path)), group_(std::move(group)) {}

std::string KeyFilePropertyStore::Read(const std::string& key, const std::string& defaultValue) {
  KeyFilePtr file = Load(path_);
  gchar* value = g_key_file_get_string(file.get(), group_.c_str(), key.c_str(), nullptr);
  if (value == nullptr) return defaultValue;
  std::string result = value;
  g_free(value);
  return result;
}

void KeyFilePropertyStore::Write(const std::string& key, const std::string& value,
                                 const std::string& defaultValue) {
  KeyFilePtr file = Load(path_);
  if (value == defaultValue) {
    g_key_file_remove_key(file.get(), group_.c_str(), key.c_str(), nullptr);
  } else {
    g_key_file_set_string(file.get(), group_.c_str(), key.c_str(), value.c_str());
  }
  gchar* folder = g_path_get_dirname(path_.c_str());
  g_mkdir_with_parents(folder, 0700);
  g_free(folder);
  if (g_key_file_save_to_file(file.get(), path_.c_str(), nullptr)) dirty_ = false;
}

void KeyFilePropertyStore::Changed(const std::string&) {
  dirty_ = true;
}

}  // namespace demo
