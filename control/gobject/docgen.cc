// gridweller_docgen OUT.c: writes the documentation comments of gridweller.h for g-ir-scanner.
// Each member's text starts with the control's own help text and ends with its dispatch id and
// its parameters in the control's interface, all from the member table (control/members.h) that
// the rows of surface.h point at; the GObject details (arguments, annotations, which arguments
// are live) come from those rows.
// gridweller_docgen --members-markdown OUT.md: writes the member table as a Markdown table for
// the C++ control's page of the API reference.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "control/gobject/surface.h"
#include "control/gridwell.h"

namespace {

using gridwell::MemberInfo;
using namespace gridwell::gobject;

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Hex(uint32_t id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08x", id);
  return buf;
}

// One comment block: a heading line, @-lines, then paragraphs, then tags such as Returns.
class Block {
 public:
  explicit Block(std::string heading) { out_ << "/**\n * " << heading << "\n"; }
  Block& Arg(const std::string& name, const std::string& annotations, const std::string& text) {
    out_ << " * @" << name << ": " << (annotations.empty() ? "" : annotations + ": ") << text
         << "\n";
    return *this;
  }
  Block& Para(const std::string& text) {
    if (!text.empty()) out_ << " *\n * " << text << "\n";
    return *this;
  }
  Block& Tag(const std::string& tag, const std::string& text) {
    if (!text.empty()) out_ << " *\n * " << tag << ": " << text << "\n";
    return *this;
  }
  std::string End() { return out_.str() + " */\n\n"; }

