// SPDX-License-Identifier: Apache-2.0
#include "ppdtext/ppdtext.h"

#include <gtest/gtest.h>

#include <vector>

#include "fixture.h"
#include "ppdtext/lines.h"

namespace {

using fixture::lines;

TEST(LineBounds, EveryTerminator) {
  for (std::string_view eol : {"\n", "\r", "\r\n"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(eol)));
    const std::string text =
        "ab" + std::string(eol) + "cde" + std::string(eol) + "f";
    const std::size_t second = 2 + eol.size();
    const ppdtext::LineBounds first = ppdtext::lineBounds(text, 1);
    EXPECT_EQ(first.begin, 0u);
    EXPECT_EQ(first.contentsEnd, 2u);
    EXPECT_EQ(first.end, second);
    for (std::size_t pos : {second, second + 2}) {
      const ppdtext::LineBounds middle = ppdtext::lineBounds(text, pos);
      EXPECT_EQ(middle.begin, second);
      EXPECT_EQ(middle.contentsEnd, second + 3);
      EXPECT_EQ(middle.end, second + 3 + eol.size());
    }
    // The last line has no terminator.
    const ppdtext::LineBounds last = ppdtext::lineBounds(text, text.size() - 1);
    EXPECT_EQ(last.begin, text.size() - 1);
    EXPECT_EQ(last.contentsEnd, text.size());
    EXPECT_EQ(last.end, text.size());
  }
}

TEST(LineBounds, CrLfIsOneTerminatorButLfCrIsTwo) {
  EXPECT_EQ(ppdtext::lineBounds("a\r\nb", 3).begin, 3u);
  EXPECT_EQ(ppdtext::lineBounds("a\r\nb", 0).end, 3u);
  // LF CR ends one line and then an empty one.
  EXPECT_EQ(ppdtext::lineBounds("a\n\rb", 0).end, 2u);
  EXPECT_EQ(ppdtext::lineBounds("a\n\rb", 3).begin, 3u);
  // Bytes of other characters are not terminators, nor are U+0085, U+2028
  // and U+2029 (libcups ends lines at LF and CR only), nor their last bytes
  // in another encoding.
  for (std::string_view other : {"\xC3\xA9\xE2\x80\xA6", "\xC2\x85",
                                 "\xE2\x80\xA8", "\xE2\x80\xA9", "\x85"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(other)));
    const std::string text = "a" + std::string(other) + "x";
    const ppdtext::LineBounds line = ppdtext::lineBounds(text, text.size() - 1);
    EXPECT_EQ(line.begin, 0u);
    EXPECT_EQ(line.end, text.size());
  }
}

TEST(Find, WithinRange) {
  const std::string_view text = "*PageSize B5/ *PageSize B5/";
  EXPECT_EQ(ppdtext::find(text, "B5/"), 10u);
  EXPECT_EQ(ppdtext::find(text, "B5/", 11), 24u);
  EXPECT_EQ(ppdtext::find(text, "B5/", 0, 12), ppdtext::npos);
  EXPECT_EQ(ppdtext::find(text, "B5/", 0, 13), 10u);
  EXPECT_EQ(ppdtext::find(text, "b5/"), ppdtext::npos);
  EXPECT_EQ(ppdtext::find(text, "B5/", 40), ppdtext::npos);
}

