#include "reader/xlsx/relationships.h"

#include "reader/base/bytes.h"
#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

std::string_view PartFolder(std::string_view partName) {
  size_t slash = partName.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : partName.substr(0, slash + 1);
}

std::string Relationships::RelsPartName(std::string_view sourcePart) {
  size_t slash = sourcePart.rfind('/');
  std::string_view folder = slash == std::string_view::npos ? "" : sourcePart.substr(0, slash + 1);
  std::string_view file =
      slash == std::string_view::npos ? sourcePart : sourcePart.substr(slash + 1);
  return std::string(folder) + "_rels/" + std::string(file) + ".rels";
}

namespace {
// Targets are URIs: "%20" stands for a space in a part name.
std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const int high = i + 2 < s.size() ? base::HexDigitValue(s[i + 1]) : -1;
    const int low = high >= 0 ? base::HexDigitValue(s[i + 2]) : -1;
    if (s[i] == '%' && low >= 0) {
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}
}  // namespace

std::string Relationships::ResolveTarget(std::string_view sourcePart, std::string_view target) {
  std::string t = PercentDecode(target);
  for (char& c : t) {
    if (c == '\\') c = '/';
  }
  std::string path = !t.empty() && t[0] == '/' ? t : std::string(PartFolder(sourcePart)) + t;
  // Collapse "." and ".." segments; ".." above the root stays at the root.
  std::vector<std::string> segs;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    std::string seg = path.substr(pos, next - pos);
    if (seg == "..") {
      if (!segs.empty()) segs.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segs.push_back(std::move(seg));
    }
    pos = next + 1;
  }
  std::string out;
  for (const auto& s : segs) {
    if (!out.empty()) out.push_back('/');
    out += s;
  }
  return out;
}

PartStatus Relationships::Load(ZipPackage& pkg, std::string_view sourcePart, std::string& error) {
  rels_.clear();
  const std::string name = RelsPartName(sourcePart);
  std::string text;
  const PartStatus st = pkg.Read(name, text, error);
  if (st != PartStatus::Ok) return st;
  pugi::xml_document doc;
  if (!LoadDom(text, doc, error)) {
    error = name + ": " + error;
    return PartStatus::Damaged;
  }
  pugi::xml_node root = doc.document_element();
  for (pugi::xml_node r = root.first_child(); r; r = r.next_sibling()) {
    if (r.type() != pugi::node_element || LocalName(r.name()) != "Relationship") continue;
    Relationship rel;
    rel.id = Attr(r, "Id").value();
    std::string_view type = Attr(r, "Type").value();
    size_t slash = type.rfind('/');
    rel.type = std::string(slash == std::string_view::npos ? type : type.substr(slash + 1));
    std::string_view mode = Attr(r, "TargetMode").value();
    if (mode != "External") rel.target = ResolveTarget(sourcePart, Attr(r, "Target").value());
    rels_.push_back(std::move(rel));
  }
  return PartStatus::Ok;
}

const Relationship* Relationships::ById(std::string_view id) const {
  for (const auto& r : rels_) {
    if (r.id == id) return &r;
  }
  return nullptr;
}

const Relationship* Relationships::FirstOfType(std::string_view type) const {
  for (const auto& r : rels_) {
    if (r.type == type && !r.target.empty()) return &r;
  }
  return nullptr;
}

}  // namespace gridwell::xlsx
