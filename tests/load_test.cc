// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/cli.h"
#include "fixture.h"

namespace {

namespace fs = std::filesystem;

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
    const cli::LoadResult loaded =
        cli::loadPpd(dir.write("f.ppd", text).c_str());
    EXPECT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.text, text);
  }
}

TEST(LoadPpdFile, GzipLoadsAsPlainText) {
  fixture::TempDir dir;
  const std::string text = textOfSize(200000) + "*Gr\xC3\xB6\xC3\x9F" "e: 1\n";
  const auto path = dir.write("f.ppd", text);
  ASSERT_EQ(fixture::run("gzip", {"-n", path.string()}).status, 0);
  const cli::LoadResult loaded =
      cli::loadPpd((path.string() + ".gz").c_str());
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
  const fs::path huge = dir.write("huge.ppd", "*PPD-Adobe: \"4.3\"\n");
  fs::resize_file(huge, cli::kMaxPpdSize + 1);  // sparse: takes no room
  const Case cases[] = {
      {"larger than the limit", huge.string(), "larger than 256 MiB; not a PPD file"},
      {"empty", dir.write("empty.ppd", "").string(), "file is empty"},
      {"NUL byte", dir.write("nul.ppd", std::string("*A: 1\n\0*B: 2\n", 14)).string(),
       "holds a NUL byte at offset 6; a PPD file is text"},
      {"missing", (dir.path() / "missing.ppd").string(),
       "No such file or directory"},
      {"directory", dir.path().string(), "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const cli::LoadResult loaded = cli::loadPpd(c.path.c_str());
    EXPECT_EQ(loaded.error, c.error);
    EXPECT_EQ(loaded.text, "");
  }
}

}  // namespace