TEST(EntryEnd, QuotedValuesSpanningLines) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t lines;  // how many lines the first entry holds
  };
  const Case cases[] = {
      {"one line", lines({"*A B: \"x\"", "*C: \"y\""}), 1},
      {"no colon", lines({"*A \"x", "\"", "*End"}), 1},
      {"quote before the colon", lines({"*A \"B: x", "y\""}), 1},
      {"code over lines", lines({"*A B: \"<<", "  /x 1 >>", "  y\"", "*C: z"}),
       3},
      {"with *End", lines({"*A B: \"<<", "  y\"", "*End", "*C: z"}), 3},
      {"*End with blanks", lines({"*A B: \"<<", "y\"", "*End \t", "x"}), 3},
      {"not *End", lines({"*A B: \"<<", "y\"", "*EndX", "x"}), 2},
      {"never closed", lines({"*A B: \"<<", "*C: z", "*D: w"}), 1},
      {"three quotes", lines({"*A B: \"a\" \"b", "c\"", "*D: w"}), 2},
      {"CR line ends", "*A B: \"<<\r y\"\r*End\r*C: z\r", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::size_t expected = 0;
    for (std::size_t i = 0; i < c.lines; ++i) {
      expected = ppdtext::lineBounds(c.text, expected).end;
    }
    EXPECT_EQ(ppdtext::entryEnd(c.text, ppdtext::lineBounds(c.text, 0)),
              expected);
  }
}

TEST(FindKeywordLine, OnlyTheKeywordsOwnLine) {
  struct Case {
    std::string text;
    std::size_t expected;
  };
  const Case cases[] = {
      {"*DefaultDuplex: None\n", 0},
      {"*DefaultDuplex \t: None\n", 0},
      {"*DefaultDuplex\v\f: None\n", 0},
      {"*DefaultDuplexUnit: X\n*DefaultDuplex: None\n", 22},
      {"*%*DefaultDuplex: None\n*StpDefaultDuplex: None\n", ppdtext::npos},
      {"x *DefaultDuplex: None\n", ppdtext::npos},
      {"*DefaultDuplex None\n", ppdtext::npos},
      {"*DefaultDuplex", ppdtext::npos},
      {"a\r*DefaultDuplex: None", 2},
      {"a\xE2\x80\xA8*DefaultDuplex: None", ppdtext::npos},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ppdtext::findKeywordLine(c.text, "DefaultDuplex"), c.expected);
  }
}

// Deletion ------------------------------------------------------------------

struct EditCase {
  const char* name;
  std::string before;
  std::string after;
};

void expectDeletion(const EditCase& c, std::string_view keyword,
                    std::string_view option) {
  SCOPED_TRACE(c.name);
  std::string text = c.before;
  if (keyword.empty()) {
    ppdtext::deletePaperSize(text, option);
  } else {
    ppdtext::deleteOption(text, keyword, option);
  }
  EXPECT_EQ(text, c.after);
}

TEST(DeletePaperSize, WorkedExampleLeavesNothingOfEnvChou3) {
  std::string text = lines({
      "*PageSize EnvChou3/EnvChou3: \"...\"",
      "*de.PageSize EnvChou3/EnvChou3: \"\"",
      "*fr.PageSize EnvChou3/EnvChou3: \"\"",
      "*UIConstraints: *PageSize EnvChou3 *Duplex DuplexNoTumble",
      "*UIConstraints: *Duplex DuplexNoTumble *PageSize EnvChou3",
      "*cupsUIConstraints env: \"*Duplex DuplexNoTumble *PageSize EnvChou3\"",
      "*PaperDimension EnvChou3/EnvChou3: \"...\"",
      "*ImageableArea EnvChou3/EnvChou3: \"...\"",
  });
  ppdtext::deletePaperSize(text, "EnvChou3");
  EXPECT_EQ(text, "");
}

