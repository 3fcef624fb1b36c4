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

// A size as a PPD offers it: a PageSize choice, its *PaperDimension and
// its *ImageableArea.
std::string paperSize(std::string_view name, double width, double length) {
  const std::string n(name);
  const std::string size = std::to_string(width) + " " + std::to_string(length);
  return lines({"*PageSize " + n + "/" + n + ": \"\"",
                "*PaperDimension " + n + "/" + n + ": \"" + size + "\"",
                "*ImageableArea " + n + "/" + n + ": \"0 0 " + size + "\""});
}

TEST(ClassifyPrinter, RegionalPaperAsTheDefault) {
  const auto sizes = [](std::string_view defaultSize, const std::string& body) {
    const std::string d(defaultSize);
    return lines({"*OpenUI *PageSize: PickOne", "*DefaultPageSize: " + d,
                  "*DefaultPaperDimension: " + d,
                  "*DefaultImageableArea: " + d}) +
           body + lines({"*CloseUI: *PageSize"});
  };
  const std::string letter = paperSize("Letter", 612, 792);
  const std::string a4 = paperSize("A4", 595, 842);
  const std::string tray =
      lines({"*OpenUI *InputSlot: PickOne", "*DefaultInputSlot: Manual",
             "*InputSlot Auto/Auto: \"\"", "*InputSlot Manual/Manual: \"\"",
             "*CloseUI: *InputSlot"});
  const std::string duplex =
      lines({"*OpenUI *Duplex: PickOne", "*DefaultDuplex: None",
             "*Duplex None/Off: \"\"", "*Duplex DuplexNoTumble/Long: \"\"",
             "*Duplex DuplexTumble/Short: \"\"", "*CloseUI: *Duplex"});
  // More *cupsUIConstraints sets with resolvers, times constraints, than
  // the tool asks libcups to resolve: a default they name stays.
  std::string manySets;
  for (int i = 0; i < 1500; ++i) {
    const std::string n = std::to_string(i);
    manySets += "*cupsUIConstraints s" + n +
                ": \"*InputSlot Manual *PageSize Letter\"\n" +
                "*cupsUIResolver s" + n + ": \"*InputSlot Auto\"\n";
  }
  struct Case {
    const char* name;
    std::string body;
    const char* country;
    const char* choice;  // the new default, or empty: the defaults stay
  };
  const Case cases[] = {
      {"Letter in France", sizes("Letter", letter + a4), "FR", "A4"},
      {"a constraint on other options only",
       sizes("Letter", letter + a4) + tray +
           lines({"*UIConstraints: *InputSlot Manual *MediaType Card"}),
       "FR", "A4"},
      {"A4 in the United States", sizes("A4", a4 + letter), "US", "Letter"},
      {"A4 in Canada", sizes("A4", a4 + letter), "CA", "Letter"},
      {"already the region's", sizes("A4", a4 + letter), "DE", ""},
      {"no country", sizes("Letter", letter + a4), "", ""},
      {"a label printer", sizes("4x6", paperSize("4x6", 288, 432) + a4), "FR",
       ""},
      {"a photo size near Letter",
       sizes("Photo", paperSize("Photo", 610, 792) + a4), "FR", ""},
      {"Letter by its size, under another name",
       sizes("LetterSmall", paperSize("LetterSmall", 612, 792) + a4), "FR",
       "A4"},
      {"A4 in another letter case",
       sizes("Letter", letter + paperSize("a4", 595, 842)), "FR", "a4"},
      {"A4Small only, the shortest name of that size",
       sizes("Letter", letter + paperSize("A4Small.Fullbleed", 595, 842) +
                           paperSize("A4Small", 595.4, 842)),
       "FR", "A4Small"},
      {"no A4 at all", sizes("Letter", letter), "FR", ""},
      {"an A4-sized choice the region removes",
       sizes("Letter", letter + paperSize("210x270mm", 595, 842)), "FR", ""},
      {"A4 conflicts with the other defaults",
       sizes("Letter", letter + a4) + tray +
           lines({"*UIConstraints: *InputSlot Manual *PageSize A4"}),
       "FR", ""},
      {"A4 conflicts with the new duplex default",
       sizes("Letter", letter + a4) + duplex +
           lines({"*UIConstraints: *Duplex DuplexNoTumble *PageSize A4"}),
       "FR", ""},
      {"too many sets to resolve",
       sizes("Letter", letter + a4) + tray + manySets, "FR", ""},
      {"too many sets to resolve",
       sizes("Letter", letter + a4) + tray + manySets, "FR", ""},
      {"a conflict the defaults already have",
       sizes("Letter", letter + a4) + tray +
           lines({"*UIConstraints: *InputSlot Manual *PageSize Letter"}),
       "FR", "A4"},
  };
  const Settings paper{.defaultPaper = true};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string colour10 = "*ColorDevice: True\n*cupsModelNumber: 10\n";
    const std::optional<Printer> printer =
        classifyPrinter(fixture::ppd(colour10 + c.body), c.country, paper);
    ASSERT_TRUE(printer);
    EXPECT_EQ(printer->paper.choice, c.choice);
    EXPECT_EQ(printer->paper.reason.empty(), *c.choice != '\0');
  }
}

