#include "control/page_converter.h"

#include "reader/reader.h"

namespace gridwell {

namespace {

class HtmlConverter : public PageConverter {
 public:
  clsHTML& Fields() override { return html_; }
  void CreateHtmlFile(const std::string& page, const std::string& heading, const std::string& title,
                      const std::string& backColor, const std::string& backImage,
                      const std::string& tableColor, const std::string& tableImage) override {
    html_.CreateHtmlFile(page, heading, title, backColor, backImage, tableColor, tableImage);
  }
  void CreateStyledHtmlFile(const std::string& page, const std::string& heading,
                            const std::string& title, const std::string& backColor,
                            const std::string& backImage, const std::string& tableColor,
                            const std::string& tableImage) override {
    html_.CreateStyledHtmlFile(page, heading, title, backColor, backImage, tableColor, tableImage);
  }
  int32_t SheetTotal() override { return html_.SheetTotal(); }
  std::vector<std::string> SheetNames() override { return html_.SheetNames(); }
  ConvertStop LastStop() override { return html_.LastStop(); }
  std::string LastStopDetail() override { return html_.LastStopDetail(); }

 private:
  clsHTML html_;
};

}  // namespace

std::unique_ptr<PageConverter> MakeHtmlConverter() {
  return std::make_unique<HtmlConverter>();
}

bool IsNotAWorkbookFile(const std::string& path) {
  return WorkbookLoader::IsNotAWorkbook(path);
}

}  // namespace gridwell