TEST(DeleteOption, PageSizeLines) {
  const EditCase cases[] = {
      {"main line without translation text",
       lines({"*A: 1", "*PageSize B5: \"x\"", "*de.PageSize B5/B5: \"\"",
              "*B: 2"}),
       lines({"*A: 1", "*B: 2"})},
      {"only the first main line",
       lines({"*PageSize B5/B5: \"1\"", "*PageSize B5/B5: \"2\""}),
       lines({"*PageSize B5/B5: \"2\""})},
      {"no main line: translations and constraints stay",
       lines({"*de.PageSize B5/B5: \"\"", "*UIConstraints: *PageSize B5 *A B"}),
       lines(
           {"*de.PageSize B5/B5: \"\"", "*UIConstraints: *PageSize B5 *A B"})},
      {"consecutive translation lines",
       lines({"*PageSize B5/B5: \"\"", "*de.PageSize B5/B5: \"\"",
              "*fr.PageSize B5/B5: \"\"", "*ja.PageSize B5/B5: \"\"", "*X: 1"}),
       lines({"*X: 1"})},
      {"translation as last line with terminator",
       lines({"*PageSize B5/B5: \"\"", "*X: 1", "*de.PageSize B5/B5: \"\""}),
       lines({"*X: 1"})},
      {"translation as last line without terminator",
       lines({"*PageSize B5/B5: \"\"", "*X: 1"}) + "*de.PageSize B5/B5: \"\"",
       lines({"*X: 1"})},
      {"OpenUI, CloseUI and the default stay",
       lines({"*OpenUI *PageSize/Size: PickOne", "*DefaultPageSize: A4",
              "*PageSize B5/B5: \"\"", "*PageSize A4/A4: \"\"",
              "*CloseUI: *PageSize"}),
       lines({"*OpenUI *PageSize/Size: PickOne", "*DefaultPageSize: A4",
              "*PageSize A4/A4: \"\"", "*CloseUI: *PageSize"})},
      {"multi-line main entry with *End",
       lines({"*PageSize B5/B5: \"<<",
              "  /PageSize [516 729] >> setpagedevice\"", "*End",
              "*PageSize A4/A4: \"\""}),
       lines({"*PageSize A4/A4: \"\""})},
      {"multi-line translation entry",
       lines({"*PageSize B5/B5: \"\"", "*de.PageSize B5/B5: \"a", "b\"",
              "*X: 1"}),
       lines({"*X: 1"})},
      {"U+0085 in a translation is part of its line",
       lines({"*PageSize B5/B5: \"\"",
              "*fr.PageSize B5/Carte\xC2\x85 postale: \"\"", "*X: 1"}),
       lines({"*X: 1"})},
      {"blanks between keyword and option",
       lines({"*PageSize \t B5/JIS B5: \"\"", "*fr.PageSize\tB5/B5: \"\"",
              "*de.PageSize  B5/B5: \"\"", "*X: 1"}),
       lines({"*X: 1"})},
      {"blanks before the translation text, vertical tab and form feed",
       lines({"*PageSize B5 /JIS B5: \"\"", "*fr.PageSize B5\t/B5: \"\"",
              "*de.PageSize\vB5/B5: \"\"", "*PageRegion B5/B5: \"\"",
              "*ja.PageSize\fB5 \f/B5: \"\"", "*X: 1"}),
       lines({"*PageRegion B5/B5: \"\"", "*X: 1"})},
      {"blanks before the colon", lines({"*PageSize\fB5 : \"\"", "*X: 1"}),
       lines({"*X: 1"})},
      {"a blank then another word is no main line",
       lines({"*PageSize B5 x/B5: \"\"", "*de.PageSize B5 x/B5: \"\""}),
       lines({"*PageSize B5 x/B5: \"\"", "*de.PageSize B5 x/B5: \"\""})},
      {"a commented-out copy before the entry stays",
       lines({"*%*PageSize B5/JIS B5: \"old\"", "*PageSize B5/JIS B5: \"\"",
              "*%*PageSize B5/JIS B5: \"older\""}),
       lines({"*%*PageSize B5/JIS B5: \"old\"",
              "*%*PageSize B5/JIS B5: \"older\""})},
      {"a mention in another entry's value stays",
       lines({"*Foo: \"*PageSize B5/JIS B5: x\"", "*PageSize B5/JIS B5: \"\""}),
       lines({"*Foo: \"*PageSize B5/JIS B5: x\""})},
      {"the main line compares the name exactly",
       lines({"*PageSize b5/b5: \"\"", "*PageSize B5/B5: \"\""}),
       lines({"*PageSize b5/b5: \"\""})},
      {"a translation needs its slash: `.K O:` stays",
       lines({"*PageSize B5/B5: \"\"", "*fr.PageSize B5: \"\"", "*X: 1"}),
       lines({"*fr.PageSize B5: \"\"", "*X: 1"})},
      // Where an entry ends once the entries deleted before it are gone.
      {"a CR line takes the LF a deletion brings up against it",
       "*fr.PageSize B5/B5: \"\"\r*PageSize B5/B5: \"\"\n\n*X: 1\n", "*X: 1\n"},
      {"a quoted value runs on past a deleted line holding a quote",
       lines({"*de.PageSize B5/B5: \"a", "*PageSize B5/B5: \"\"", "b\"",
              "*X: 1"}),
       lines({"*X: 1"})},
      {"a *End after a deleted line belongs to the value before it",
       lines({"*de.PageSize B5/B5: \"a", "b\"", "*PageSize B5/B5: \"\"", "*End",
              "*X: 1"}),
       lines({"*X: 1"})},
  };
  for (const EditCase& c : cases) expectDeletion(c, "PageSize", "B5");
}

