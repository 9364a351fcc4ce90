// The thumbnail's file: written whole or not at all.
#pragma once

#include <string>
#include <string_view>

namespace gridwell::thumbnail {

// Writes `bytes` to a temporary file beside `path` and renames it into place, so that
// `path` never holds part of a thumbnail, even when the run is ended halfway. An existing
// file (or link) at `path` is replaced. False with `error` set, and no file, on failure.
bool WriteAtomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace gridwell::thumbnail