// A new default may not leave a *cupsUIConstraints set that libcups resolves
// against the defaults unresolvable: cupstestppd -r calls that a loop.
TEST(ClassifyPrinter, NewDefaultsKeepConstraintsResolvable) {
  const std::string body = lines(
      {"*ColorDevice: True", "*cupsModelNumber: 10",
       "*OpenUI *PageSize: PickOne", "*DefaultPageSize: Letter",
       "*PageSize Letter/Letter: \"\"", "*PageSize A4/A4: \"\"",
       "*PageSize 4x6/4x6: \"\"", "*CloseUI: *PageSize",
       "*PaperDimension Letter/Letter: \"612 792\"",
       "*PaperDimension A4/A4: \"595 842\"",
       "*PaperDimension 4x6/4x6: \"288 432\"", "*OpenUI *Duplex: PickOne",
       "*DefaultDuplex: None", "*Duplex None/Off: \"\"",
       "*Duplex DuplexNoTumble/Long: \"\"", "*CloseUI: *Duplex",
       "*OpenUI *MediaType: PickOne", "*DefaultMediaType: Glossy",
       "*MediaType Glossy/Glossy: \"\"", "*MediaType Plain/Plain: \"\"",
       "*MediaType Card/Card: \"\"", "*CloseUI: *MediaType",
       "*OpenUI *InputSlot: PickOne", "*DefaultInputSlot: Auto",
       "*InputSlot Auto/Auto: \"\"", "*InputSlot Manual/Manual: \"\"",
       "*CloseUI: *InputSlot",
       // Card on 4x6, or from the manual slot, goes back to plain paper,
       // which long-edge duplex and A4 send back to card: neither conflicts
       // with the defaults, but each makes one set loop.
       "*cupsUIConstraints card: \"*MediaType Card *PageSize 4x6\"",
       "*cupsUIResolver card: \"*MediaType Plain\"",
       "*cupsUIConstraints manual: \"*MediaType Card *InputSlot Manual\"",
       "*cupsUIResolver manual: \"*MediaType Plain\"",
       "*cupsUIConstraints duplex: \"*MediaType Plain *Duplex DuplexNoTumble\"",
       "*cupsUIResolver duplex: \"*MediaType Card\"",
       "*cupsUIConstraints a4: \"*MediaType Plain *PageSize A4\"",
       "*cupsUIResolver a4: \"*MediaType Card\""});
  const std::optional<Printer> printer =
      classifyPrinter(fixture::ppd(body), "FR", {.defaultPaper = true});
  ASSERT_TRUE(printer);
  EXPECT_TRUE(printer->longEdgeConflicts[0]);
  EXPECT_EQ(printer->paper.choice, "");
  EXPECT_NE(printer->paper.reason, "");
  // A set named after no resolver counts too: cupstestppd -r resolves every
  // one. These lines, cut down from an HP LaserJet's, leave no way out of
  // the set once long-edge duplex is the default.
  const std::string small = "\"<</PageSize [288 432]>> setpagedevice\"";
  const std::string unnamed = lines(
      {"*ColorDevice: True",
       "*cupsUIConstraints: \"*PageSize 100x150mm *HPPaperSource Tray3\"",
       "*cupsModelNumber: 10", "*UIConstraints: *PageRegion 100x150mm *Duplex",
       "*PageSize 100x150mm/10x15cm: " + small,
       "*PageRegion 100x150mm/10x15cm: " + small,
       "*PageRegion 216x340mm/Oficio: \"<</PageSize [612 964]>>\"",
       "*OpenUI *Duplex/Two-Sided: PickOne", "*DefaultDuplex: None",
       "*Duplex None/Off: \"<</Duplex false>> setpagedevice\"",
       "*Duplex DuplexNoTumble/Long: \"<</Duplex true>> setpagedevice\""});
  const std::optional<Printer> hp =
      classifyPrinter(fixture::ppd(unnamed), "FR");
  ASSERT_TRUE(hp);
  EXPECT_TRUE(hp->longEdgeConflicts[0]);
}

TEST(ApplyPaperRule, ChangesOnlyTheDefaultsOfTheOtherOfficePaper) {
  Printer printer{PrinterKind::ColorLaser, 10};
  printer.paper.choice = "A4";
  printer.paper.was[0] = printer.paper.was[1] = printer.paper.was[3] = "Letter";
  printer.paper.changes[0] = printer.paper.changes[3] = true;
  std::string text = lines(
      {"*DefaultPageSize: Letter", "*DefaultPageRegion: Letter",
       "*DefaultPageSize:\t\"Letter\"\r",
       "*DefaultImageableArea: Letter/US Letter", "*DefaultPageSizeX: Letter"});
  std::vector<std::string> notes;
  applyPaperRule(text, printer, &notes);
  EXPECT_EQ(text, lines({"*DefaultPageSize: A4", "*DefaultPageRegion: Letter",
                         "*DefaultPageSize: A4", "*DefaultImageableArea: A4",
                         "*DefaultPageSizeX: Letter"}));
  EXPECT_EQ(notes.size(), 3u);
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