TEST(DeleteOption, LongerOptionNamesStay) {
  const std::string others = lines(
      {"*PageSize Postcard.Fullbleed/P: \"\"",
       "*de.PageSize Postcard.Fullbleed/P: \"\"", "*PageSize PostcardX/P: \"\"",
       "*UIConstraints: *PageSize Postcard.Fullbleed *A B",
       "*UIConstraints: *PageSize PostcardX *A B",
       "*UIConstraints: *A B *PageSize Postcard.Fullbleed",
       "*UIConstraints: *A B *PageSize Postcard.FULLBLEED"});
  const EditCase c = {"Postcard",
                      lines({"*PageSize Postcard/P: \"\""}) + others, others};
  expectDeletion(c, "PageSize", "Postcard");
}

TEST(DeleteOption, ConstraintLines) {
  const std::string main = lines({"*PageSize B5/B5: \"\""});
  const EditCase cases[] = {
      {"option first", main + lines({"*UIConstraints: *PageSize B5 *Duplex X"}),
       ""},
      {"option last", main + lines({"*UIConstraints: *Duplex X *PageSize B5"}),
       ""},
      {"option last, no terminator",
       main + "*UIConstraints: *Duplex X *PageSize B5", ""},
      {"option last, CR LF",
       main + "*UIConstraints: *Duplex X *PageSize B5\r\n", ""},
      {"U+2028 after the option is no line end",
       main + "*UIConstraints: *Duplex X *PageSize B5\xE2\x80\xA8*X: 1\n",
       "*UIConstraints: *Duplex X *PageSize B5\xE2\x80\xA8*X: 1\n"},
      {"tab separated",
       main + lines({"*UIConstraints: *PageSize B5\t\t*MediaType OHP"}), ""},
      {"vertical tab and form feed around the option",
       main + lines({"*UIConstraints: *PageSize\vB5\f*Duplex DuplexTumble"}),
       ""},
      {"tab before the option",
       main + lines({"*UIConstraints: *PageSize\tB5 *Duplex DuplexTumble"}),
       ""},
      {"other letter case",
       main + lines({"*cupsUIConstraints c: \" *Duplex *PageSize b5\""}), ""},
      {"longer name in other letter case",
       main + lines({"*UIConstraints: *PageSize b5x *Duplex X"}),
       lines({"*UIConstraints: *PageSize b5x *Duplex X"})},
      {"quoted, in the middle",
       main + lines({"*cupsUIConstraints c: \"*A B *PageSize B5 *C D\""}), ""},
      {"quoted, last",
       main + lines({"*cupsUIConstraints c: \"*A B *PageSize B5\""}), ""},
      {"NonUIConstraints",
       main + lines({"*NonUIConstraints: *PageSize B5 *A B"}), ""},
      {"no marker: the line stays",
       main + lines({"*Foo: *PageSize B5 *Duplex X",
                     "*UIConstraints: *PageSize B5 *A B"}),
       lines({"*Foo: *PageSize B5 *Duplex X"})},
      {"second mention on the line names the option",
       main + lines({"*UIConstraints: *PageSize B5X *A B *PageSize B5"}), ""},
      {"multi-line constraint entry",
       main + lines({"*cupsUIConstraints c: \"*PageSize B5", "*Duplex X\"",
                     "*Y: 1"}),
       lines({"*Y: 1"})},
      {"multi-line constraint naming it on a later line",
       main + lines({"*cupsUIConstraints c: \"*Duplex X", "  *InputSlot Y",
                     "  *PageSize B5\"", "*End", "*Y: 1"}),
       lines({"*Y: 1"})},
      {"multi-line value without the marker stays",
       main + lines({"*Foo c: \"*Duplex X", "*PageSize B5\"", "*Y: 1"}),
       lines({"*Foo c: \"*Duplex X", "*PageSize B5\"", "*Y: 1"})},
      {"other keyword", main + lines({"*UIConstraints: *PageRegion B5 *A B"}),
       lines({"*UIConstraints: *PageRegion B5 *A B"})},
  };
  for (const EditCase& c : cases) expectDeletion(c, "PageSize", "B5");
}

