// SPDX-License-Identifier: Apache-2.0
// Runs the real binary and checks its standard output, standard error and
// exit status separately.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "fixture.h"

namespace {

namespace fs = std::filesystem;
using fixture::contains;
using fixture::kExample;
using fixture::kTool;
using fixture::kUsage;
using fixture::RunResult;

const fs::path kData = PPDREGION_TESTDATA;

// Runs a bash script with the tool in $TOOL, `ppd` in $PPD and `lang` in LANG.
RunResult shell(const std::string& script, const fs::path& ppd,
                const std::string& lang = "fr_FR.UTF-8") {
  return fixture::run("bash", {"-c", script},
                      {{"TOOL", kTool}, {"PPD", ppd.string()}, {"LANG", lang}});
}

TEST(CommandLine, ArgumentCounts) {
  const std::string ppd = kExample.string();
  const std::string plain = fixture::runTool(kExample).out;
  ASSERT_FALSE(plain.empty());
  fixture::expectRuns({
      {{}, 2, "", "ppdregion: missing NAME and PPD\n" + kUsage},
      {{ppd}, 2, "", "ppdregion: missing PPD\n" + kUsage},
      {{"name", ppd}, 0, plain, ""},
      {{"other", ppd, "extra"}, 0, plain, ""},
      {{"name", ppd, "extra", "more"},
       2,
       "",
       "ppdregion: too many arguments\n" + kUsage},
  });
}

// --country wins over every locale variable. Options come before NAME; a
// first word that is one is always the option.
TEST(CommandLine, CountryOption) {
  const std::string ppd = kExample.string();
  const std::string france = fixture::readFile(kData / "colorlaser.FR.ppd");
  const std::string japan = fixture::readFile(kData / "colorlaser.JP.ppd");
  const std::string notCode =
      " is not a country code (two ASCII letters, such as FR)\n";
  // The four size defaults of the example are Letter.
  std::string franceA4 = france;
  for (const char* keyword :
       {"PageSize", "PageRegion", "ImageableArea", "PaperDimension"}) {
    const std::string line = std::string("*Default") + keyword + ": ";
    const std::size_t at = franceA4.find(line + "Letter\n");
    ASSERT_NE(at, std::string::npos) << keyword;
    franceA4.replace(at, line.size() + 7, line + "A4\n");
  }
  const std::string says = "ppdregion: " + ppd + ": ";
  fixture::expectRuns(
      {
          {{"--country", "FR", "x", ppd}, 0, france, ""},
          {{"--country=FR", "x", ppd}, 0, france, ""},
          {{"--default-paper", "--country=FR", "x", ppd}, 0, franceA4, ""},
          {{"--country=FR", "--verbose", "x", ppd},
           0,
           france,
           says + "country: FR (from --country)\n" + says +
               "printer: colour, model number 10\n" + says +
               "paper sizes removed: 210x270mm, B6, Postcard, EnvYou4, "
               "EnvChou3, B5\n" +
               says + "duplex default set to DuplexNoTumble\n" + says +
               "*ISOCountryCode set to \"FR\"\n"},
          {{"--country", "fr", "x", ppd, "extra"}, 0, france, ""},
          {{"--country", "DE", "--country=jP", "--", "--country", ppd},
           0,
           japan,
           ""},
          {{"--country", "FRA", "x", ppd},
           2,
           "",
           "ppdregion: --country: \"FRA\"" + notCode + kUsage},
          {{"--country=", "x", ppd},
           2,
           "",
           "ppdregion: --country: \"\"" + notCode + kUsage},
          {{"--country", "F1", "x", ppd},
           2,
           "",
           "ppdregion: --country: \"F1\"" + notCode + kUsage},
          {{"--country"},
           2,
           "",
           "ppdregion: --country: needs a country code, such as FR\n" + kUsage},
          {{"--country", "FR", "x", ppd, "extra", "more"},
           2,
           "",
           "ppdregion: too many arguments\n" + kUsage},
          // A first word that is an option is never NAME or PPD.
          {{"--country", "FR", ppd},
           2,
           "",
           "ppdregion: missing PPD\n" + kUsage},
          {{"--country=FR", ppd}, 2, "", "ppdregion: missing PPD\n" + kUsage},
          {{"--verbose", "--default-paper"},
           2,
           "",
           "ppdregion: missing NAME and PPD\n" + kUsage},
      },
      {{"LC_ALL", "ja_JP.UTF-8"}, {"LC_PAPER", "de_DE"}, {"LANG", "it_IT"}});
}

// With LC_ALL, LC_PAPER and LANG all unset or empty the country comes from
// /etc/locale.conf, then /etc/default/locale: run in a private mount
// namespace where those are files of the test, so the machine's own are
// neither read nor touched.
TEST(CommandLine, CountryFromSystemLocaleFiles) {
  fixture::TempDir dir;
  const fs::path none = dir.write("none", "# no locale\n");
  const fs::path france = dir.write("france", "LANG=\"fr_FR.UTF-8\"\n");
  // Each existing file is hidden by `none`; /etc/default/locale (Debian's)
  // then names France.
  const std::string script =
      "for f in /etc/locale.conf /etc/default/locale; do"
      "  [ ! -e \"$f\" ] || mount --bind \"$NONE\" \"$f\" || exit 9; done;"
      "mount --bind \"$FRANCE\" /etc/default/locale || exit 9;"
      "exec env \"$@\" \"$TOOL\" x \"$PPD\"";
  struct Case {
    std::vector<std::string> env;
    const char* expected;
  };
  const Case cases[] = {
      {{"-u", "LC_ALL", "-u", "LC_PAPER", "-u", "LANG"}, "colorlaser.FR.ppd"},
      {{"LC_ALL=", "LC_PAPER=", "LANG="}, "colorlaser.FR.ppd"},
      {{"LANG=C"}, "colorlaser.none.ppd"},
      {{"LC_PAPER=ja_JP"}, "colorlaser.JP.ppd"},
  };
  const std::vector<std::string> privately = {"--mount", "--propagation",
                                              "private"};
  std::vector<std::string> probe = privately;
  probe.push_back("true");
  if (const RunResult result = fixture::run("unshare", probe);
      result.status != 0) {
    GTEST_SKIP() << "no private mount namespace here: " << result.err;
  }
  if (!fs::exists("/etc/default/locale"))
    GTEST_SKIP() << "no /etc/default/locale to hide";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    std::vector<std::string> args = privately;
    args.insert(args.end(), {"bash", "-c", script, "bash"});
    args.insert(args.end(), c.env.begin(), c.env.end());
    const RunResult result = fixture::run("unshare", args,
                                          {{"TOOL", kTool},
                                           {"PPD", kExample.string()},
                                           {"NONE", none.string()},
                                           {"FRANCE", france.string()}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out == fixture::readFile(kData / c.expected));
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
      {dir.write("nul.ppd", fixture::ppd(std::string("*A: \"\0\"\n", 8)))
           .string(),
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
  const RunResult result =
      fixture::runTool(dir.write("notppd.ppd", text), "fr_FR.UTF-8");
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
    if (readOnly)
      fs::permissions(copy, fs::perms::owner_read | fs::perms::group_read);
    const RunResult result = fixture::runTool(copy, "de_DE.UTF-8");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out, before + "\n");  // it did edit the text it wrote
    EXPECT_EQ(fixture::readFile(copy), before);
  }
}

TEST(CommandLine, FailedWriteIsAnError) {
  const RunResult result =
      fixture::run(kTool, {"name", kExample.string()}, {}, "/dev/full");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "ppdregion: standard output: No space left on device\n");
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
      {"C", "colorlaser.none.ppd"},
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
  for (const char* lang :
       {"en_US.UTF-8", "de_DE", "ja_JP", "zh_CN", "zh_TW", "C"}) {
    SCOPED_TRACE(lang);
    const RunResult result = fixture::runTool(input, lang);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fixture::passesCupstestppd(dir.write("out.ppd", result.out)));
    EXPECT_TRUE(contains(result.out, "\n*PageSize Postcard/Postcard:"));
  }
  const std::string us = fixture::runTool(input, "en_US.UTF-8").out;
  for (const char* gone :
       {"*PageSize B5:", "*ImageableArea B5/", "*PageSize B5\t",
        "*PageSize B5\n", "*PageSize EnvChou3\n"}) {
    EXPECT_FALSE(contains(us, gone)) << gone;
  }
  EXPECT_TRUE(contains(us, "\n*DefaultDuplex: DuplexNoTumble\n"));
}

