#include <gtest/gtest.h>

#include "cli/cli.h"
#include "fixture.h"

namespace {

// `size` bytes of PPD-like ASCII lines.
std::string textOfSize(std::size_t size) {
  std::string text;
  while (text.size() < size) text += "*Line" + std::to_string(text.size()) + ": x\n";
  text.resize(size);
  return text;
}

TEST(LoadPpdFile, WholeFileAtChunkBoundaries) {
  fixture::TempDir dir;
  for (std::size_t size : {1u, 65534u, 65535u, 65536u, 2u * 65535u,
                           2u * 65535u + 1u, 1000000u}) {
    SCOPED_TRACE(size);
    const std::string text = textOfSize(size);
    const LoadResult loaded =
        QVCFStringCreateWithPPDFile(dir.write("f.ppd", text).c_str());
    EXPECT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.text, text);
  }
}

TEST(LoadPpdFile, GzipLoadsAsPlainText) {
  fixture::TempDir dir;
  const std::string text = textOfSize(200000) + "*Gr\xC3\xB6\xC3\x9F" "e: 1\n";
  const auto path = dir.write("f.ppd", text);
  ASSERT_EQ(fixture::run("gzip", {"-n", path.string()}).status, 0);
  const LoadResult loaded =
      QVCFStringCreateWithPPDFile((path.string() + ".gz").c_str());
  EXPECT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.text, text);
}

TEST(LoadPpdFile, Refusals) {
  fixture::TempDir dir;
  struct Case {
    const char* name;
    std::string path;
    std::string error;
  };
  const Case cases[] = {
      {"empty", dir.write("empty.ppd", "").string(), "file is empty"},
      {"NUL byte", dir.write("nul.ppd", std::string("*A: 1\n\0*B: 2\n", 14)).string(),
       "holds a NUL byte at offset 6; a PPD file is text"},
      {"Latin-1", dir.write("latin1.ppd", "*A: \"Gr\xF6\xDF" "e\"\n").string(),
       "not valid UTF-8 at offset 7"},
      {"missing", (dir.path() / "missing.ppd").string(),
       "No such file or directory"},
      {"directory", dir.path().string(), "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LoadResult loaded = QVCFStringCreateWithPPDFile(c.path.c_str());
    EXPECT_EQ(loaded.error, c.error);
    EXPECT_EQ(loaded.text, "");
  }
}

TEST(FindInvalidUtf8, StrictForms) {
  struct Case {
    std::string bytes;
    std::size_t bad;
  };
  const std::size_t ok = std::string_view::npos;
  const Case cases[] = {
      {"plain ASCII text over eight bytes", ok},
      {"\xC2\x80 \xDF\xBF \xE0\xA0\x80 \xEF\xBF\xBF \xF0\x90\x80\x80 \xF4\x8F\xBF\xBF", ok},
      {"\xE2\x80\xA8 \xC2\x85 \xED\x9F\xBF \xEE\x80\x80", ok},
      {"abc\xC0\x80", 3},              // overlong NUL
      {"abc\xC1\xBF", 3},              // overlong
      {"abc\xE0\x9F\xBF", 3},          // overlong three-byte form
      {"abc\xF0\x8F\xBF\xBF", 3},      // overlong four-byte form
      {"abc\xED\xA0\x80", 3},          // surrogate U+D800
      {"abc\xED\xBF\xBF", 3},          // surrogate U+DFFF
      {"abc\xF4\x90\x80\x80", 3},      // U+110000
      {"abc\xF5\x80\x80\x80", 3},      // beyond any code point
      {"abc\xFF", 3},
      {"abcdefghij\x80", 10},          // lone continuation byte
      {"abc\xE2\x82", 3},              // cut short at the end
      {"abc\xE2\x28\xA1", 3},          // bad continuation
      {"abc\xF0\x90\x80\x28", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(findInvalidUtf8(c.bytes), c.bad);
  }
}

}  // namespace