TEST(DeleteOption, ConstraintsOnlyForPageSizeAndPageRegion) {
  for (std::string_view keyword :
       {"PaperDimension", "ImageableArea", "InputSlot", "pagesize"}) {
    SCOPED_TRACE(keyword);
    std::string text = "*" + std::string(keyword) + " B5/B5: \"\"\n";
    const std::string constraint =
        "*UIConstraints: *" + std::string(keyword) + " B5 *A B\n";
    text += constraint;
    ppdtext::deleteOption(text, keyword, "B5");
    EXPECT_EQ(text, constraint);
  }
  std::string text =
      lines({"*PageRegion B5/B5: \"\"", "*UIConstraints: *A B *PageRegion B5"});
  ppdtext::deleteOption(text, "PageRegion", "B5");
  EXPECT_EQ(text, "");
}

TEST(DeletePaperSize, DefaultSizeIsKept) {
  const std::string body =
      lines({"*PageSize Postcard/P: \"\"", "*PageSize B5/B5: \"\"",
             "*ImageableArea Postcard/P: \"\""});
  const EditCase cases[] = {
      {"DefaultPageSize", "*DefaultPageSize: Postcard\n" + body,
       "*DefaultPageSize: Postcard\n" + body},
      {"blanks around", "*DefaultImageableArea \t:  Postcard \t\r\n" + body,
       "*DefaultImageableArea \t:  Postcard \t\r\n" + body},
      {"DefaultPaperDimension", body + "*DefaultPaperDimension: Postcard",
       body + "*DefaultPaperDimension: Postcard"},
      {"another default", "*DefaultPageSize: Postcard.Fullbleed\n" + body,
       "*DefaultPageSize: Postcard.Fullbleed\n" +
           lines({"*PageSize B5/B5: \"\""})},
      {"with a translation", "*DefaultPageSize: Postcard/Postcard\n" + body,
       "*DefaultPageSize: Postcard/Postcard\n" + body},
      {"quoted, blanks after", "*DefaultPageRegion:\v\"Postcard\" \f\n" + body,
       "*DefaultPageRegion:\v\"Postcard\" \f\n" + body},
      {"other letter case", "*DefaultPageSize: postcard\n" + body,
       "*DefaultPageSize: postcard\n" + body},
      {"the later of two default lines",
       "*DefaultPageSize: A4\n" + body + "*DefaultPageSize: Postcard\n",
       "*DefaultPageSize: A4\n" + body + "*DefaultPageSize: Postcard\n"},
      {"quotes are not blanks", "*DefaultPageSize: \"Postcard \"\n" + body,
       "*DefaultPageSize: \"Postcard \"\n" + lines({"*PageSize B5/B5: \"\""})},
      {"commented out", "*%*DefaultPageSize: Postcard\n" + body,
       "*%*DefaultPageSize: Postcard\n" + lines({"*PageSize B5/B5: \"\""})},
      {"other keyword", "*DefaultMediaType: Postcard\n" + body,
       "*DefaultMediaType: Postcard\n" + lines({"*PageSize B5/B5: \"\""})},
  };
  for (const EditCase& c : cases) expectDeletion(c, "", "Postcard");
}

