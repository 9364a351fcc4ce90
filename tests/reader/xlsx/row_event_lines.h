// Recorded row events as readable lines ("S name a=1", "E name", "C text"), with
// consecutive character data joined, for comparing two recordings.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace gridwell::xlsx {

inline std::vector<std::string> RowEventLines(const std::string& events) {
  std::vector<std::string> lines;
  const char* p = events.data();
  const char* end = p + events.size();
  const auto text = [&] {
    std::string s(p);
    p += s.size() + 1;
    return s;
  };
  while (p < end) {
    const char kind = *p++;
    if (kind == 'C') {
      uint32_t n;
      std::memcpy(&n, p, 4);
      p += 4;
      std::string chars(p, n);
      p += n;
      if (!lines.empty() && lines.back().starts_with("C ")) {
        lines.back() += chars;
      } else {
        lines.push_back("C " + chars);
      }
    } else if (kind == 'S') {
      std::string line = "S " + text();
      uint32_t n;
      std::memcpy(&n, p, 4);
      p += 4;
      for (uint32_t i = 0; i < n; ++i) {
        line += " " + text();
        line += "=" + text();
      }
      lines.push_back(line);
    } else {
      lines.push_back("E " + text());
    }
  }
  return lines;
}

}  // namespace gridwell::xlsx