std::string replaced(std::string text, std::string_view from,
                     std::string_view to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) throw std::logic_error(std::string(from));
  return text.replace(at, from.size(), to);
}

// Hand-made variants of the example that libcups and cupstestppd read alike
// but that a literal reading of the text gets wrong. In France each must
// come out passing every rule set the input passes, with the duplex default
// as given.
TEST(Adapt, VariantsStayAsValidAsTheirInput) {
  const std::string example = fixture::readFile(kExample);
  std::string envChou3Default = example;
  for (const char* keyword :
       {"PageSize", "PageRegion", "ImageableArea", "PaperDimension"}) {
    envChou3Default = replaced(
        envChou3Default, "*Default" + std::string(keyword) + ": Letter",
        "*Default" + std::string(keyword) + ": EnvChou3");
  }
  const std::string duplexer = replaced(
      example, "*% ======== Constraints ========",
      "*OpenGroup: InstallableOptions/Installable Options\n"
      "*OpenUI *Option1/Duplexer: Boolean\n*DefaultOption1: False\n"
      "*Option1 False/Not Installed: \"\"\n*Option1 True/Installed: \"\"\n"
      "*CloseUI: *Option1\n*CloseGroup: InstallableOptions\n"
      "*de.Translation Option1/Duplexeinheit: \"\"\n"
      "*fr.Translation Option1/Module recto verso: \"\"\n"
      "*de.Option1 False/Nicht installiert: \"\"\n*de.Option1 "
      "True/Installiert: \"\"\n"
      "*fr.Option1 False/Absent: \"\"\n*fr.Option1 True/Present: \"\"\n"
      "*UIConstraints: *Option1 False *Duplex\n");
  struct Case {
    const char* name;
    std::string input;
    std::string duplex;  // the output's *DefaultDuplex lines
  };
  const std::string kept = "*DefaultDuplex: None\n";
  const std::string longEdge = "*DefaultDuplex: DuplexNoTumble\n";
  const Case cases[] = {
      {"a default size that forbids long-edge duplex", envChou3Default, kept},
      {"a duplexer not installed by default", duplexer, kept},
      {"a default with its translation",
       replaced(example, "*DefaultPageSize: Letter",
                "*DefaultPageSize: Postcard/Postcard"),
       longEdge},
      {"a quoted default",
       replaced(example, "*DefaultPageSize: Letter",
                "*DefaultPageSize: \"Postcard\""),
       longEdge},
      {"a blank before the translation",
       replaced(example, "*PageSize B6/", "*PageSize B6 /"), longEdge},
      {"a vertical tab after the keyword",
       replaced(example, "*PageSize B6/", "*PageSize\vB6/"), longEdge},
      {"a form feed after the keyword",
       replaced(example, "*PageSize B6/", "*PageSize\fB6/"), longEdge},
      {"a second default line",
       replaced(example, "*ColorDevice: True\n",
                "*ColorDevice: True\n*DefaultDuplex: None\n"),
       longEdge + longEdge},
  };
  fixture::TempDir dir;
  const auto passes = [&](const fs::path& ppd, bool relaxed) {
    std::vector<std::string> args = {"-q", ppd.string()};
    if (relaxed) args.insert(args.begin(), "-r");
    return fixture::run("cupstestppd", args).status == 0;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path input = dir.write("in.ppd", c.input);
    ASSERT_TRUE(passes(input, true));
    const RunResult result = fixture::runTool(input, "fr_FR.UTF-8");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const fs::path output = dir.write("out.ppd", result.out);
    EXPECT_TRUE(passes(output, true));
    if (passes(input, false)) {
      EXPECT_TRUE(passes(output, false));
    }
    std::string duplex;
    for (std::size_t at = result.out.find("\n*DefaultDuplex:");
         at != std::string::npos;
         at = result.out.find("\n*DefaultDuplex:", at + 1)) {
      duplex += result.out.substr(at + 1, result.out.find('\n', at + 1) - at);
    }
    EXPECT_EQ(duplex, c.duplex);
  }
}