TEST(DeletePaperSizes, KeywordsNamesAndLineEnds) {
  const auto sample = [](std::string_view eol) {
    return lines(
        {"*OpenUI *PageSize: PickOne", "*PageSize A4/A4: \"a\"",
         "*PageSize B6/B6: \"b\"", "*fr.PageSize B6/B6: \"\"",
         "*PageRegion B6/B6: \"b\"", "*UIConstraints: *A B *PageRegion B6",
         "*PaperDimension B6/B6: \"363 516\"",
         "*ImageableArea B6/B6: \"0 0 363 516\"",
         "*UIConstraints: *ImageableArea B6 *A B", "*CloseUI: *PageSize"},
        eol);
  };
  const auto expected = [](std::string_view eol) {
    return lines(
        {"*OpenUI *PageSize: PickOne", "*PageSize A4/A4: \"a\"",
         "*UIConstraints: *ImageableArea B6 *A B", "*CloseUI: *PageSize"},
        eol);
  };
  for (std::string_view eol : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(eol)));
    std::string text = sample(eol);
    constexpr std::string_view names[] = {"B6", "Letter", "", "B6"};
    ppdtext::deletePaperSizes(text, names);
    EXPECT_EQ(text, expected(eol));
  }
  std::string text = sample("\n");
  ppdtext::deletePaperSizes(text, {});
  EXPECT_EQ(text, sample("\n"));
  // With a new default size, in the same pass, as setDefaults after: the
  // default line after a deleted CR line keeps its place, and one in the
  // entry of another stays there.
  for (std::string_view eol : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(eol)));
    text = lines({"*DefaultPageSize: Letter"}, eol) + sample(eol) +
           lines({"*DefaultPageRegion:\t\"Letter\"",
                  "*DefaultImageableArea: Letter"},
                 eol);
    constexpr std::string_view names[] = {"B6"};
    constexpr std::string_view keywords[] = {"PageSize", "PageRegion"};
    ppdtext::deletePaperSizes(text, names, {keywords, "A4"});
    EXPECT_EQ(text, "*DefaultPageSize: A4\n" + expected(eol) +
                        "*DefaultPageRegion: A4\n" +
                        lines({"*DefaultImageableArea: Letter"}, eol));
  }
}

TEST(DeletePaperSizes, NameListedTwiceIsProcessedTwice) {
  std::string text = lines({"*PageSize B6/B6: \"1\"", "*PageSize B6/B6: \"2\"",
                            "*PageSize B6/B6: \"3\""});
  constexpr std::string_view names[] = {"B6", "B6"};
  ppdtext::deletePaperSizes(text, names);
  EXPECT_EQ(text, lines({"*PageSize B6/B6: \"3\""}));
}

// Rewrites ------------------------------------------------------------------

