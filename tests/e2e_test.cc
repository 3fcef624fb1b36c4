// Runs the real binary and checks its standard output, standard error and
// exit status separately.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "fixture.h"

namespace {

namespace fs = std::filesystem;
using fixture::RunResult;

const std::string kTool = PPDREGION_BINARY;
const fs::path kExample = fs::path(PPDREGION_EXAMPLES) / "colorlaser.ppd";
const std::string kUsage = "usage: ppdregion NAME PPD [EXTRA]\n";

TEST(CommandLine, ArgumentCounts) {
  const std::string ppd = kExample.string();
  const std::string plain = fixture::runTool(kExample).out;
  ASSERT_FALSE(plain.empty());
  struct Case {
    std::vector<std::string> args;
    int status;
    bool writes;
  };
  const Case cases[] = {
      {{}, 2, false},
      {{ppd}, 2, false},
      {{"name", ppd}, 0, true},
      {{"other", ppd, "extra"}, 0, true},
      {{"name", ppd, "extra", "more"}, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size());
    const RunResult result = fixture::run(kTool, c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.writes ? plain : "");
    EXPECT_EQ(result.err, c.writes ? "" : kUsage);
  }
}

TEST(CommandLine, FilesThatCannotBeLoaded) {
  fixture::TempDir dir;
  const std::size_t kHeader = fixture::ppd("").size();
  struct Case {
    std::string path;
    std::string reason;
  };
  const Case cases[] = {
      {(dir.path() / "missing.ppd").string(), "No such file or directory"},
      {dir.path().string(), "Is a directory"},
      {dir.write("empty.ppd", "").string(), "file is empty"},
      {dir.write("nul.ppd", fixture::ppd(std::string("*A: \"\0\"\n", 8))).string(),
       "holds a NUL byte at offset " + std::to_string(kHeader + 5) +
           "; a PPD file is text"},
      {dir.write("latin1.ppd", fixture::ppd("*de.A B/Gr\xF6\xDF" "e: \"\"\n")).string(),
       "not valid UTF-8 at offset " + std::to_string(kHeader + 10)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const RunResult result = fixture::runTool(c.path);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ppdregion: " + c.path + ": " + c.reason + "\n");
  }
}

TEST(CommandLine, TextTheParserRefusesIsWrittenUnchanged) {
  fixture::TempDir dir;
  const std::string text =
      "Not a PPD at all\r\n*PageSize B5/B5: \"\"\n*ISOCountryCode: \"US\"";
  const RunResult result = fixture::runTool(dir.write("notppd.ppd", text), "fr_FR.UTF-8");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, text + "\n");
  EXPECT_EQ(result.err, "");
}

TEST(CommandLine, InputIsNeverModified) {
  fixture::TempDir dir;
  const fs::path copy = dir.path() / "copy.ppd";
  fs::copy_file(kExample, copy);
  const std::string before = fixture::readFile(copy);
  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly);
    if (readOnly) fs::permissions(copy, fs::perms::owner_read | fs::perms::group_read);
    const RunResult result = fixture::runTool(copy, "de_DE.UTF-8");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out, before + "\n");  // it did edit the text it wrote
    EXPECT_EQ(fixture::readFile(copy), before);
  }
}

TEST(CommandLine, FailedWriteIsAnError) {
  const RunResult result = fixture::run(kTool, {"name", kExample.string()}, {}, "/dev/full");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "ppdregion: standard output: No space left on device\n");
}

}  // namespace
