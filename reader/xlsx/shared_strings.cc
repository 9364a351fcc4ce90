#include "reader/xlsx/shared_strings.h"

#include <cstring>

#include "reader/xlsx/xml_util.h"

namespace gridwell::xlsx {

namespace {

struct SstState : XmlHandlerBase {
  model::StringPool* pool = nullptr;
  SharedStrings* out = nullptr;
  std::string text;
  uint64_t maxBytes = 0;
  uint64_t bytes = 0;
  int depthInSi = 0;  // > 0 inside <si>
  int phonetic = 0;   // > 0 inside <rPh>
  bool inT = false;
  bool overLimit = false;
};

void XMLCALL Start(void* ud, const XML_Char* name, const XML_Char**) {
  auto* s = static_cast<SstState*>(ud);
  std::string_view n = LocalName(name);
  if (s->depthInSi == 0) {
    if (n == "si") {
      s->depthInSi = 1;
      s->text.clear();
    }
    return;
  }
  ++s->depthInSi;
  if (n == "rPh")
    ++s->phonetic;
  else if (n == "t" && s->phonetic == 0)
    s->inT = true;
}

void XMLCALL End(void* ud, const XML_Char* name) {
  auto* s = static_cast<SstState*>(ud);
  if (s->depthInSi == 0) return;
  std::string_view n = LocalName(name);
  if (--s->depthInSi == 0) {
    DecodeEscapes(s->text);
    s->bytes += s->text.size();
    if (s->bytes > s->maxBytes || s->out->count == UINT32_MAX - 1) {
      s->overLimit = true;
      XML_StopParser(s->parser, XML_FALSE);
      return;
    }
    s->pool->Add(s->text);
    ++s->out->count;
    return;
  }
  if (n == "rPh")
    --s->phonetic;
  else if (n == "t")
    s->inT = false;
}

void XMLCALL Chars(void* ud, const XML_Char* text, int len) {
  auto* s = static_cast<SstState*>(ud);
  if (s->inT) s->text.append(text, static_cast<size_t>(len));
}

}  // namespace

PartStatus ReadSharedStrings(ZipPackage& pkg, const std::string& partName, uint64_t maxBytes,
                             model::StringPool& pool, SharedStrings& out, std::string& error) {
  SstState st;
  st.pool = &pool;
  st.out = &out;
  st.maxBytes = maxBytes;
  out.firstId = static_cast<uint32_t>(pool.Count());
  out.count = 0;
  XmlParser p = NewHardenedParser(&st);
  XML_SetElementHandler(p.get(), Start, End);
  XML_SetCharacterDataHandler(p.get(), Chars);
  PartStatus status = pkg.Parse(partName, p.get(), error);
  p.reset();
  if (st.refused) {
    error = partName + ": document type declarations are not accepted";
    return PartStatus::Damaged;
  }
  if (st.overLimit) {
    error = partName + ": shared strings above the size limit";
    return PartStatus::OverLimit;
  }
  return status;
}

}  // namespace gridwell::xlsx
