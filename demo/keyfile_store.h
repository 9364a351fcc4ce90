// The demo's property store: the control's persisted properties in a GKeyFile, by default
// <user config folder>/gridwell/demo.ini, one group per control.
#pragma once

#include <string>

#include "control/platform.h"

namespace demo {

// The default file: g_get_user_config_dir()/gridwell/demo.ini.
std::string DefaultStorePath();

class KeyFilePropertyStore : public gridwell::PropertyStore {
 public:
  // Loads `path` when it exists; a missing or unreadable file starts empty.
  KeyFilePropertyStore(std::string path, std::string group);

  std::string Read(const std::string& key, const std::string& defaultValue) override;
  // Writes the file at once (creating its folder); a value equal to the default is removed.
  void Write(const std::string& key, const std::string& value,
             const std::string& defaultValue) override;
  void Changed(const std::string& key) override;

  const std::string& path() const { return path_; }
  // Whether a property changed since the last write of the file.
  bool dirty() const { return dirty_; }

 private:
  std::string path_;
  std::string group_;
  bool dirty_ = false;
};

}  // namespace demo
