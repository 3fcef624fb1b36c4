// SPDX-License-Identifier: Apache-2.0
// --help, -h and --version, run through the real binary: recognised only as
// the single argument, and never in the way of a NAME that looks like one.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fixture.h"

namespace {

namespace fs = std::filesystem;
using fixture::contains;
using fixture::kExample;
using fixture::kTool;
using fixture::kUsage;
using fixture::RunResult;

TEST(Help, SaysHowToCallTheToolAndWhereTheCountryComesFrom) {
  const RunResult result = fixture::run(kTool, {"--help"});
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out.substr(0, kUsage.size()), kUsage);
  for (const char* part :
       {"NAME", "PPD", "EXTRA", "not used", "standard output", "LC_ALL",
        "LC_PAPER", "LANG", "--version", "--country", "--default-paper",
        "--verbose"}) {
    EXPECT_TRUE(contains(result.out, part)) << part;
  }
  // It is read in a terminal: short, and no line wider than 80 columns.
  std::istringstream lines(result.out);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_LE(line.size(), 80u) << line;
  }
  EXPECT_LE(count, 20);
  ASSERT_FALSE(result.out.empty());
  EXPECT_EQ(result.out.back(), '\n');
}

TEST(Help, OptionsOnlyAsTheSingleArgument) {
  const std::string ppd = kExample.string();
  const std::string help = fixture::run(kTool, {"--help"}).out;
  const std::string adapted = fixture::runTool(kExample).out;
  ASSERT_FALSE(help.empty());
  ASSERT_FALSE(adapted.empty());
  const std::string version =
      std::string("ppdregion ") + PPDREGION_EXPECTED_VERSION + "\n";
  const std::string missingPpd = "ppdregion: missing PPD\n" + kUsage;
  const std::string tooMany = "ppdregion: too many arguments\n" + kUsage;
  fixture::expectRuns({
      {{"--help"}, 0, help, ""},
      {{"-h"}, 0, help, ""},
      {{"--version"}, 0, version, ""},
      // Anything else alone is NAME without a PPD, a PPD path included.
      {{ppd}, 2, "", missingPpd},
      {{"-x"}, 2, "", missingPpd},
      {{"--HELP"}, 2, "", missingPpd},
      {{"-V"}, 2, "", missingPpd},
      {{"--version=1"}, 2, "", missingPpd},
      {{""}, 2, "", missingPpd},
      {{"--"}, 2, "", "ppdregion: missing NAME and PPD\n" + kUsage},
      // With two or three arguments the first is the unused NAME.
      {{"--help", ppd}, 0, adapted, ""},
      {{"-h", ppd}, 0, adapted, ""},
      {{"--version", ppd, "--help"}, 0, adapted, ""},
      {{"--help", "--version"},
       1,
       "",
       "ppdregion: --version: No such file or directory\n"},
      {{"--", "--help", ppd}, 0, adapted, ""},
      {{"--help", ppd, "extra", "more"}, 2, "", tooMany},
      {{"--version", "--help", "-h", "x"}, 2, "", tooMany},
  });
}

TEST(Help, FailedWriteIsAnError) {
  for (const char* option : {"--help", "-h", "--version"}) {
    SCOPED_TRACE(option);
    const RunResult result = fixture::run(kTool, {option}, {}, "/dev/full");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "ppdregion: standard output: No space left on device\n");
  }
}

}  // namespace
