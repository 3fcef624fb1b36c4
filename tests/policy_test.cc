// SPDX-License-Identifier: Apache-2.0
#include "policy/policy.h"

#include <gtest/gtest.h>

#include <vector>

#include "fixture.h"

namespace {

using namespace policy;
using fixture::lines;
using Names = std::vector<std::string_view>;

TEST(ClassifyPrinter, FromColorDeviceAndModelNumber) {
  struct Case {
    const char* body;
    PrinterKind kind;
    int modelNumber;
  };
  const Case cases[] = {
      {"*ColorDevice: True\n*cupsModelNumber: 9\n", PrinterKind::ColorLaser, 9},
      {"*ColorDevice: False\n*cupsModelNumber: 12\n", PrinterKind::MonoLaser,
       12},
      {"*cupsModelNumber: 13\n", PrinterKind::MonoLaser, 13},
      {"*ColorDevice: True\n", PrinterKind::ColorLaser, 0},
      {"*ColorDevice: True\n*cupsModelNumber: -3\n", PrinterKind::ColorLaser,
       -3},
      {"*ColorDevice: True\r\n*cupsModelNumber: 10\r\n",
       PrinterKind::ColorLaser, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    const std::optional<Printer> printer =
        classifyPrinter(fixture::ppd(c.body), "");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->kind, c.kind);
    EXPECT_EQ(printer->modelNumber, c.modelNumber);
  }
  for (const char* refused : {"", "Not a PPD\n"}) {
    SCOPED_TRACE(refused);
    EXPECT_FALSE(classifyPrinter(refused, ""));
  }
}

TEST(ClassifyPrinter, LongEdgeDuplexConflictsWithTheDefaults) {
  const auto duplex = [](std::string_view keyword, std::string_view choice) {
    const std::string k(keyword);
    return lines({"*OpenUI *" + k + ": PickOne",
                  "*Default" + k + ": " + std::string(choice),
                  "*" + k + " None/Off: \"\"",
                  "*" + k + " DuplexNoTumble/Long: \"\"",
                  "*" + k + " DuplexTumble/Short: \"\"", "*CloseUI: *" + k});
  };
  const std::string sizes =
      lines({"*OpenUI *PageSize: PickOne", "*DefaultPageSize: EnvChou3",
             "*PageSize A4/A4: \"\"", "*PageSize EnvChou3/Env: \"\"",
             "*CloseUI: *PageSize"});
  const std::string duplexer =
      lines({"*OpenUI *Option1/Duplexer: Boolean", "*DefaultOption1: False",
             "*Option1 False/No: \"\"", "*Option1 True/Yes: \"\"",
             "*CloseUI: *Option1"});
  struct Case {
    const char* name;
    std::string body;
    bool duplex, vendorDuplex;  // longEdgeConflicts
  };
  const Case cases[] = {
      {"none", sizes + duplex("Duplex", "None"), false, false},
      {"with the default size",
       sizes + duplex("Duplex", "None") +
           lines({"*UIConstraints: *PageSize EnvChou3 *Duplex DuplexNoTumble"}),
       true, false},
      {"with another size",
       sizes + duplex("Duplex", "None") +
           lines({"*UIConstraints: *PageSize A4 *Duplex DuplexNoTumble"}),
       false, false},
      {"cupsUIConstraints, other letter case",
       sizes + duplex("Duplex", "None") +
           lines({"*cupsUIConstraints a: \"*duplex duplexnotumble *PageSize "
                  "envchou3\""}),
       true, false},
      {"a duplexer not installed by default",
       duplexer + duplex("Duplex", "None") +
           lines({"*UIConstraints: *Option1 False *Duplex"}),
       true, false},
      {"the vendor's copy",
       sizes + duplex("QVDuplex", "None") +
           lines(
               {"*UIConstraints: *PageSize EnvChou3 *QVDuplex DuplexNoTumble"}),
       false, true},
      {"a conflict the defaults already have",
       sizes + duplexer + duplex("Duplex", "None") +
           lines({"*UIConstraints: *PageSize EnvChou3 *Option1 False"}),
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string colour10 = "*ColorDevice: True\n*cupsModelNumber: 10\n";
    const std::optional<Printer> printer =
        classifyPrinter(fixture::ppd(colour10 + c.body), "FR");
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->longEdgeConflicts[0], c.duplex);
    EXPECT_EQ(printer->longEdgeConflicts[1], c.vendorDuplex);
  }
}

// The removal lists, written out in full as the tables give them.
const Names kJapan = {
    "Executive", "210x270mm",  "195x270mm",          "184x260mm", "197x273mm",
    "ISOB5",     "3x5",        "FanFoldGermanLegal", "Env10",     "EnvDL",
    "EnvC5",     "EnvMonarch", "EnvPRC5Rotated"};
const Names kColorCN = {"210x270mm", "Postcard", "EnvYou4", "EnvChou3"};
const Names kColorTW = {"195x270mm", "184x260mm", "197x273mm",
                        "Postcard",  "EnvYou4",   "EnvChou3"};
const Names kColorKR = {"210x270mm", "195x270mm", "184x260mm", "197x273mm",
                        "Postcard",  "EnvYou4",   "EnvChou3"};
const Names kColorKR8 = {"210x270mm", "195x270mm", "184x260mm",
                         "197x273mm", "Postcard",  "EnvYou4",
                         "EnvChou3",  "B6",        "B5"};
const Names kColorOther = {"210x270mm", "195x270mm", "184x260mm", "197x273mm",
                           "B6",        "Postcard",  "EnvYou4",   "EnvChou3"};
const Names kColorOther8 = {"210x270mm", "195x270mm", "184x260mm", "197x273mm",
                            "B6",        "Postcard",  "EnvYou4",   "EnvChou3",
                            "B6",        "B5"};
const Names kMonoCN = {"210x270mm", "Postcard", "EnvYou4", "EnvChou3",
                       "EnvChou4"};
const Names kMonoCN12 = {"210x270mm", "Postcard", "EnvYou4",
                         "EnvChou3",  "EnvChou4", "3x5"};
const Names kMonoTW = {"195x270mm", "184x260mm", "197x273mm", "Postcard",
                       "EnvYou4",   "EnvChou3",  "EnvChou4"};
const Names kMonoTW12 = {"195x270mm", "184x260mm", "197x273mm", "Postcard",
                         "EnvYou4",   "EnvChou3",  "EnvChou4",  "3x5"};
const Names kMonoOther = {"210x270mm", "195x270mm", "184x260mm", "197x273mm",
                          "B5",        "B6",        "Postcard",  "EnvYou4",
                          "EnvChou3",  "EnvChou4"};

TEST(PaperSizesToRemove, EveryRowAtTheModelNumberBoundaries) {
  const int models[] = {-1, 0, 7, 8, 11, 12, 13, 14};
  struct Row {
    const char* country;
    // The list for each of the model numbers above.
    const Names* lists[8];
  };
  const Row colour[] = {
      {"JP",
       {&kJapan, &kJapan, &kJapan, &kJapan, &kJapan, &kJapan, &kJapan,
        &kJapan}},
      {"CN",
       {&kColorCN, &kColorCN, &kColorCN, &kColorCN, &kColorCN, &kColorCN,
        &kColorCN, &kColorCN}},
      {"TW",
       {&kColorTW, &kColorTW, &kColorTW, &kColorTW, &kColorTW, &kColorTW,
        &kColorTW, &kColorTW}},
      {"KR",
       {&kColorKR, &kColorKR, &kColorKR, &kColorKR8, &kColorKR8, &kColorKR8,
        &kColorKR8, &kColorKR8}},
      {"HK",
       {&kColorOther, &kColorOther, &kColorOther, &kColorOther8, &kColorOther8,
        &kColorOther8, &kColorOther8, &kColorOther8}},
      {"",
       {&kColorOther, &kColorOther, &kColorOther, &kColorOther8, &kColorOther8,
        &kColorOther8, &kColorOther8, &kColorOther8}},
      {"jp",
       {&kColorOther, &kColorOther, &kColorOther, &kColorOther8, &kColorOther8,
        &kColorOther8, &kColorOther8, &kColorOther8}},
  };
  const Row mono[] = {
      {"JP",
       {&kJapan, &kJapan, &kJapan, &kJapan, &kJapan, &kJapan, &kJapan,
        &kJapan}},
      {"CN",
       {&kMonoCN, &kMonoCN, &kMonoCN, &kMonoCN, &kMonoCN, &kMonoCN12,
        &kMonoCN12, &kMonoCN}},
      {"TW",
       {&kMonoTW, &kMonoTW, &kMonoTW, &kMonoTW, &kMonoTW, &kMonoTW12,
        &kMonoTW12, &kMonoTW}},
      {"KR",
       {&kMonoOther, &kMonoOther, &kMonoOther, &kMonoOther, &kMonoOther,
        &kMonoOther, &kMonoOther, &kMonoOther}},
      {"",
       {&kMonoOther, &kMonoOther, &kMonoOther, &kMonoOther, &kMonoOther,
        &kMonoOther, &kMonoOther, &kMonoOther}},
      {"cn",
       {&kMonoOther, &kMonoOther, &kMonoOther, &kMonoOther, &kMonoOther,
        &kMonoOther, &kMonoOther, &kMonoOther}},
  };
  const auto check = [&](PrinterKind kind, std::span<const Row> rows) {
    for (const Row& row : rows) {
      for (std::size_t i = 0; i < std::size(models); ++i) {
        SCOPED_TRACE(::testing::Message() << static_cast<int>(kind) << " "
                                          << row.country << " " << models[i]);
        const auto got = paperSizesToRemove({kind, models[i]}, row.country);
        EXPECT_EQ(Names(got.begin(), got.end()), *row.lists[i]);
      }
    }
  };
  check(PrinterKind::ColorLaser, colour);
  check(PrinterKind::MonoLaser, mono);
}

TEST(RemoveRegionalPaperSizes, B6ListedTwiceGoesOnce) {
  std::string text =
      lines({"*PageSize A4/A4: \"\"", "*PageSize B6/B6: \"\"",
             "*PageSize B5/B5: \"\"", "*PageSize Letter/L: \"\""});
  removeRegionalPaperSizes(text, {PrinterKind::ColorLaser, 8}, "HK");
  EXPECT_EQ(text, lines({"*PageSize A4/A4: \"\"", "*PageSize Letter/L: \"\""}));
}

TEST(CountryRules, Predicates) {
  for (std::string_view country : {"FR", "DE", "GB", "LI", "TR", "CY"}) {
    EXPECT_TRUE(prefersLongEdgeDuplex(country)) << country;
  }
  for (std::string_view country : {"US", "JP", "CN", "", "de", "DEU", "D"}) {
    EXPECT_FALSE(prefersLongEdgeDuplex(country)) << country;
  }
  EXPECT_FALSE(monochromeGetsLongEdgeDuplex("CN"));
  for (std::string_view country : {"", "cn", "US", "JP"}) {
    EXPECT_TRUE(monochromeGetsLongEdgeDuplex(country)) << country;
  }
  EXPECT_FALSE(writesCountryCode("JP"));
  for (std::string_view country : {"FR", "", "jp"}) {
    EXPECT_TRUE(writesCountryCode(country)) << country;
  }
}

TEST(CountryRules, DuplexAndCountryCodeByPrinterAndCountry) {
  const char* countries[] = {"DE", "FR", "US", "JP", "CN", "", "de", "DEU"};
  struct Row {
    PrinterKind kind;
    int model;
    const char* duplex;  // per country above: y when DuplexNoTumble is set
  };
  const Row rows[] = {
      {PrinterKind::ColorLaser, -1, "nnnnnnnn"},
      {PrinterKind::ColorLaser, 8, "nnnnnnnn"},
      {PrinterKind::ColorLaser, 9, "yynnnnnn"},
      {PrinterKind::ColorLaser, 11, "yynnnnnn"},
      {PrinterKind::ColorLaser, 12, "yynnnnnn"},
      {PrinterKind::ColorLaser, 13, "yynnnnnn"},
      {PrinterKind::ColorLaser, 14, "yynnnnnn"},
      {PrinterKind::ColorLaser, 40, "yynnnnnn"},
      {PrinterKind::MonoLaser, -1, "nnnnnnnn"},
      {PrinterKind::MonoLaser, 8, "nnnnnnnn"},
      {PrinterKind::MonoLaser, 9, "nnnnnnnn"},
      {PrinterKind::MonoLaser, 11, "nnnnnnnn"},
      {PrinterKind::MonoLaser, 12, "yyyynyyy"},
      {PrinterKind::MonoLaser, 13, "yyyynyyy"},
      {PrinterKind::MonoLaser, 14, "nnnnnnnn"},
      {PrinterKind::MonoLaser, 40, "nnnnnnnn"},
  };
  const std::string before =
      lines({"*DefaultDuplex: None", "*ISOCountryCode: \"US\""});
  for (const Row& row : rows) {
    for (std::size_t i = 0; i < std::size(countries); ++i) {
      const std::string_view country = countries[i];
      SCOPED_TRACE(::testing::Message() << static_cast<int>(row.kind) << " "
                                        << row.model << " '" << country << "'");
      std::string text = before;
      applyDuplexRule(text, {row.kind, row.model}, country);
      applyCountryCodeRule(text, country);
      const std::string duplex = row.duplex[i] == 'y'
                                     ? "*DefaultDuplex: DuplexNoTumble\n"
                                     : "*DefaultDuplex: None\n";
      const std::string code =
          country == "JP"
              ? "*ISOCountryCode: \"US\"\n"
              : "*ISOCountryCode: \"" + std::string(country) + "\"\n";
      EXPECT_EQ(text, duplex + code);
    }
  }
  // A duplex option whose default cannot take the choice keeps it.
  Printer conflicted{PrinterKind::ColorLaser, 10};
  conflicted.longEdgeConflicts[0] = true;
  std::string text = before;
  applyDuplexRule(text, conflicted, "FR");
  EXPECT_EQ(text, before);
}

}  // namespace