// The parse that classifies the printer keeps no translation: tens of
// thousands of them in the user's language once took seconds to sort.
TEST(Adapt, TranslationsInTheUsersLanguageCostLittle) {
  const std::string head = fixture::readFile(kExample).substr(0, 700);
  fixture::TempDir dir;
  for (const char* lang : {"fr_FR.UTF-8", "en_US.UTF-8"}) {
    SCOPED_TRACE(lang);
    const std::string prefix =
        std::string("*") + std::string(lang).substr(0, 2);
    std::string ppd = head.substr(0, head.rfind('\n') + 1);
    for (int i = 0; i < 23000; ++i) {
      ppd += prefix + ".PageSize B6/x: \"\"\n" + prefix +
             ".PageRegion B6/x: \"\"\n";
    }
    const fs::path input = dir.write("many.ppd", ppd);
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = fixture::runTool(input, lang);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.status, 0);
    EXPECT_LT(took, std::chrono::seconds(1));
  }
}

std::string flipped(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x55);
  return bytes;
}

// Input a printer installer should never turn into a PPD silently.
TEST(BadInput, RefusedWithAClearError) {
  fixture::TempDir dir;
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>(i * 7 + 1));
  const fs::path example =
      dir.write("example.ppd", fixture::readFile(kExample));
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
       "compressed data is truncated"},
      {"gzip without its trailer", gzipped.substr(0, gzipped.size() - 8),
       "compressed data is truncated"},
      {"gzip with a bad CRC", flipped(gzipped, gzipped.size() - 8),
       "compressed data is damaged (incorrect data check)"},
      {"gzip with a bad length", flipped(gzipped, gzipped.size() - 4),
       "compressed data is damaged (incorrect length check)"},
      {"gzip cut inside a second member", gzipped + gzipped.substr(0, 30),
       "compressed data is truncated"},
      {"gzip followed by other data", gzipped + "*% trailer\n",
       "compressed data is followed by other data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir.write("bad.ppd", c.contents);
    const RunResult result = fixture::runTool(path, "fr_FR.UTF-8");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "ppdregion: " + path.string() + ": " + c.reason + "\n");
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
      {"a 300-character line",
       example.substr(0, 200) + longLine + example.substr(200)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult result =
        fixture::runTool(dir.write("odd.ppd", c.contents), "fr_FR");
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
    args.insert(args.begin(),
                {"--reuid=65534", "--regid=65534", "--clear-groups"});
  } else {
    args.erase(args.begin());
  }
  const RunResult result = fixture::run(program, args);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "ppdregion: " + path.string() + ": Permission denied\n");
}