TEST(SetDefault, Rewrites) {
  const EditCase cases[] = {
      {"worked example", "*DefaultDuplex: None\r\n*ISOCountryCode: \"JP\"\r\n",
       "*DefaultDuplex: DuplexNoTumble\n*ISOCountryCode: \"JP\"\r\n"},
      {"every default line, whichever libcups honours",
       lines(
           {"*DefaultDuplex: None", "*A: 1", "*DefaultDuplex\f: DuplexTumble"}),
       lines({"*DefaultDuplex: DuplexNoTumble", "*A: 1",
              "*DefaultDuplex: DuplexNoTumble"})},
      {"a default line inside another's entry goes with it",
       lines(
           {"*DefaultDuplex: \"a", "*DefaultDuplex: b\"", "*DefaultDuplex: c"}),
       lines({"*DefaultDuplex: DuplexNoTumble",
              "*DefaultDuplex: DuplexNoTumble"})},
      {"look-alike lines above stay",
       lines({"*DefaultDuplexUnit: NotInstalled", "*%*DefaultDuplex: None",
              "*StpDefaultDuplex: None", "*DefaultDuplex: None"}),
       lines({"*DefaultDuplexUnit: NotInstalled", "*%*DefaultDuplex: None",
              "*StpDefaultDuplex: None", "*DefaultDuplex: DuplexNoTumble"})},
      {"vendor-prefixed retry",
       lines({"*A: 1", "*DefaultQVDuplex: None", "*B: 2"}),
       lines({"*A: 1", "*DefaultQVDuplex: DuplexNoTumble", "*B: 2"})},
      {"standard line preferred",
       lines({"*DefaultQVDuplex: None", "*DefaultDuplex: None"}),
       lines({"*DefaultQVDuplex: None", "*DefaultDuplex: DuplexNoTumble"})},
      {"absent: nothing added", lines({"*DefaultDuplexUnit: X", "*A: 1"}),
       lines({"*DefaultDuplexUnit: X", "*A: 1"})},
      {"unterminated last line", "*A: 1\n*DefaultDuplex: None",
       "*A: 1\n*DefaultDuplex: DuplexNoTumble\n"},
      {"quoted value over lines",
       lines({"*DefaultDuplex: \"a", "b\"", "*End", "*C: 1"}),
       lines({"*DefaultDuplex: DuplexNoTumble", "*C: 1"})},
      {"U+0085 is part of the line",
       lines({"*DefaultDuplex: None\xC2\x85x", "*C: 1"}),
       lines({"*DefaultDuplex: DuplexNoTumble", "*C: 1"})},
      {"a choice of the option, in any letter case",
       lines({"*Duplex None/Off: \"\"", "*Duplex\tduplexnotumble: \"\"",
              "*DefaultDuplex: None"}),
       lines({"*Duplex None/Off: \"\"", "*Duplex\tduplexnotumble: \"\"",
              "*DefaultDuplex: DuplexNoTumble"})},
      {"no such choice: the default stays",
       lines({"*Duplex None/Off: \"\"", "*Duplex DuplexTumble/Short: \"\"",
              "*%*Duplex DuplexNoTumble/Long: \"\"", "*DefaultDuplex: None"}),
       lines({"*Duplex None/Off: \"\"", "*Duplex DuplexTumble/Short: \"\"",
              "*%*Duplex DuplexNoTumble/Long: \"\"", "*DefaultDuplex: None"})},
      {"blanks before the choice's translation",
       lines({"*Duplex None /Off: \"\"", "*Duplex DuplexNoTumble\v/Long: \"\"",
              "*DefaultDuplex: None"}),
       lines({"*Duplex None /Off: \"\"", "*Duplex DuplexNoTumble\v/Long: \"\"",
              "*DefaultDuplex: DuplexNoTumble"})},
      {"a longer choice is another choice",
       lines({"*Duplex ManualDuplexNoTumble: \"\"", "*DefaultDuplex: None"}),
       lines({"*Duplex ManualDuplexNoTumble: \"\"", "*DefaultDuplex: None"})},
      {"vendor-prefixed option without the choice",
       lines({"*QVDuplex None: \"\"", "*DefaultQVDuplex: None",
              "*Duplex X: \"\""}),
       lines({"*QVDuplex None: \"\"", "*DefaultQVDuplex: None",
              "*Duplex X: \"\""})},
      {"vendor-prefixed option with the choice, other option without",
       lines({"*QVDuplex DuplexNoTumble: \"\"", "*DefaultQVDuplex: None",
              "*Duplex X: \"\""}),
       lines({"*QVDuplex DuplexNoTumble: \"\"",
              "*DefaultQVDuplex: DuplexNoTumble", "*Duplex X: \"\""})},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.before;
    ppdtext::setDefault(text, "Duplex", "DuplexNoTumble");
    EXPECT_EQ(text, c.after);
  }
}

