// SPDX-License-Identifier: Apache-2.0
#include "policy/policy.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(PaperSizesToRemove, EveryRowAtTheModelNumberBoundaries) {
  const int models[] = {-1, 0, 7, 8, 11, 12, 13, 14};
  struct Row {
    PrinterKind kind;
    const char* country;
    // Per model number above: the same letter where the list is the same.
    const char* lists;
    // What list "b" adds at the end of list "a".
    Names added;
    // A country whose lists these are too, or nullptr.
    const char* sameAs;
  };
  const Row rows[] = {
      {PrinterKind::ColorLaser, "JP", "aaaaaaaa", {}, nullptr},
      {PrinterKind::MonoLaser, "JP", "aaaaaaaa", {}, nullptr},
      {PrinterKind::ColorLaser, "CN", "aaaaaaaa", {}, nullptr},
      {PrinterKind::ColorLaser, "TW", "aaaaaaaa", {}, nullptr},
      {PrinterKind::ColorLaser, "KR", "aaabbbbb", {"B6", "B5"}, nullptr},
      {PrinterKind::ColorLaser, "", "aaabbbbb", {"B6", "B5"}, nullptr},
      {PrinterKind::ColorLaser, "HK", "aaabbbbb", {"B6", "B5"}, ""},
      {PrinterKind::ColorLaser, "jp", "aaabbbbb", {"B6", "B5"}, ""},
      {PrinterKind::MonoLaser, "CN", "aaaaabba", {"3x5"}, nullptr},
      {PrinterKind::MonoLaser, "TW", "aaaaabba", {"3x5"}, nullptr},
      {PrinterKind::MonoLaser, "", "aaaaaaaa", {}, nullptr},
      {PrinterKind::MonoLaser, "KR", "aaaaaaaa", {}, ""},
      {PrinterKind::MonoLaser, "cn", "aaaaaaaa", {}, ""},
  };
  const auto list = [](PrinterKind kind, std::string_view country, int model) {
    const auto got = paperSizesToRemove({kind, model}, country);
    return Names(got.begin(), got.end());
  };
  for (const Row& row : rows) {
    const Names a = list(row.kind, row.country, models[0]);
    Names b = a;
    b.insert(b.end(), row.added.begin(), row.added.end());
    for (std::size_t i = 0; i < std::size(models); ++i) {
      SCOPED_TRACE(::testing::Message() << static_cast<int>(row.kind) << " '"
                                        << row.country << "' " << models[i]);
      const Names got = list(row.kind, row.country, models[i]);
      EXPECT_EQ(got, row.lists[i] == 'a' ? a : b);
      EXPECT_GE(got.size(), 4u);
      for (std::string_view kept : {"A4", "Letter"}) {
        EXPECT_EQ(std::ranges::count(got, kept), 0) << kept;
      }
      if (row.sameAs != nullptr) {
        EXPECT_EQ(got, list(row.kind, row.sameAs, models[i]));
      } else if (*row.country != '\0') {
        EXPECT_NE(got, list(row.kind, "", models[i]));
      }
    }
  }
  // Japan's list is the same for both kinds of printer.
  EXPECT_EQ(list(PrinterKind::ColorLaser, "JP", 10),
            list(PrinterKind::MonoLaser, "JP", 10));
}

TEST(RemoveRegionalPaperSizes, B6ListedTwiceGoesOnce) {
  std::string text =
      lines({"*PageSize A4/A4: \"\"", "*PageSize B6/B6: \"\"",
             "*PageSize B5/B5: \"\"", "*PageSize Letter/L: \"\""});
  removeRegionalPaperSizes(text, {PrinterKind::ColorLaser, 8}, "HK");
  EXPECT_EQ(text, lines({"*PageSize A4/A4: \"\"", "*PageSize Letter/L: \"\""}));
}

TEST(CountryRules, DuplexAndCountryCodeByPrinterAndCountry) {
  // The first six are duplex countries, the rest are not; "jp" is not Japan.
  const char* countries[] = {"DE", "FR", "GB", "LI", "TR", "CY",  "US", "JP",
                             "CN", "",   "cn", "jp", "de", "DEU", "D"};
  struct Row {
    PrinterKind kind;
    int model;
    const char* duplex;  // per country above: y when DuplexNoTumble is set
  };
  const Row rows[] = {
      {PrinterKind::ColorLaser, -1, "nnnnnnnnnnnnnnn"},
      {PrinterKind::ColorLaser, 8, "nnnnnnnnnnnnnnn"},
      {PrinterKind::ColorLaser, 9, "yyyyyynnnnnnnnn"},
      {PrinterKind::ColorLaser, 11, "yyyyyynnnnnnnnn"},
      {PrinterKind::ColorLaser, 12, "yyyyyynnnnnnnnn"},
      {PrinterKind::ColorLaser, 13, "yyyyyynnnnnnnnn"},
      {PrinterKind::ColorLaser, 14, "yyyyyynnnnnnnnn"},
      {PrinterKind::ColorLaser, 40, "yyyyyynnnnnnnnn"},
      {PrinterKind::MonoLaser, -1, "nnnnnnnnnnnnnnn"},
      {PrinterKind::MonoLaser, 8, "nnnnnnnnnnnnnnn"},
      {PrinterKind::MonoLaser, 9, "nnnnnnnnnnnnnnn"},
      {PrinterKind::MonoLaser, 11, "nnnnnnnnnnnnnnn"},
      {PrinterKind::MonoLaser, 12, "yyyyyyyynyyyyyy"},
      {PrinterKind::MonoLaser, 13, "yyyyyyyynyyyyyy"},
      {PrinterKind::MonoLaser, 14, "nnnnnnnnnnnnnnn"},
      {PrinterKind::MonoLaser, 40, "nnnnnnnnnnnnnnn"},
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