TEST(BadInput, LocaleCannotInjectText) {
  for (const char* variable : {"LANG", "LC_ALL", "LC_PAPER"}) {
    SCOPED_TRACE(variable);
    const RunResult result = fixture::run(kTool, {"printer", kExample.string()},
                                          {{variable, "xx_FR\"\n*Evil: 1"}});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, fixture::readFile(kData / "colorlaser.none.ppd"));
  }
}

// Every way a user hands the tool a PPD gives the same adapted text as the
// plain file does.
TEST(Sources, EachGivesTheSameResult) {
  fixture::TempDir dir;
  const std::string expected = fixture::readFile(kData / "colorlaser.FR.ppd");
  const std::string example = fixture::readFile(kExample);
  const std::size_t half = example.find("\n*", example.size() / 2) + 1;
  const fs::path gz = dir.write("example.ppd", example);
  ASSERT_EQ(fixture::run("gzip", {"-kn", gz.string()}).status, 0);
  const std::string gzipped = fixture::readFile(gz.string() + ".gz");
  const fs::path twoMembers = dir.path() / "two.ppd.gz";
  dir.write("two.ppd.gz.first", example.substr(0, half));
  dir.write("two.ppd.gz.second", example.substr(half));
  ASSERT_EQ(shell("gzip -nc \"$PPD.first\" > \"$PPD\" && "
                  "gzip -nc \"$PPD.second\" >> \"$PPD\"",
                  twoMembers)
                .status,
            0);
  const fs::path padded =
      dir.write("padded.ppd.gz", gzipped + std::string(1024, '\0'));
  struct Case {
    const char* name;
    std::string script;
    fs::path ppd;
  };
  const std::string fifo = (dir.path() / "fifo").string();
  const Case cases[] = {
      {"file", "\"$TOOL\" x \"$PPD\"", kExample},
      {"- from a file", "\"$TOOL\" x - < \"$PPD\"", kExample},
      {"- from a pipe", "cat \"$PPD\" | \"$TOOL\" x -", kExample},
      {"/dev/stdin", "cat \"$PPD\" | \"$TOOL\" x /dev/stdin", kExample},
      {"process substitution", "\"$TOOL\" x <(cat \"$PPD\")", kExample},
      // The writer is stopped by its process id whatever the tool did.
      {"FIFO",
       "mkfifo '" + fifo + "' && { cat \"$PPD\" > '" + fifo +
           "' & writer=$!; timeout 20 \"$TOOL\" x '" + fifo +
           "'; status=$?; kill $writer 2>/dev/null; wait $writer; exit "
           "$status; }",
       kExample},
      {"gzip, one member", "\"$TOOL\" x \"$PPD\"", gz.string() + ".gz"},
      {"gzip, two members", "\"$TOOL\" x \"$PPD\"", twoMembers},
      {"gzip, zero padding", "\"$TOOL\" x \"$PPD\"", padded},
      {"gzip on standard input", "cat \"$PPD\" | \"$TOOL\" x -",
       gz.string() + ".gz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult result = shell(c.script, c.ppd);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(result.out == expected);
  }
}

TEST(Sources, StandardInputRefusals) {
  fixture::TempDir dir;
  struct Case {
    const char* script;
    std::string err;
  };
  const Case cases[] = {
      {"\"$TOOL\" x - < /dev/null",
       "ppdregion: standard input: input is empty\n"},
      {"\"$TOOL\" x /dev/zero",
       "ppdregion: /dev/zero: holds a NUL byte at offset 0; a PPD file is "
       "text\n"},
      {"\"$TOOL\" x - < /dev/zero",
       "ppdregion: standard input: holds a NUL byte at offset 0; a PPD file is "
       "text\n"},
      {"yes '*% endless' | \"$TOOL\" x -",
       "ppdregion: standard input: larger than 256 MiB; not a PPD file\n"},
      {"cd \"$PPD\" && \"$TOOL\" x ./-",
       "ppdregion: ./-: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const RunResult result = shell(c.script, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.err);
  }
}

// Text in a legacy encoding is edited as bytes: only ASCII is searched for,
// only whole lines go, and every other byte comes out as it went in.
TEST(Encodings, LegacyTextKeepsItsBytes) {
  const std::string head = "*ColorDevice: True\n*cupsModelNumber: 10\n";
  struct Case {
    const char* name;
    std::string kept;     // lines that stay in every country
    std::string removed;  // lines of B5, which goes in France
    const char* eol;
  };
  const Case cases[] = {
      {"Latin-1", "*fr.Foo A/\xE9t\xE9: \"\"\n",
       "*fr.PageSize B5/B5 \xE9t\xE9: \"\"\n", "\n"},
      {"Latin-1, CR LF", "*fr.Foo A/\xE9t\xE9: \"\"\n",
       "*fr.PageSize B5/B5 \xE9t\xE9: \"\"\n", "\r\n"},
      {"Shift-JIS", "*ja.Foo A/\x95\x5C\x8E\xA6: \"\"\n",
       "*ja.PageSize B5/B5 \x83\x54\x83\x43\x83\x59\x95\x5C: \"\"\n", "\n"},
      // In Windows-1252 C2 85 is "Â…", not a line break.
      {"Windows-1252 with 0x85", "*fr.Foo A/Voil\xC2\x85: \"\"\n",
       "*fr.PageSize B5/B5\xC2\x85 \x85 JIS: \"\"\n", "\n"},
  };
  fixture::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto withEol = [&](const std::string& text) {
      std::string out;
      for (char ch : text) {
        if (ch == '\n')
          out += c.eol;
        else
          out += ch;
      }
      return out;
    };
    const std::string size = "*PageSize B5/B5: \"\"\n";
    const std::string input = withEol(fixture::ppd(
        head + c.kept + size + c.removed + "*ISOCountryCode: \"US\"\n"));
    const fs::path path = dir.write("legacy.ppd", input);
    const std::string fr =
        withEol(fixture::ppd(head + c.kept)) + "*ISOCountryCode: \"FR\"\n\n";
    const RunResult france = fixture::runTool(path, "fr_FR.UTF-8");
    EXPECT_EQ(france.status, 0);
    EXPECT_EQ(france.err, "");
    EXPECT_EQ(france.out, fr);
    const RunResult japan = fixture::runTool(path, "ja_JP.UTF-8");
    EXPECT_EQ(japan.status, 0);
    EXPECT_EQ(japan.out, input + "\n");
  }
}

// Under any memory limit a run either adapts the PPD exactly as without one,
// or fails with status 1, a message and nothing written: never an abort, and
// never a PPD written unadapted because the parser ran out of memory.
TEST(MemoryLimit, EveryRunAdaptsOrFails) {
#ifdef PPDREGION_SANITIZED
  GTEST_SKIP()
      << "the sanitizers reserve far more address space than any limit here";
#else
  fixture::TempDir dir;
  std::string sizes =
      "*ColorDevice: True\n*cupsModelNumber: 10\n*DefaultDuplex: None\n"
      "*OpenUI *PageSize: PickOne\n*DefaultPageSize: A4\n";
  for (int i = 0; i < 3000; ++i) {
    const std::string n = std::to_string(i);
    sizes += "*PageSize S" + n + "/Size " + n + ": \"<</PageSize [" + n +
             " 842]>>\"\n";
    if (i % 4 == 0) sizes += "*fr.PageSize B5/JIS B5 " + n + ": \"\"\n";
  }
  sizes +=
      "*PageSize B5/B5: \"\"\n*PageSize A4/A4: \"\"\n*CloseUI: *PageSize\n";
  const fs::path ppd = dir.write("sizes.ppd", fixture::ppd(sizes));
  const RunResult unlimited = fixture::runTool(ppd, "fr_FR.UTF-8");
  ASSERT_EQ(unlimited.status, 0);
  ASSERT_FALSE(contains(unlimited.out, "B5"));

  // The least address space in which the program starts at all (its shared
  // libraries must map), in KiB, then limits from there to ample.
  const auto limited = [&](long kib, const char* args) {
    return shell(
        "ulimit -v " + std::to_string(kib) + " && exec \"$TOOL\" " + args, ppd);
  };
  long least = 4096;
  while (limited(least, "--version").status != 0) {
    least += 1024;
    ASSERT_LT(least, 1L << 20) << "the program does not start under any limit";
  }
  int adapted = 0;
  int refused = 0;
  for (long kib = least; kib <= least + 24L * 1024; kib += 512) {
    SCOPED_TRACE(kib);
    const RunResult result = limited(kib, "x \"$PPD\"");
    if (result.status == 0) {
      ++adapted;
      EXPECT_TRUE(result.out == unlimited.out);
      EXPECT_EQ(result.err, "");
    } else {
      ++refused;
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err,
                "ppdregion: " + ppd.string() + ": not enough memory\n");
    }
  }
  EXPECT_GT(adapted, 0);
  EXPECT_GT(refused, 0);
#endif
}

