// SPDX-License-Identifier: Apache-2.0
// The driver program's names, configuration, PPD lists and children.
#include "driver/driver.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fixture.h"
#include "runtime/country.h"
#include "runtime/input.h"

namespace {

using driver::PpdEntry;

TEST(RegionalName, CountryAndOriginal) {
  struct Case {
    std::string name;
    const char* country;  // empty: refused
    const char* original;
    const char* error;
  };
  const std::string longest = "ppdregion:FR/" + std::string(242, 'x');
  const Case cases[] = {
      {"ppdregion:FR/colorlaser.ppd", "FR", "colorlaser.ppd", ""},
      {"ppdregion:DE/drv:///sample.drv/generic.ppd", "DE",
       "drv:///sample.drv/generic.ppd", ""},
      {"ppdregion:JP/lsb/usr/acme/Acme Laser 5.ppd.gz", "JP",
       "lsb/usr/acme/Acme Laser 5.ppd.gz", ""},
      {"ppdregion:IT/gutenprint.5.3://escp2-p50/expert", "IT",
       "gutenprint.5.3://escp2-p50/expert", ""},
      {longest, "FR", longest.c_str() + 13, ""},
      {longest + "x", "", "", "the PPD name is longer than 255 bytes"},
      {"ppdregion:fr/colorlaser.ppd", "", "",
       "\"ppdregion:fr/colorlaser.ppd\" does not name a country in upper case "
       "(ppdregion:CC/ORIGINAL, CC such as FR)"},
      {"ppdregion:FRA/x.ppd", "", "", nullptr},
      {"ppdregion:F/x.ppd", "", "", nullptr},
      {"ppdregion:FR", "", "", nullptr},
      {"ppdregion:FR/", "", "", "\"ppdregion:FR/\" names no original PPD"},
      {"ppdregion:FR/ppdregion:FR/colorlaser.ppd", "", "",
       "\"ppdregion:FR/ppdregion:FR/colorlaser.ppd\" names another ppdregion: "
       "PPD "
       "as its original"},
      {"colorlaser.ppd", "", "",
       "\"colorlaser.ppd\" does not begin with ppdregion:"},
      {"PPDREGION:FR/colorlaser.ppd", "", "", nullptr},
      {"ppdregion:FR/a\"b.ppd", "", "",
       "the PPD name holds a character that is not printable ASCII, or a \""},
      {"ppdregion:FR/\xC3\xA9t\xC3\xA9.ppd", "", "", nullptr},
      {"ppdregion:FR/a\tb.ppd", "", "", nullptr},
      {"ppdregion:FR/a\nb.ppd", "", "", nullptr},
      // Queues CUPS makes itself, with no PPD from cups-driverd.
      {"ppdregion:FR/everywhere", "", "",
       "\"ppdregion:FR/everywhere\": CUPS makes everywhere queues itself, "
       "without a PPD file from cups-driverd; use -m everywhere"},
      {"ppdregion:FR/raw", "", "",
       "\"ppdregion:FR/raw\": CUPS makes raw queues itself, without a PPD "
       "file from cups-driverd; use -m raw"},
      {"ppdregion:FR/raw.ppd", "FR", "raw.ppd", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const driver::NameResult result = driver::parseRegionalName(c.name);
    EXPECT_EQ(result.name.country, c.country);
    EXPECT_EQ(result.name.original, c.original);
    EXPECT_EQ(result.error.empty(), *c.country != '\0');
    if (c.error != nullptr) {
      EXPECT_EQ(result.error, c.error);
    }
    if (result.error.empty()) {
      EXPECT_EQ(driver::regionalName(c.country, c.original), c.name);
    }
  }
  EXPECT_EQ(driver::regionalName("FR", std::string(243, 'x')), "");
  EXPECT_EQ(driver::regionalName("FR", "a\"b"), "");
}

TEST(Configuration, Lines) {
  const char* const kOwnPpds = "PPDs of this program are never offered again";
  const char* const kMadeByCups = "queues itself, without a PPD file";
  const char* const kUnknown =
      "unknown line (Country CC, Offer PATTERN or DefaultPaper Yes|No "
      "expected)";
  struct Case {
    const char* text;
    const char* country;
    std::vector<std::string> patterns;
    std::vector<std::string> warnings;
    bool defaultPaper = true;
  };
  const Case cases[] = {
      {"# offered by ppdregion\n\nCountry FR\nOffer lsb/usr/acme/*\n",
       "FR",
       {"lsb/usr/acme/*"},
       {}},
      {"  country\tde  \r\nOFFER   drv:///sample.drv/* \n",
       "DE",
       {"drv:///sample.drv/*"},
       {}},
      {"Offer Acme Laser *.ppd\nOffer gutenprint.5.3://*",
       "",
       {"Acme Laser *.ppd", "gutenprint.5.3://*"},
       {}},
      {"Country FR\nCountry IT\nCountry fr\n",
       "FR",
       {},
       {"a.conf:2: Country IT ignored: the country is already FR, from "
        "a.conf:1",
        "a.conf:3: Country FR ignored: the country is already FR, from "
        "a.conf:1"}},
      {"Country\nCountry FRA\nCountry F1\n",
       "",
       {},
       {"a.conf:1: Country needs a country code (two letters, such as FR)",
        "a.conf:2: Country needs a country code (two letters, such as FR)",
        "a.conf:3: Country needs a country code (two letters, such as FR)"}},
      {"Offer\nOffer   \n",
       "",
       {},
       {"a.conf:1: Offer needs a pattern of PPD names",
        "a.conf:2: Offer needs a pattern of PPD names"}},
      {"Offers *\nCountry=FR\n# Offer *\n  # Country DE\n",
       "",
       {},
       {"a.conf:1: " + std::string(kUnknown),
        "a.conf:2: " + std::string(kUnknown)}},
      // The default paper is on unless the first DefaultPaper says no.
      {"defaultpaper no\nDefaultPaper Yes\nDefaultPaper maybe\n",
       "",
       {},
       {"a.conf:2: DefaultPaper Yes ignored: already set at a.conf:1",
        "a.conf:3: DefaultPaper needs Yes or No"},
       false},
      // A comment after a value; blanks inside a pattern are part of it; a
      // `#` inside a word is not a comment.
      {"Country FR # France\nOffer Acme Laser *.ppd # the lasers\n"
       "Offer lsb/x#1.ppd\t#\n",
       "FR",
       {"Acme Laser *.ppd", "lsb/x#1.ppd"},
       {}},
      // Double quotes hold a pattern as it is.
      {"Offer \"a #1.ppd \" # note\nOffer \"x\"y\nOffer \"x\nOffer x\"y\n",
       "",
       {"a #1.ppd "},
       {"a.conf:2: Offer ignored: a value in double quotes ends at the second "
        "quote",
        "a.conf:3: Offer ignored: a value in double quotes ends at the second "
        "quote",
        "a.conf:4: Offer x\"y ignored: no PPD name holds a \""}},
      // Lines that could have no effect say why.
      {"Offer a*\nOffer a* # again\nOffer ppdregion:FR/*\nOffer everywhere\n"
       "Offer raw\nOffer # nothing\n",
       "",
       {"a*"},
       {"a.conf:2: Offer a* ignored: already offered at a.conf:1",
        "a.conf:3: Offer ppdregion:FR/* ignored: " + std::string(kOwnPpds),
        "a.conf:4: Offer everywhere ignored: CUPS makes everywhere " +
            std::string(kMadeByCups),
        "a.conf:5: Offer raw ignored: CUPS makes raw " +
            std::string(kMadeByCups),
        "a.conf:6: Offer needs a pattern of PPD names"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    driver::Configuration configuration;
    driver::readConfiguration(c.text, "a.conf", configuration);
    EXPECT_EQ(configuration.country, c.country);
    EXPECT_EQ(configuration.patterns, c.patterns);
    EXPECT_EQ(configuration.warnings, c.warnings);
    EXPECT_EQ(configuration.defaultPaper, c.defaultPaper);
  }
}

// What stands at a path of the configuration, made in a scratch folder.
enum class Kind { kFile, kFifo, kZeroLink, kFolder, kDanglingLink, kLarge };

void make(const std::filesystem::path& path, Kind kind,
          const std::string& text) {
  namespace fs = std::filesystem;
  switch (kind) {
    case Kind::kFile:
      std::ofstream(path, std::ios::binary) << text;
      return;
    case Kind::kFifo:
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
      return;
    case Kind::kZeroLink:
      fs::create_symlink("/dev/zero", path);
      return;
    case Kind::kFolder:
      fs::create_directory(path);
      return;
    case Kind::kDanglingLink:
      fs::create_symlink(path.string() + ".missing", path);
      return;
    case Kind::kLarge:
      std::ofstream(path, std::ios::binary)
          << text << "#" << std::string(runtime::kMaxSmallFileSize, 'x')
          << "\n";
      return;
  }
}

// Only regular files of at most 1 MiB are read, links followed; anything
// else is skipped with a warning, at once.
TEST(Configuration, Files) {
  struct Case {
    const char* what;
    Kind main;    // ppdregion.conf
    Kind dropIn;  // ppdregion.d/b.conf, beside a good a.conf
    std::vector<std::string> patterns;
    std::vector<std::string> warnings;  // after the server root's path
  };
  const Case cases[] = {
      {"files", Kind::kFile, Kind::kFile, {"m*", "a*", "b*"}, {}},
      {"FIFO",
       Kind::kFile,
       Kind::kFifo,
       {"m*", "a*"},
       {"/ppdregion.d/b.conf: a FIFO, not a file; ignored"}},
      {"/dev/zero",
       Kind::kFile,
       Kind::kZeroLink,
       {"m*", "a*"},
       {"/ppdregion.d/b.conf: a device, not a file; ignored"}},
      {"folder",
       Kind::kFile,
       Kind::kFolder,
       {"m*", "a*"},
       {"/ppdregion.d/b.conf: a folder, not a file; ignored"}},
      {"large",
       Kind::kFile,
       Kind::kLarge,
       {"m*", "a*"},
       {"/ppdregion.d/b.conf: larger than 1 MiB; ignored"}},
      {"main folder",
       Kind::kFolder,
       Kind::kFile,
       {"a*", "b*"},
       {"/ppdregion.conf: a folder, not a file; ignored"}},
      {"main dangling",
       Kind::kDanglingLink,
       Kind::kFile,
       {"a*", "b*"},
       {"/ppdregion.conf: a link to nothing; ignored"}},
      {"main FIFO",
       Kind::kFifo,
       Kind::kFile,
       {"a*", "b*"},
       {"/ppdregion.conf: a FIFO, not a file; ignored"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fixture::TempDir root;
    std::filesystem::create_directory(root.path() / "ppdregion.d");
    make(root.path() / "ppdregion.conf", c.main, "Offer m*\n");
    root.write("ppdregion.d/a.conf", "Offer a*\n");
    make(root.path() / "ppdregion.d/b.conf", c.dropIn, "Offer b*\n");
    const auto start = std::chrono::steady_clock::now();
    const driver::Configuration configuration =
        driver::loadConfiguration(root.path().string());
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::seconds(2));
    EXPECT_EQ(configuration.patterns, c.patterns);
    std::vector<std::string> warnings;
    for (const std::string& warning : c.warnings)
      warnings.push_back(root.path().string() + warning);
    EXPECT_EQ(configuration.warnings, warnings);
  }
}

TEST(Configuration, WhatIsOffered) {
  driver::Configuration configuration;
  driver::readConfiguration(
      "Offer lsb/usr/acme/*\nOffer drv:///sample.drv/*\nOffer "
      "gutenprint.5.3://*\n"
      "Offer color?aser.ppd\nOffer *ppdregion*\n",
      "a.conf", configuration);
  struct Case {
    const char* name;
    bool offered;
  };
  const Case cases[] = {
      {"lsb/usr/acme/laser.ppd", true},
      {"lsb/usr/acme/deep/er.ppd.gz", true},
      {"lsb/usr/acmex/laser.ppd", false},
      {"drv:///sample.drv/generic.ppd", true},
      {"drv:///other.drv/generic.ppd", false},
      {"gutenprint.5.3://escp2-p50/expert", true},
      {"gutenprint.5.2://escp2-p50", false},
      {"colorlaser.ppd", true},
      {"colorlaser.ppd.gz", false},
      {"my-ppdregion.ppd", true},
      {"ppdregion:FR/colorlaser.ppd", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(driver::isOffered(configuration, c.name), c.offered);
  }
}

TEST(Configuration, DriverProgramOfAnOffer) {
  struct Case {
    const char* pattern;
    const char* program;
  };
  const Case cases[] = {
      {"gutenprint.5.3://*", "gutenprint.5.3"},
      {"foomatic-db-compressed-ppds:*", "foomatic-db-compressed-ppds"},
      {"hplip:0/ppd/hplip/HP/*", "hplip"},
      {"drv:///sample.drv/*", ""},
      {"file:/x.tar/*", ""},
      {"ppdregion:FR/*", ""},
      {"lsb/usr/acme/*", ""},
      {"guten*://*", ""},
      {"*:*", ""},
      {":x", ""},
      {"../../bin/sh:x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(driver::driverProgramOf(c.pattern), c.program);
  }
}

void expectEntry(const std::optional<PpdEntry>& entry,
                 const PpdEntry& expected) {
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->name, expected.name);
  EXPECT_EQ(entry->languages, expected.languages);
  EXPECT_EQ(entry->make, expected.make);
  EXPECT_EQ(entry->makeAndModel, expected.makeAndModel);
  EXPECT_EQ(entry->deviceId, expected.deviceId);
  EXPECT_EQ(entry->product, expected.product);
  EXPECT_EQ(entry->psVersion, expected.psVersion);
  EXPECT_EQ(entry->type, expected.type);
}

TEST(PpdLists, DumpRows) {
  EXPECT_TRUE(driver::isDumpHeader(
      "mtime,size,model_number,type,filename,name,languages0,products0,"
      "psversions0,make,make_and_model,device_id,scheme"));
  EXPECT_FALSE(
      driver::isDumpHeader("mtime,size,model_number,type,filename,name"));
  EXPECT_FALSE(driver::isDumpHeader(""));

  const PpdEntry laser = {"colorlaser.ppd",
                          "en",
                          "Acme",
                          "Acme ColorLaser 10, 1.0",
                          "MFG:Acme;MDL:CL10;",
                          "ColorLaser 10",
                          "(3010.000) 0",
                          "postscript"};
  struct Case {
    const char* row;
    std::optional<PpdEntry> entry;
  };
  const Case cases[] = {
      {"1765000000,12345,10,0,\"/srv/model/"
       "colorlaser.ppd\",\"colorlaser.ppd\",\"en\","
       "\"ColorLaser 10\",\"(3010.000) 0\",\"Acme\",\"Acme ColorLaser 10, "
       "1.0\","
       "\"MFG:Acme;MDL:CL10;\",\"file\"",
       laser},
      {"0,0,0,2,\"/usr/share/cups/drv/sample.drv\",\"drv:///sample.drv/"
       "dymo.ppd\",\"en\","
       "\"\",\"\",\"Dymo\",\"Dymo Label Printer\",\"\",\"drv\"",
       PpdEntry{"drv:///sample.drv/dymo.ppd", "en", "Dymo",
                "Dymo Label Printer", "", "", "", "raster"}},
      {"-1,0,0,4,\"f\",\"n\",\"de\",\"\",\"\",\"\",\"\",\"\",\"\"",
       PpdEntry{"n", "de", "", "", "", "", "", "object"}},
      // The .drv file and an archive themselves, and types CUPS does not know.
      {"0,0,0,5,\"/usr/share/cups/drv/sample.drv\",\"/usr/share/cups/drv/"
       "sample.drv\","
       "\"\",\"\",\"\",\"\",\"\",\"\",\"drv\"",
       std::nullopt},
      {"0,0,0,6,\"a.tar\",\"a.tar\",\"\",\"\",\"\",\"\",\"\",\"\",\"file\"",
       std::nullopt},
      {"0,0,0,7,\"f\",\"n\",\"en\",\"\",\"\",\"\",\"\",\"\",\"\"",
       std::nullopt},
      {"0,0,0,-1,\"f\",\"n\",\"en\",\"\",\"\",\"\",\"\",\"\",\"\"",
       std::nullopt},
      // A " inside a field, whichever way it falls.
      {"0,0,0,0,\"f\",\"n\",\"en\",\"\",\"\",\"Acme\",\"Acme 5\" "
       "Laser\",\"\",\"file\"",
       std::nullopt},
      {"0,0,0,0,\"f\",\"n\",\"en\",\"\",\"\",\"Acme\",\"Acme\",\"Laser\",\"\","
       "\"file\"",
       std::nullopt},
      // Missing, extra or empty fields.
      {"0,0,0,0,\"f\",\"n\",\"en\",\"\",\"\",\"Acme\",\"Acme\",\"\"",
       std::nullopt},
      {"0,0,0,0,\"f\",\"n\",\"en\",\"\",\"\",\"Acme\",\"Acme\",\"\",\"file\","
       "\"x\"",
       std::nullopt},
      {"0,0,0,\"f\",\"n\",\"en\",\"\",\"\",\"Acme\",\"Acme\",\"\",\"file\"",
       std::nullopt},
      {"0,0,0,0,\"f\",\"\",\"en\",\"\",\"\",\"Acme\",\"Acme\",\"\",\"file\"",
       std::nullopt},
      {"0,0,x,0,\"f\",\"n\",\"en\",\"\",\"\",\"Acme\",\"Acme\",\"\",\"file\"",
       std::nullopt},
      {"0,0,0,0,f,\"n\",\"en\",\"\",\"\",\"Acme\",\"Acme\",\"\",\"file\"",
       std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    const std::optional<PpdEntry> entry = driver::parseDumpRow(c.row);
    EXPECT_EQ(entry.has_value(), c.entry.has_value());
    if (c.entry) expectEntry(entry, *c.entry);
  }
}

// Read as cups-driverd reads a driver program's list.
TEST(PpdLists, ListLines) {
  const std::string long127(127, 'm');
  struct Case {
    std::string line;
    std::optional<PpdEntry> entry;
  };
  const Case cases[] = {
      {"\"g://a\" en,fr \"Acme\" \"Acme A\" \"MFG:Acme;\" \"A\" \"(3010) 0\" "
       "\"raster\"",
       PpdEntry{"g://a", "en,fr", "Acme", "Acme A", "MFG:Acme;", "A",
                "(3010) 0", "raster"}},
      {"\"g://a\"\ten\t\"Acme\"\t\"Acme A\"",
       PpdEntry{"g://a", "en", "Acme", "Acme A", "", "", "", "postscript"}},
      // An empty field ends the line: the fields after it are lost.
      {"\"g://a\" en \"Acme\" \"Acme A\" \"\" \"A\" \"(3010) 0\" \"raster\"",
       PpdEntry{"g://a", "en", "Acme", "Acme A", "", "", "", "postscript"}},
      {"\"g://a\" en \"Acme\" \"Acme A\"\"MFG:x;\"",
       PpdEntry{"g://a", "en", "Acme", "Acme A", "", "", "", "postscript"}},
      // A field longer than cups-driverd keeps is cut and ends the line.
      {"\"g://a\" en \"Acme\" \"" + long127 + "mm\" \"MFG:x;\"",
       PpdEntry{"g://a", "en", "Acme", long127, "", "", "", "postscript"}},
      // Bad lines: fewer than four fields.
      {"\"g://a\" en \"Acme\" \"\"", std::nullopt},
      {"\"g://a\" en \"\" \"Acme A\"", std::nullopt},
      {"\"g://a\" en \"Acme\"", std::nullopt},
      {"\"g://a\" \"Acme\" \"Acme A\"", std::nullopt},
      {" \"g://a\" en \"Acme\" \"Acme A\"", std::nullopt},
      {"\"\" en \"Acme\" \"Acme A\"", std::nullopt},
      {"\"g://a\" " + std::string(128, 'e') + " \"Acme\" \"Acme A\"",
       std::nullopt},
      {"\"" + std::string(256, 'n') + "\" en \"Acme\" \"Acme A\"",
       std::nullopt},
      {"\"g://a\" en \"Acme \"5\"\" \"Acme A\"", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::optional<PpdEntry> entry = driver::parseListLine(c.line);
    EXPECT_EQ(entry.has_value(), c.entry.has_value());
    if (c.entry) expectEntry(entry, *c.entry);
  }
}

std::vector<std::string> namesOf(const driver::EntryList& list) {
  std::vector<std::string> names;
  for (const PpdEntry& entry : list.entries) names.push_back(entry.name);
  return names;
}

// Whole outputs: which entries they give, and what they warn about.
TEST(PpdLists, WholeOutputs) {
  const std::string header =
      "mtime,size,model_number,type,filename,name,languages0,products0,"
      "psversions0,make,make_and_model,device_id,scheme";
  const auto row = [](const std::string& name) {
    return "0,0,0,0,\"f\",\"" + name +
           "\",\"en\",\"\",\"\",\"Acme\",\"Acme A\",\"\",\"file\"";
  };
  const auto listLine = [](const std::string& name) {
    return "\"" + name + "\" en \"Acme\" \"Acme A\"";
  };
  struct Case {
    const char* what;
    bool dump;  // else a driver program's list
    std::string text;
    std::vector<std::string> names;
    std::vector<std::string> warnings;
  };
  const Case cases[] = {
      {"dump",
       true,
       header + "\n" + row("a") + "\r\n\n" + row("b"),
       {"a", "b"},
       {}},
      {"dump rows that do not parse",
       true,
       header + "\n" + row("a") + "\nx\n" + row("b") + "\n",
       {"a", "b"},
       {}},
      {"unknown header",
       true,
       row("a") + "\n" + row("b") + "\n",
       {},
       {"cups-driverd dump: unknown header; its PPDs are not offered"}},
      {"empty dump", true, "", {}, {}},
      {"list",
       false,
       listLine("g://a") + "\r\n\n" + listLine("g://b"),
       {"g://a", "g://b"},
       {}},
      {"a bad line ends the list",
       false,
       listLine("g://a") + "\n\"g://x\" en\n" + listLine("g://b") + "\n",
       {"g://a"},
       {"/d/g list: bad line: \"g://x\" en"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const driver::EntryList list =
        c.dump ? driver::readDump(c.text) : driver::readList(c.text, "/d/g");
    EXPECT_EQ(namesOf(list), c.names);
    EXPECT_EQ(list.warnings, c.warnings);
  }
}

// What list offers: each matched name once, and why an Offer line had no
// effect.
TEST(PpdLists, OfferList) {
  driver::Configuration configuration;
  driver::readConfiguration(
      "Offer a*\nOffer b*\nOffer Acme Laser *.ppd\nOffer c?\n", "a.conf",
      configuration);
  driver::OfferList offers(configuration, "FR");
  const auto entry = [](const std::string& name) {
    return PpdEntry{name, "en", "Acme", "A", "", "", "", "pdf"};
  };
  struct Case {
    std::string name;
    std::string why;
  };
  const Case cases[] = {
      {"a1", ""},
      {"x", ""},
      {"a1", ""},  // already offered: once only
      {"ppdregion:FR/a1", ""},
      {"a" + std::string(243, 'n'),
       "cannot offer \"a" + std::string(243, 'n') +
           "\": its name is too long or not printable ASCII"},
      {"b1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(offers.add(entry(c.name)), c.why);
  }
  EXPECT_EQ(offers.text(), driver::regionalListLine(entry("a1"), "FR") +
                               driver::regionalListLine(entry("b1"), "FR"));
  EXPECT_EQ(offers.unmatchedOffers(),
            (std::vector<std::string>{
                "a.conf:3: Offer Acme Laser *.ppd matches no PPD that CUPS "
                "lists",
                "a.conf:4: Offer c? matches no PPD that CUPS lists"}));
}

// What list writes reads back, as cups-driverd reads it, with every field.
TEST(PpdLists, OfferedLines) {
  const std::string umlaut = "\xC3\xBC";
  struct Case {
    PpdEntry original;
    std::string line;
  };
  const Case cases[] = {
      {{"colorlaser.ppd", "en", "Acme", "Acme ColorLaser 10", "MFG:Acme;",
        "CL 10", "(3010) 0", "postscript"},
       "\"ppdregion:FR/colorlaser.ppd\" en \"Acme\" \"Acme ColorLaser 10, FR "
       "region\" "
       "\"MFG:Acme;\" \"CL 10\" \"(3010) 0\" \"postscript\"\n"},
      {{"drv:///sample.drv/dymo.ppd", "en,de", "", "Dymo", "", "", "",
        "raster"},
       "\"ppdregion:FR/drv:///sample.drv/dymo.ppd\" en,de \" \" \"Dymo, FR "
       "region\" \" \" "
       "\" \" \" \" \"raster\"\n"},
      // The make and model is cut, between UTF-8 characters, to fit.
      {{"x.ppd", "de", "Acme", std::string(115, 'm') + umlaut + "zz", "", "",
        "", "pdf"},
       "\"ppdregion:FR/x.ppd\" de \"Acme\" \"" + std::string(115, 'm') +
           ", FR region\" \" \" \" \" \" \" \"pdf\"\n"},
      {{std::string(243, 'n'), "en", "Acme", "A", "", "", "", "pdf"}, ""},
      {{"\xC3\xA9t\xC3\xA9.ppd", "en", "Acme", "A", "", "", "", "pdf"}, ""},
      {{"x.ppd", "", "Acme", "A", "", "", "", "pdf"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.original.name);
    const std::string line = driver::regionalListLine(c.original, "FR");
    EXPECT_EQ(line, c.line);
    if (line.empty()) continue;
    const std::optional<PpdEntry> read =
        driver::parseListLine(line.substr(0, line.size() - 1));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->name, "ppdregion:FR/" + c.original.name);
    EXPECT_EQ(read->type, c.original.type);
  }
}

// What a child writes, how it ends, and the deadline: every child is done
// with by the deadline, even when a process in a session of its own holds
// its output, and output that is refused ends it at once.
TEST(Children, OutputStatusAndDeadline) {
  using std::chrono::milliseconds;
  fixture::TempDir dir;
  const std::string pidFile = (dir.path() / "pid").string();
  struct Case {
    std::string script;
    const char* out;
    const char* error;
    milliseconds most;  // how long the run may take
  };
  const char* const late = "gave no answer within 2 s and was stopped";
  const Case cases[] = {
      {"echo '*PPD-Adobe: \"4.3\"'", "*PPD-Adobe: \"4.3\"\n", "",
       milliseconds(1500)},
      {"echo half; exit 3", "", "exited with status 3", milliseconds(1500)},
      {"kill -TERM $$", "", "was killed by signal Terminated",
       milliseconds(1500)},
      // Its own child holds the pipe too: the whole group goes.
      {"echo partial; sleep 30 & sleep 30", "", late, milliseconds(3500)},
      {"exec >&-; sleep 30", "", late, milliseconds(3500)},
      // A process in a session of its own holds the pipe after the child
      // has ended: the reads end at the deadline all the same.
      {"setsid sleep 8 & echo $! >" + pidFile + "; echo partial", "", late,
       milliseconds(3500)},
      // Refused output: the child is stopped at once, with the reason.
      {"printf '*PPD-Adobe\\000'; sleep 30", "",
       "holds a NUL byte at offset 10; a PPD file is text", milliseconds(1500)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const auto start = std::chrono::steady_clock::now();
    const driver::ChildOutput output =
        driver::runChild("/bin/sh", {"sh", "-c", c.script},
                         driver::Deadline::in(std::chrono::seconds(2)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, c.most);
    EXPECT_EQ(output.text, c.out);
    EXPECT_EQ(output.error, c.error);
  }
  // The process in its own session is not this one's to keep.
  const std::string pid = fixture::readFile(pidFile);
  if (!pid.empty()) kill(std::stoi(pid), SIGKILL);
  EXPECT_EQ(driver::runChild("/nonexistent", {"x"},
                             driver::Deadline::in(std::chrono::seconds(2)))
                .error,
            "No such file or directory");
}

// The driver program's `cat`, with a cups-driverd of the test's own.
class DriverProgram {
 public:
  /// A folder of programs whose daemon/cups-driverd runs `script` (sh).
  explicit DriverProgram(const std::string& script) {
    std::filesystem::create_directory(dir_.path() / "daemon");
    const std::filesystem::path driverd =
        dir_.write("daemon/cups-driverd", "#!/bin/sh\n" + script + "\n");
    std::filesystem::permissions(driverd, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
  }

  /// Runs `cat NAME` with the folder as CUPS' programs and configuration.
  fixture::RunResult cat(const std::string& name) const {
    return fixture::run(PPDREGION_DRIVER_BINARY, {"cat", name},
                        {{"CUPS_SERVERBIN", dir_.path().string()},
                         {"CUPS_SERVERROOT", dir_.path().string()}});
  }

  /// Writes ppdregion.conf in the folder.
  void configure(std::string_view text) const {
    dir_.write("ppdregion.conf", text);
  }

  /// The process whose id the script wrote to `file` in the folder, stopped
  /// if it still runs; whether it did.
  bool stopIfRunning(const std::string& file) const {
    const std::string pid = fixture::readFile(dir_.path() / file);
    if (pid.empty()) return false;
    return kill(std::stoi(pid), SIGKILL) == 0;
  }

  std::string path(const std::string& file) const {
    return (dir_.path() / file).string();
  }

 private:
  fixture::TempDir dir_;
};

// cat writes the bytes the command writes for the country, or fails with an
// ERROR line; nothing it starts outlives it.
TEST(DriverProgram, Cat) {
  const std::string example = fixture::kExample.string();
  const fixture::RunResult command = fixture::run(
      fixture::kTool, {"--country", "FR", "--default-paper", "x", example});
  ASSERT_EQ(command.status, 0);
  const fixture::RunResult noPaper =
      fixture::run(fixture::kTool, {"--country", "FR", "x", example});
  ASSERT_NE(noPaper.out, command.out);
  fixture::TempDir dir;
  const std::string refused = dir.write("refused.ppd",
                                        "*PPD-Adobe: \"4.3\"\n"
                                        "*OpenGroup: A\n"
                                        "*OpenGroup: B\n")
                                  .string();
  struct Case {
    const char* name;
    std::string script;
    int status;
    std::string out;
    const char* err;  // what its standard error holds
    const char* configuration = "";
  };
  const Case cases[] = {
      {"ppdregion:FR/x.ppd", "cat '" + example + "'", 0, command.out,
       "DEBUG: [ppdregion] *DefaultPageSize changed from Letter to A4\n"},
      {"ppdregion:FR/x.ppd", "cat '" + example + "'", 0, noPaper.out,
       "DEBUG: [ppdregion] *ISOCountryCode set to \"FR\"\n",
       "DefaultPaper No\n"},
      {"ppdregion:FR/x.ppd", "cat '" + refused + "'", 1, "",
       "ERROR: [ppdregion] cups-driverd cat \"x.ppd\" gave a PPD file that "
       "libcups cannot read\n"},
      {"ppdregion:FR/everywhere", "exit 1", 1, "",
       "CUPS makes everywhere queues itself"},
      {"ppdregion:FR/raw", "exit 1", 1, "", "CUPS makes raw queues itself"},
      // A process it leaves in a session of its own is stopped too.
      {"ppdregion:FR/x.ppd",
       "setsid sleep 300 </dev/null >/dev/null 2>&1 & echo $! >grandchild; "
       "cat '" +
           example + "'",
       0, command.out, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const DriverProgram driver("cd \"$(dirname \"$0\")/..\"\n" + c.script);
    driver.configure(c.configuration);
    const fixture::RunResult run = driver.cat(c.name);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_TRUE(fixture::contains(run.err, c.err)) << run.err;
    EXPECT_FALSE(driver.stopIfRunning("grandchild"));
  }
}

// Stopped by a signal, the driver program stops its child, the child's group
// and what the child left in a session of its own, then ends by the signal.
TEST(DriverProgram, SignalStopsEveryChild) {
  for (const char* signal : {"TERM", "INT", "HUP"}) {
    SCOPED_TRACE(signal);
    const DriverProgram driver(
        "cd \"$(dirname \"$0\")/..\"\n"
        "setsid sleep 300 </dev/null >/dev/null 2>&1 & echo $! >grandchild\n"
        "sleep 300 & echo $! >member\n"
        "echo $$ >driverd\nwait");
    const fixture::RunResult run = fixture::run(
        "/bin/sh",
        {"-c",
         "\"$0\" cat ppdregion:FR/x.ppd & driver=$!\n"
         "for i in $(seq 100); do [ -s \"$1\" ] && break; sleep 0.05; done\n"
         "kill -" +
             std::string(signal) + " $driver; wait $driver",
         PPDREGION_DRIVER_BINARY, driver.path("driverd")},
        {{"CUPS_SERVERBIN", driver.path("")}});
    EXPECT_EQ(run.status, 128 + (std::string(signal) == "TERM"  ? SIGTERM
                                 : std::string(signal) == "INT" ? SIGINT
                                                                : SIGHUP));
    EXPECT_TRUE(
        fixture::contains(run.err, "ERROR: [ppdregion] stopped by a signal"))
        << run.err;
    EXPECT_FALSE(driver.stopIfRunning("driverd"));
    EXPECT_FALSE(driver.stopIfRunning("member"));
    EXPECT_FALSE(driver.stopIfRunning("grandchild"));
  }
}

}  // namespace
