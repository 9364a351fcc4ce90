// Password-protected workbooks through the reader interface: the corpus files with their
// passwords, files with unknown passwords, files that open with the default password, and
// our own fixtures encrypted by the test-side encryptor.
#include <gtest/gtest.h>

#include "reader/reader.h"
#include "tests/support/corpus.h"

namespace gridwell {
namespace {

using EncryptedFile = test::ManifestEntry;
using test::EncryptedManifest;

std::string Corpus(const std::string& rel) {
  return test::CorpusPath(rel);
}
std::string Fixture(const std::string& rel) {
  return std::string(GRIDWELL_SOURCE_DIR) + "/tests/data/" + rel;
}

// Containers the compound-file layer cannot read: the fuzzer files. (A POI file whose
// EncryptedPackage directory entry claims 7848 bytes while its sector chain holds 6144
// opens: the 6083-byte package inside is whole, and the chain's sectors are kept.)
bool DamagedContainer(const std::string& path) {
  return path.find("clusterfuzz") != std::string::npos || path.find("crash-") != std::string::npos;
}

bool IsXls(const std::string& path) {
  return path.ends_with(".xls");
}

TEST(EncryptedWorkbooks, CorpusFilesOpenWithTheirPasswordOnly) {
  GRIDWELL_REQUIRE_CORPUS();
  int opened = 0;
  for (const EncryptedFile& f : EncryptedManifest()) {
    if (f.password.empty() || DamagedContainer(f.path)) continue;
    SCOPED_TRACE(f.path);
    bool byDefault = f.password == "VelvetSweatshop";
    WorkbookLoader loader;
    int protection = loader.IsPasswordProtected(Corpus(f.path));
    EXPECT_GT(protection, -1);
    if (IsXls(f.path)) {
      EXPECT_EQ(protection > 0, !byDefault);
    }
    ASSERT_TRUE(loader.OpenWithPassword(Corpus(f.path), f.password))
        << loader.LastStatus().Detail();
    ReaderWorkbook book = loader.Workbook();
    ASSERT_TRUE(book);
    EXPECT_GE(book.Worksheets().Count(), 1);
    ++opened;

    bool wrongOpens = loader.OpenWithPassword(Corpus(f.path), "not the password");
    // A wrong password still opens what the default password opens.
    EXPECT_EQ(wrongOpens, byDefault);
    if (!byDefault) {
      EXPECT_FALSE(loader.Workbook());
      EXPECT_EQ(loader.LastStatus().Code(), StatusCode::WrongPassword);
    }
  }
  EXPECT_GE(opened, 38);
}

TEST(EncryptedWorkbooks, DefaultPasswordFilesOpenWithoutOne) {
  GRIDWELL_REQUIRE_CORPUS();
  int opened = 0;
  for (const EncryptedFile& f : EncryptedManifest()) {
    if (f.password != "VelvetSweatshop" || DamagedContainer(f.path)) continue;
    SCOPED_TRACE(f.path);
    WorkbookLoader loader;
    // Encrypted .xlsx packages answer "protected" even when the default password opens
    // them; the caller's OpenWithPassword then falls back to it.
    if (IsXls(f.path)) {
      EXPECT_EQ(loader.IsPasswordProtected(Corpus(f.path)), 0);
    }
    ASSERT_TRUE(loader.Open(Corpus(f.path))) << loader.LastStatus().Detail();
    EXPECT_GE(loader.Workbook().Worksheets().Count(), 1);
    ASSERT_TRUE(loader.OpenWithPassword(Corpus(f.path), "")) << loader.LastStatus().Detail();
    EXPECT_GE(loader.Workbook().Worksheets().Count(), 1);
    ++opened;
  }
  EXPECT_GE(opened, 8);
}

TEST(EncryptedWorkbooks, UnknownPasswordsFailCleanly) {
  GRIDWELL_REQUIRE_CORPUS();
  int checked = 0;
  for (const EncryptedFile& f : EncryptedManifest()) {
    if (!f.password.empty()) continue;
    SCOPED_TRACE(f.path);
    WorkbookLoader loader;
    EXPECT_FALSE(loader.Open(Corpus(f.path)));
    EXPECT_FALSE(loader.Workbook());
    EXPECT_FALSE(loader.OpenWithPassword(Corpus(f.path), "password"));
    EXPECT_FALSE(loader.Workbook());
    ++checked;
  }
  EXPECT_GE(checked, 4);
}

std::string TextAt(const ReaderWorkbook& book, int sheet, int row, int col) {
  ReaderCell cell = book.Worksheets().Item(sheet).Cells().Cell(row, col);
  return cell ? cell.Text() : std::string("<none>");
}

// Contents the corpus sources' own tests expect after decryption.
TEST(EncryptedWorkbooks, DecryptedContents) {
  GRIDWELL_REQUIRE_CORPUS();
  struct Case {
    const char* path;
    const char* password;
    int row, col;
    const char* text;
  };
  const Case cases[] = {
      {"exceldatareader/agile_DES_MD5_CBC_pwd_password.xlsx", "password", 1, 1,
       "Password: password"},
      {"exceldatareader/agile_DESede_SHA384_CBC_pwd_password.xlsx", "password", 1, 1,
       "Password: password"},
      {"exceldatareader/agile_RC2_SHA1_CBC_pwd_password.xlsx", "password", 1, 1,
       "Password: password"},
      {"exceldatareader/standard_AES256_SHA1_ECB_pwd_password.xlsx", "password", 1, 1,
       "Password: password"},
      {"exceldatareader/Test_git_issue_242_std_rc4_pwd_password.xls", "password", 1, 1,
       "Password: password"},
      {"exceldatareader/Test_git_issue_242_xor_pwd_password.xls", "password", 1, 1,
       "Password: password"},
      {"exceldatareader/protectedsheet-xxx.xls", "VelvetSweatshop", 1, 1, "x"},
      {"exceldatareader/protectedsheet-xxx.xls", "VelvetSweatshop", 2, 1, "1.4"},
      {"exceldatareader/Test_git_issue289.xlsx", "VelvetSweatshop", 1, 1, "aaaaaaa"},
      {"poi/spreadsheet/xor-encryption-abc.xls", "abc", 3, 1, "3"},
      {"poi/spreadsheet/50833.xls", "VelvetSweatshop", 1, 1, "test cell value"},
      {"sheetjs/password_2002_40_xor.xls", "password", 4, 1, "4"},
      {"sheetjs/password_2002_40_972000.xls", "password", 4, 1, "4"},
      {"sheetjs/password_2002_40_basecrypto.xls", "password", 4, 1, "4"},
      {"sheetjs/password_2002_128_strong.xls", "password", 2, 2, "10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    WorkbookLoader loader;
    ASSERT_TRUE(loader.OpenWithPassword(Corpus(c.path), c.password))
        << loader.LastStatus().Detail();
    EXPECT_EQ(TextAt(loader.Workbook(), 1, c.row, c.col), c.text);
  }
}

// Encrypted copies of our fixtures read exactly like the plain ones.
TEST(EncryptedWorkbooks, OwnFixturesMatchTheirPlainOriginals) {
  struct Case {
    const char* encrypted;
    const char* plain;
    const char* password;
  };
  const Case cases[] = {
      {"encrypted/values_rc4cryptoapi.xls", "xls/values.xls", "quorin"},
      {"encrypted/sheets_rc4cryptoapi.xls", "xls/sheets.xls", "quorin"},
      {"encrypted/values_agile.xlsx", "xlsx/values.xlsx", "quorin"},
      {"encrypted/styles_standard.xlsx", "xlsx/styles.xlsx", "quorin"},
      {"encrypted/sheets_agile_default.xlsx", "xlsx/sheets.xlsx", "VelvetSweatshop"},
      // the demo's protected sample
      {"../../samples/protected.xls", "../../samples/comics.xls", "quorin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encrypted);
    WorkbookLoader plainLoader, loader;
    ASSERT_TRUE(plainLoader.Open(Fixture(c.plain)));
    EXPECT_NE(loader.IsPasswordProtected(Fixture(c.encrypted)), -1);
    if (std::string(c.password) != "VelvetSweatshop") {
      EXPECT_FALSE(loader.OpenWithPassword(Fixture(c.encrypted), "quorim"));
    }
    ASSERT_TRUE(loader.OpenWithPassword(Fixture(c.encrypted), c.password))
        << loader.LastStatus().Detail();
    ReaderWorkbook a = plainLoader.Workbook(), b = loader.Workbook();
    ASSERT_EQ(a.Worksheets().Count(), b.Worksheets().Count());
    for (int s = 1; s <= a.Worksheets().Count(); ++s) {
      ReaderWorksheet sa = a.Worksheets().Item(s), sb = b.Worksheets().Item(s);
      EXPECT_EQ(sa.Name(), sb.Name());
      ASSERT_EQ(sa.Cells().Count(), sb.Cells().Count());
      for (int i = 1; i <= sa.Cells().Count(); ++i) {
        ReaderCell ca = sa.Cells().Item(i), cb = sb.Cells().Item(i);
        EXPECT_EQ(ca.Row(), cb.Row());
        EXPECT_EQ(ca.Column(), cb.Column());
        EXPECT_EQ(ca.Text(), cb.Text()) << "sheet " << s << " cell " << i;
        EXPECT_EQ(ca.Formula(), cb.Formula());
        EXPECT_EQ(ca.FontName(), cb.FontName());
        EXPECT_EQ(ca.FillColor(), cb.FillColor());
      }
    }
  }
}

}  // namespace
}  // namespace gridwell