// Refusing an input takes the bytes it had to hold (the limit, for input
// that is too large), the program's own resident size and 2 MiB at most: not
// the limit twice over, not a buffer zero-filled to the size a gzip length
// claims, not a whole file read before its first NUL. Under an address-space
// limit that leaves room for the limit's worth, the reason stays the reason.
TEST(MemoryLimit, RefusalHoldsAtMostTheLimit) {
#ifdef PPDREGION_SANITIZED
  GTEST_SKIP() << "the sanitizers' own memory hides the program's";
#else
  fixture::TempDir dir;
  const long kLimitKib = 256L * 1024;
  const fs::path example =
      dir.write("example.ppd", fixture::readFile(kExample));
  ASSERT_EQ(fixture::run("gzip", {"-kn", example.string()}).status, 0);
  std::string lying = fixture::readFile(example.string() + ".gz");
  lying.replace(lying.size() - 4, 4, std::string("\0\0\0\x10", 4));  // 256 MiB
  // One gzip member of 257 MiB of text in about 260 KB, made quickly by
  // run-length matches only.
  std::string expanding;
  {
    z_stream stream{};
    ASSERT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_RLE),
              Z_OK);
    std::string mib(1 << 20, 'a');
    std::string out(1 << 20, '\0');
    for (int i = 0; i <= 257; ++i) {
      stream.next_in = reinterpret_cast<Bytef*>(mib.data());
      stream.avail_in = i < 257 ? static_cast<uInt>(mib.size()) : 0;
      do {
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, i < 257 ? Z_NO_FLUSH : Z_FINISH);
        expanding.append(out.data(), out.size() - stream.avail_out);
      } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
  }
  const fs::path zeros = dir.write("zeros.ppd", "");
  fs::resize_file(zeros, 200 << 20);  // sparse: takes no room

  const long own = shell("exec \"$TOOL\" x \"$PPD\"", kExample).peakKib;
  ASSERT_GT(own, 0);
  struct Case {
    const char* name;
    std::string script;
    fs::path ppd;
    std::string reason;
    long holdsKib;
  };
  const std::string tool = "\"$TOOL\" x \"$PPD\"";
  const Case cases[] = {
      {"endless stream", "yes '*% endless' | \"$TOOL\" x -", kExample,
       "standard input: larger than 256 MiB; not a PPD file", kLimitKib},
      {"gzip expanding past the limit", tool,
       dir.write("expanding.ppd.gz", expanding),
       "larger than 256 MiB; not a PPD file", kLimitKib},
      {"gzip whose length claims 256 MiB", tool,
       dir.write("lying.ppd.gz", lying),
       "compressed data is damaged (incorrect length check)", 0},
      {"200 MiB of NUL bytes", tool, zeros,
       "holds a NUL byte at offset 0; a PPD file is text", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult result = shell("ulimit -v 800000 && " + c.script, c.ppd);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    const std::string name = c.script == tool ? c.ppd.string() + ": " : "";
    EXPECT_EQ(result.err, "ppdregion: " + name + c.reason + "\n");
    EXPECT_LE(result.peakKib, c.holdsKib + own + 2048);
  }
#endif
}

}  // namespace
