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
const fs::path kData = PPDREGION_TESTDATA;
const std::string kUsage = "usage: ppdregion NAME PPD [EXTRA]\n";

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

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

// The expected files were checked by reading them: for France the colour
// model 10 loses B5, B6, EnvChou3, EnvYou4, Postcard and 210x270mm with their
// translations and constraints, gets DuplexNoTumble and "FR"; Japan loses
// Executive, 210x270mm, ISOB5, Env10 and EnvDL and keeps "US"; China loses
// 210x270mm, Postcard, EnvYou4 and EnvChou3; no locale removes France's sizes
// and writes "".
TEST(Adapt, ExamplePpdByCountry) {
  struct Case {
    const char* lang;
    const char* expected;
  };
  const Case cases[] = {
      {"fr_FR.UTF-8", "colorlaser.FR.ppd"},
      {"ja_JP.UTF-8", "colorlaser.JP.ppd"},
      {"zh_CN", "colorlaser.CN.ppd"},
      {"", "colorlaser.none.ppd"},
  };
  fixture::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang);
    const RunResult result = fixture::runTool(kExample, c.lang);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, fixture::readFile(kData / c.expected));
    EXPECT_TRUE(fixture::passesCupstestppd(dir.write("out.ppd", result.out)));
  }
}

// A monochrome model 12 whose PPD carries the forms a careless deletion
// breaks: B5 main lines without translation, constraints that end with the
// size or are tab-separated, and Postcard, a listed size, as the default.
TEST(Adapt, PpdWithAwkwardFormsStaysValid) {
  const fs::path input = kData / "faults.ppd";
  ASSERT_TRUE(fixture::passesCupstestppd(input));
  fixture::TempDir dir;
  for (const char* lang : {"en_US.UTF-8", "de_DE", "ja_JP", "zh_CN", "zh_TW", ""}) {
    SCOPED_TRACE(lang);
    const RunResult result = fixture::runTool(input, lang);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fixture::passesCupstestppd(dir.write("out.ppd", result.out)));
    EXPECT_TRUE(contains(result.out, "\n*PageSize Postcard/Postcard:"));
  }
  const std::string us = fixture::runTool(input, "en_US.UTF-8").out;
  for (const char* gone : {"*PageSize B5:", "*ImageableArea B5/", "*PageSize B5\t",
                           "*PageSize B5\n", "*PageSize EnvChou3\n"}) {
    EXPECT_FALSE(contains(us, gone)) << gone;
  }
  EXPECT_TRUE(contains(us, "\n*DefaultDuplex: DuplexNoTumble\n"));
}

// Input a printer installer should never turn into a PPD silently.
TEST(BadInput, RefusedWithAClearError) {
  fixture::TempDir dir;
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>(i * 7 + 1));
  const fs::path example = dir.write("example.ppd", fixture::readFile(kExample));
  ASSERT_EQ(fixture::run("gzip", {"-kn", example.string()}).status, 0);
  const std::string gzipped = fixture::readFile(example.string() + ".gz");
  struct Case {
    const char* name;
    std::string contents;
    std::string reason;
  };
  const Case cases[] = {
      {"binary", binary, "holds a NUL byte at offset 73; a PPD file is text"},
      {"truncated gzip", gzipped.substr(0, gzipped.size() / 2),
       "compressed data is truncated or damaged"},
      {"gzip without its trailer", gzipped.substr(0, gzipped.size() - 8),
       "compressed data is truncated or damaged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir.write("bad.ppd", c.contents);
    const RunResult result = fixture::runTool(path, "fr_FR.UTF-8");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "ppdregion: " + path.string() + ": " + c.reason + "\n");
  }
}

TEST(BadInput, TextTheParserRefusesComesOutUnchanged) {
  fixture::TempDir dir;
  const std::string example = fixture::readFile(kExample);
  const std::string longLine = "*% " + std::string(297, 'x') + "\n";
  struct Case {
    const char* name;
    std::string contents;
  };
  const Case cases[] = {
      {"one enormous line", std::string(3'000'000, 'a')},
      {"a 300-character line", example.substr(0, 200) + longLine + example.substr(200)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult result = fixture::runTool(dir.write("odd.ppd", c.contents), "fr_FR");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out == c.contents + "\n");
  }
}

TEST(BadInput, UnreadableFile) {
  fixture::TempDir dir;
  fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
  const fs::path path = dir.write("secret.ppd", fixture::readFile(kExample));
  fs::permissions(path, fs::perms::owner_write);
  // root reads any file: run the tool as nobody then.
  std::vector<std::string> args = {kTool, "printer", path.string()};
  std::string program = kTool;
  if (geteuid() == 0) {
    program = "setpriv";
    args.insert(args.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups"});
  } else {
    args.erase(args.begin());
  }
  const RunResult result = fixture::run(program, args);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "ppdregion: " + path.string() + ": Permission denied\n");
}

TEST(BadInput, LocaleCannotInjectText) {
  for (const char* variable : {"LANG", "LC_ALL", "LC_PAPER"}) {
    SCOPED_TRACE(variable);
    const RunResult result =
        fixture::run(kTool, {"printer", kExample.string()},
                     {{variable, "xx_FR\"\n*Evil: 1"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, fixture::readFile(kData / "colorlaser.none.ppd"));
  }
}

}  // namespace