 private:
  std::ostringstream out_;
};

// The member's help text, the note, then the member's dispatch id with its name and, where it
// has any, its parameters and result in the control's interface.
void Help(Block& b, const MemberInfo* m, const char* note, const char* idLabel) {
  if (m) b.Para(Trim(m->helpText));
  b.Para(note);
  if (!m) return;
  const std::string id =
      m->kind == gridwell::MemberKind::Event ? std::to_string(m->dispatchId) : Hex(m->dispatchId);
  const std::string signature = *m->signature ? std::string(": ") + m->signature : "";
  b.Para(std::string(idLabel) + " " + id + " (" + m->name + signature + ").");
}

std::string Snake(std::string_view kebab) {
  std::string s(kebab);
  for (char& c : s) {
    if (c == '-') c = '_';
  }
  return s;
}

const char* ReturnAnnotations(ValueKind kind) {
  switch (kind) {
    case ValueKind::String:
      return "(transfer full): ";
    case ValueKind::Strv:
      return "(transfer full) (array zero-terminated=1): ";
    default:
      return "";
  }
}

std::string ClassStruct(const std::string& type) {
  return Block(type + "Class:")
      .Arg("parent_class", "", "the parent class")
      .Para("The class of #" + type + ".")
      .End();
}

// The two types and their class structures.
std::string TypeDocs() {
  return Block("GridwellerGridwell:")
             .Para(std::string("The Gridwell viewer control, class \"") +
                   gridwell::Gridwell::kClassName +
                   "\": a #GtkBin that "
                   "shows one worksheet of a workbook (.xls or .xlsx, a local file or an "
                   "http://, https:// or ftp:// address of one) as a web page in an embedded "
                   "WebKit view. The workbook is fetched and converted into the control's own "
                   "temporary folder, which is removed when the control is destroyed.")
             .Para(
                 "Its properties, methods and signals are those of the control's programmable "
                 "interface, in the same order and with the same help texts. Properties that "
                 "the control changes emit #GObject::notify. Inside the control, Tab moves "
                 "the focus into the page and on out of it, Ctrl+F opens the find dialog "
                 "(Escape closes it) and Ctrl+P prints.")
             .End() +
         ClassStruct("GridwellerGridwell") +
         Block("GridwellerOpenOptions:")
             .Para(
                 "The optional parameters of gridweller_gridwell_open_xl() and "
                 "gridweller_gridwell_open_xl_range(), one property per parameter. A new "
                 "object holds the values of omitted parameters: %NULL texts, 0 numbers, "
                 "%FALSE flags and no sheet (the first one).")
             .End() +
         ClassStruct("GridwellerOpenOptions");
}

// A property with its getter and, when it is writable, its setter.
std::string PropertyDocs(const PropertyDoc& p) {
  Block b("GridwellerGridwell:" + std::string(p.name) + ":");
  Help(b, p.member, p.note, "Dispatch id");
  std::string doc = b.End();
  const std::string snake = Snake(p.name);
  doc += Block("gridweller_gridwell_get_" + snake + ":")
             .Arg("self", "", "a #GridwellerGridwell")
             .Para("Reads #GridwellerGridwell:" + std::string(p.name) + ".")
             .Tag("Returns", std::string(ReturnAnnotations(p.kind)) + "the property's value")
             .End();
  if (!p.writable) return doc;
  const bool text = p.kind == ValueKind::String;
  return doc + Block("gridweller_gridwell_set_" + snake + ":")
                   .Arg("self", "", "a #GridwellerGridwell")
                   .Arg("value", text ? "(nullable)" : "",
                        text ? "the new value; %NULL means \"\"" : "the new value")
                   .Para("Sets #GridwellerGridwell:" + std::string(p.name) + ".")
                   .End();
}

std::string SignalDocs(const SignalDoc& s) {
  Block b("GridwellerGridwell::" + std::string(s.name) + ":");
  b.Arg("self", "", "the control");
  for (const auto& a : s.args) b.Arg(a.name, "", a.text);
  std::string note = s.note;
  if (std::string_view(s.name).starts_with("open-")) note += std::string(" ") + kLiveOpenArgs;
  Help(b, s.member, note.c_str(), "Event id");
  return b.End();
}

std::string MethodDocs(const MethodDoc& m) {
  Block b(std::string(m.symbol) + ":");
  for (const auto& p : m.params) b.Arg(p.name, p.annotations, p.text);
  Help(b, m.member, m.note, "Dispatch id");
  b.Tag("Returns", m.returns);
  return b.End();
}

std::string OptionDocs(const OptionDoc& o) {
  return Block("GridwellerOpenOptions:" + std::string(o.name) + ":")
      .Para(o.text)
      .Para(std::string("Parameter ") + o.param + " of the control's OpenXL and OpenXLrange.")
      .End();
}

std::string Document() {
  std::string doc =
      "/* Generated by gridweller_docgen from the control's member table: do not edit. */\n\n";
  doc += TypeDocs();
  for (const auto& p : kProperties) doc += PropertyDocs(p);
  for (const auto& s : kSignals) doc += SignalDocs(s);
  for (const auto& m : kMethods) doc += MethodDocs(m);
  for (const auto& o : kOptions) doc += OptionDocs(o);
  return doc;
}

// A Markdown table cell: a bar inside the text would end the cell.
std::string Cell(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

// The control's members in interface order, for C++ hosts: the same names, ids and help texts
// as the GObject documentation above.
std::string MembersMarkdown() {
  std::string md =
      "| Member | Kind | Dispatch id | Parameters and result | What it does |\n"
      "|---|---|---|---|---|\n";
  for (const MemberInfo& m : gridwell::Gridwell::Members()) {
    const char* kind = m.kind == gridwell::MemberKind::Property ? "property"
                       : m.kind == gridwell::MemberKind::Method ? "method"
                                                                : "event";
    md += std::string("| `") + m.name + "` | " + kind + " | " + Hex(m.dispatchId) + " | " +
          (*m.signature ? Cell(m.signature) : "(none)") + " | " + Cell(Trim(m.helpText)) + " |\n";
  }
  return md;
}

// Leaves an unchanged file alone, so that what is made from it is not rebuilt for nothing.
int WriteIfChanged(const char* path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  const std::string old((std::istreambuf_iterator<char>(in)), {});
  if (old == text) return 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--members-markdown") {
    return WriteIfChanged(argv[2], MembersMarkdown());
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: gridweller_docgen OUT.c | --members-markdown OUT.md\n");
    return 2;
  }
  return WriteIfChanged(argv[1], Document());
}
