#include "reader/xls/compound_file.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "reader/base/ascii.h"

namespace gridwell::xls {

namespace {

struct Unref {
  void operator()(void* p) const {
    if (p) g_object_unref(p);
  }
};
template <class T>
using Ref = std::unique_ptr<T, Unref>;

// Finds a child of the root storage by name without regard to letter case: writers
// name the workbook stream "Workbook", "WORKBOOK", "WorkBook", "Book" or "BOOK".
Ref<GsfInput> Child(GsfInfile* root, const char* name) {
  int n = gsf_infile_num_children(root);
  for (int i = 0; i < n; ++i) {
    const char* child = gsf_infile_name_by_index(root, i);
    if (child && base::EqualsNoCase(child, name)) {
      return Ref<GsfInput>(gsf_infile_child_by_index(root, i));
    }
  }
  return nullptr;
}

// Reads a stream in pieces so that a size that lies about the sectors behind it costs
// no more memory than the bytes really there.
bool ReadStream(GsfInput* in, uint64_t cap, std::vector<uint8_t>& out, std::string& error,
                const char* what) {
  gsf_off_t size = gsf_input_size(in);
  if (size < 0) {
    error = std::string(what) + ": bad stream size";
    return false;
  }
  uint64_t want = static_cast<uint64_t>(size);
  if (want > cap) {
    error = std::string(what) + ": stream of " + std::to_string(want) + " bytes is over the limit";
    return false;
  }
  out.clear();
  constexpr size_t kPiece = 64 * 1024;
  while (out.size() < want) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kPiece, want - out.size()));
    size_t at = out.size();
    out.resize(at + n);
    if (!gsf_input_read(in, n, out.data() + at)) {
      // A chain that ends early (its directory entry claims more than the sectors hold):
      // keep every whole sector that is there, read one at a time up to the end.
      size_t kept = at;
      constexpr size_t kSector = 512;
      if (gsf_input_seek(in, static_cast<gsf_off_t>(at), G_SEEK_SET) == FALSE) {
        while (kept < at + n) {
          const size_t step = std::min(kSector, at + n - kept);
          if (!gsf_input_read(in, step, out.data() + kept)) break;
          kept += step;
        }
      }
      out.resize(kept);
      break;
    }
  }
  return true;
}

bool ReadFromInput(GsfInput* input, const ReadLimits& limits, CompoundStreams& out,
                   std::string& error) {
  GError* err = nullptr;
  Ref<GsfInfile> root(gsf_infile_msole_new(input, &err));
  if (!root) {
    error = "compound file: ";
    error += err && err->message ? err->message : "not readable";
    if (err) g_error_free(err);
    return false;
  }
  if (err) g_error_free(err);
  uint64_t cap = limits.maxInflatedBytes;

  Ref<GsfInput> info = Child(root.get(), "EncryptionInfo");
  Ref<GsfInput> package = Child(root.get(), "EncryptedPackage");
  if (info && package) {
    out.kind = CompoundStreams::Kind::EncryptedPackage;
    return ReadStream(info.get(), cap, out.encryptionInfo, error, "EncryptionInfo") &&
           ReadStream(package.get(), cap, out.encryptedPackage, error, "EncryptedPackage");
  }
  Ref<GsfInput> book = Child(root.get(), "Workbook");
  if (!book) book = Child(root.get(), "Book");
  if (!book) {
    error = "compound file: no Workbook or Book stream";
    return false;
  }
  out.kind = CompoundStreams::Kind::Workbook;
  return ReadStream(book.get(), cap, out.workbook, error, "Workbook");
}

// libgsf reports damage it meets in a compound file as GLib warnings and failed
// assertions, some over several lines. A library has no terminal of its own to write them
// to: the handler keeps them, one line each, for the read that is running on this thread,
// which names them in its status or its workbook's warnings.
struct LibraryMessages {
  std::string first;
  int count = 0;
};
thread_local LibraryMessages* collecting = nullptr;

void KeepMessage(const gchar* domain, GLogLevelFlags, const gchar* message, gpointer) {
  LibraryMessages* kept = collecting;
  if (!kept || kept->count++ > 0) return;
  std::string& line = kept->first;
  bool space = false;
  for (const char* p = message ? message : ""; *p; ++p) {
    // Line breaks, tabs and every other control character become one space.
    const bool blank = static_cast<unsigned char>(*p) <= ' ' || *p == 0x7F;
    if (blank) {
      space = true;
      continue;
    }
    if (space && !line.empty()) line += ' ';
    space = false;
    line += *p;
  }
  line += " (";
  line += domain ? domain : "libgsf";
  line += ')';
}

void RouteLibraryMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const char* domain : {"libgsf", "libgsf:msole", "libgsf:utils"}) {
      g_log_set_handler(domain,
                        static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING |
                                                    G_LOG_LEVEL_MESSAGE),
                        KeepMessage, nullptr);
    }
  });
}

// Collects the library's messages for the life of one read.
class MessageScope {
 public:
  MessageScope() : outer_(collecting) {
    RouteLibraryMessages();
    collecting = &kept_;
  }
  ~MessageScope() { collecting = outer_; }
  MessageScope(const MessageScope&) = delete;
  MessageScope& operator=(const MessageScope&) = delete;

  // The first message, with how many followed it; "" when there was none.
  std::string Summary() const {
    if (kept_.count == 0) return {};
    std::string s = "compound file: " + kept_.first;
    if (kept_.count > 1) s += " (and " + std::to_string(kept_.count - 1) + " more)";
    return s;
  }

 private:
  LibraryMessages kept_;
  LibraryMessages* outer_;
};

// The status of a read, with the library's own account of the damage.
Status Finish(bool ok, const std::string& error, const MessageScope& scope, CompoundStreams& out) {
  const std::string said = scope.Summary();
  if (ok) {
    out.damage = said;
    return {};
  }
  return Status::Unreadable(said.empty() ? error : error + "; " + said);
}

}  // namespace

Status ReadCompoundFile(const std::string& path, const ReadLimits& limits, CompoundStreams& out) {
  MessageScope scope;
  GError* err = nullptr;
  Ref<GsfInput> input(gsf_input_stdio_new(path.c_str(), &err));
  if (err) g_error_free(err);
  if (!input) return Status::Unreadable("cannot open " + path);
  std::string error;
  const bool ok = ReadFromInput(input.get(), limits, out, error);
  return Finish(ok, error, scope, out);
}

Status ReadCompoundMemory(std::span<const uint8_t> bytes, const ReadLimits& limits,
                          CompoundStreams& out) {
  MessageScope scope;
  Ref<GsfInput> input(
      gsf_input_memory_new(bytes.data(), static_cast<gsf_off_t>(bytes.size()), FALSE));
  if (!input) return Status::Unreadable("compound file: cannot wrap memory");
  std::string error;
  const bool ok = ReadFromInput(input.get(), limits, out, error);
  return Finish(ok, error, scope, out);
}

}  // namespace gridwell::xls
