// Headless Chromium for the browser tests: finding it, and loading one page file with
// --dump-dom to get the document as the browser left it after its scripts ran (or a harness
// of several pages in frames, with a probe script).
#pragma once

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace gridwell::testing {

// GRIDWELL_CHROMIUM, or chromium / chromium-browser on the PATH; "" when there is none.
inline std::string FindChromium() {
  if (const char* env = std::getenv("GRIDWELL_CHROMIUM")) return env;
  const char* path = std::getenv("PATH");
  std::stringstream ss(path ? path : "");
  std::string dir;
  while (std::getline(ss, dir, ':')) {
    for (const char* name : {"chromium", "chromium-browser"}) {
      const std::filesystem::path p = std::filesystem::path(dir) / name;
      if (access(p.c_str(), X_OK) == 0) return p.string();
    }
  }
  return {};
}

// Loads `page` in one run of the browser (its profile kept under `profileDir`) and returns
// the document it dumps.
inline std::string DumpDom(const std::string& chromium, const std::filesystem::path& page,
                           const std::filesystem::path& profileDir, int timeoutSeconds = 120,
                           const std::string& extraFlags = "") {
  const std::string cmd = "timeout " + std::to_string(timeoutSeconds) + " '" + chromium +
                          "' --headless --no-sandbox --disable-gpu"
                          " --disable-background-networking --disable-component-update"
                          " --disable-sync --no-first-run " +
                          extraFlags + " --user-data-dir='" + profileDir.string() +
                          "' --dump-dom 'file://" + page.string() + "' 2>/dev/null";
  std::string dom;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    std::array<char, 65536> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) dom.append(buf.data(), n);
    pclose(p);
  }
  return dom;
}

// The function every page probe of the tests ends with: writes its lines into the element
// <pre id="probe">, where ProbeLines finds them. Goes at the start of the probe's own
// script, so that it adds no script element to the page under test.
inline constexpr std::string_view kWriteProbe = R"JS(
function writeProbe(lines) {
  var pre = document.createElement('pre');
  pre.id = 'probe';
  pre.textContent = lines.join('\n');
  document.body.appendChild(pre);
}
)JS";

// The lines a page probe of the tests wrote into its element <pre id="probe">, read from
// the document the browser dumped; none when the probe did not run.
inline std::optional<std::vector<std::string>> ProbeLines(const std::string& dom) {
  const size_t start = dom.find("<pre id=\"probe\">");
  const size_t end = dom.find("</pre>", start);
  if (start == std::string::npos || end == std::string::npos) return std::nullopt;
  std::vector<std::string> lines;
  std::stringstream text(dom.substr(start + 16, end - start - 16));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

// A folder of its own under /tmp for one test's pages, removed with it; empty when it could
// not be made.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix) {
    std::string name = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(name.data())) path_ = name;
  }
  ~ScratchDir() {
    if (!path_.empty()) std::filesystem::remove_all(path_);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes `pages` (file name, text) into `dir` with a harness page that shows each in an
// iframe of the given size and then runs `script` (which may call writeProbe), loads the
// harness in one run of the browser and returns the lines the script probed.
inline std::optional<std::vector<std::string>> ProbeFrames(
    const std::string& chromium, const std::filesystem::path& dir,
    const std::vector<std::pair<std::string, std::string>>& pages, std::string_view script,
    int width, int height, int timeoutSeconds) {
  std::ofstream harness(dir / "harness.htm", std::ios::binary);
  harness << "<html><body>\n";
  for (const auto& [name, text] : pages) {
    std::ofstream(dir / name, std::ios::binary) << text;
    harness << "<iframe width=" << width << " height=" << height << " src='" << name
            << "'></iframe>\n";
  }
  harness << "<script>" << kWriteProbe << script << "</script></body></html>\n";
  harness.close();
  return ProbeLines(DumpDom(chromium, dir / "harness.htm", dir / "profile", timeoutSeconds,
                            "--allow-file-access-from-files"));
}

// Undoes the field encoding of the tests' page probes: a leading "_", then percent escapes.
inline std::string DecodeProbeField(const std::string& s) {
  std::string out;
  for (size_t i = s.empty() || s[0] != '_' ? 0 : 1; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace gridwell::testing