TEST(SetDefault, KeptOptionKeepsItsDefault) {
  const std::string both =
      lines({"*DefaultQVDuplex: None", "*DefaultDuplex: None"});
  const std::string vendor = lines({"*DefaultQVDuplex: None"});
  struct Case {
    std::string before;
    std::vector<std::string_view> keep;
    std::string after;
  };
  const Case cases[] = {
      {both, {"Duplex"}, both},
      {both,
       {"QVDuplex"},
       lines({"*DefaultQVDuplex: None", "*DefaultDuplex: DuplexNoTumble"})},
      {vendor, {"QVDuplex"}, vendor},
      {vendor, {"Duplex"}, lines({"*DefaultQVDuplex: DuplexNoTumble"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before + c.keep.front().data());
    std::string text = c.before;
    ppdtext::setDefault(text, "Duplex", "DuplexNoTumble", c.keep);
    EXPECT_EQ(text, c.after);
  }
}

TEST(SetDefault, NoRetryForKeywordHoldingQV) {
  for (std::string_view keyword : {"QVDuplex", "DuQVplex"}) {
    SCOPED_TRACE(keyword);
    std::string text = lines({"*DefaultQV" + std::string(keyword) + ": None"});
    const std::string before = text;
    ppdtext::setDefault(text, keyword, "X");
    EXPECT_EQ(text, before);
  }
}

TEST(SetQuotedValue, Rewrites) {
  const EditCase cases[] = {
      {"quoted value", lines({"*A: 1", "*ISOCountryCode: \"US\"", "*B: 2"}),
       lines({"*A: 1", "*ISOCountryCode: \"FR\"", "*B: 2"})},
      {"CR ends", "*ISOCountryCode: \"US\"\r*B: 2\r",
       "*ISOCountryCode: \"FR\"\n*B: 2\r"},
      {"comment and longer keyword stay",
       lines({"*% *ISOCountryCode: \"US\"", "*ISOCountryCodes: \"US\"",
              "*ISOCountryCode: \"US\""}),
       lines({"*% *ISOCountryCode: \"US\"", "*ISOCountryCodes: \"US\"",
              "*ISOCountryCode: \"FR\""})},
      {"absent: nothing added", lines({"*A: 1"}), lines({"*A: 1"})},
      {"every line",
       lines({"*ISOCountryCode: \"US\"", "*ISOCountryCode: \"DE\""}),
       lines({"*ISOCountryCode: \"FR\"", "*ISOCountryCode: \"FR\""})},
      {"no QV retry", lines({"*QVISOCountryCode: \"US\""}),
       lines({"*QVISOCountryCode: \"US\""})},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.before;
    ppdtext::setQuotedValue(text, "ISOCountryCode", "FR");
    EXPECT_EQ(text, c.after);
  }
  std::string text = "*ISOCountryCode: \"US\"";
  ppdtext::setQuotedValue(text, "ISOCountryCode", "a\"b");
  EXPECT_EQ(text, "*ISOCountryCode: \"a\"b\"\n");
}

// Regressions found by fuzz/edit_fuzzer -----------------------------------

// A list skips empty names, but an empty name given by itself is a size like
// any other: `*PageSize /...` is its main line. Deleting one size once went
// through the list and so did nothing.
TEST(DeletePaperSize, EmptyNameAloneIsDeletedButSkippedInAList) {
  const std::string text =
      lines({"*PageSize /Blank: \"\"", "*de.PageSize /Leer: \"\"",
             "*UIConstraints: *A B *PageSize ",
             "*PaperDimension /Blank: \"1 1\"", "*PageSize A4/A4: \"\""});
  const std::string withoutEmpty = lines({"*PageSize A4/A4: \"\""});
  static constexpr std::string_view emptyName[] = {""};
  struct Case {
    const char* name;
    void (*edit)(std::string&);
    std::string after;
  };
  const Case cases[] = {
      {"alone", [](std::string& t) { ppdtext::deletePaperSize(t, ""); },
       withoutEmpty},
      {"in a list",
       [](std::string& t) { ppdtext::deletePaperSizes(t, emptyName); }, text},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string edited = text;
    c.edit(edited);
    EXPECT_EQ(edited, c.after);
  }
}

}  // namespace
