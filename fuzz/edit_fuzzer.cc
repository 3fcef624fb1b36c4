// SPDX-License-Identifier: Apache-2.0
// Fuzzes the text edits of ppdtext on arbitrary text with an arbitrary
// keyword, option and value.
//
// Input layout (FuzzedDataProvider): the last bytes pick the keyword, the
// option, the value and a list of up to four paper sizes, each mostly from a
// table of names real PPDs use; a byte of 0xC0 or more instead takes a string
// of arbitrary bytes from the front. What remains is the text. So a plain
// PPD excerpt is a usable seed as it is, and scripts/fuzz.sh appends a few
// chosen bytes to steer the seeds towards sizes they hold.
//
// The text is taken as arbitrary bytes, not only valid UTF-8: PPDs come in
// Latin-1, Shift-JIS and other encodings, the edits work on bytes and must
// keep their promises for any bytes, and mutated inputs would mostly be
// thrown away by a UTF-8 filter.
//
// Each edit runs on a fresh copy of the text and is checked three ways:
//  - the sanitizers: nothing reads or writes out of bounds;
//  - its shape: a deletion leaves the text with some of its whole lines,
//    terminators included, removed and nothing else changed; a rewrite
//    replaces stretches of whole lines by the new line, no more of them
//    than the text has lines of the keyword, and nothing else;
//    the three in a row, as a run of the tool makes them, leave the input's
//    bytes with whole lines removed and at most as many stretches rewritten
//    as it has default-duplex and country-code lines;
//  - an independent model: a slow, line-by-line version of each edit, written
//    here from the rules in ppdtext/ppdtext.h, that deletes one entry at a
//    time and searches again from where the deleted line began. The edit
//    and the model must give the same text byte for byte.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/line_edits.h"
#include "ppdtext/ppdtext.h"

namespace {

using namespace fuzz;

// scripts/fuzz.sh reads these tables from here, each from its "= {" to its
// "};", and writes indices into them after its seeds: keep the first six
// keywords and the first three values where they are.
constexpr std::string_view kKeywords[] = {
    "PageSize", "PageRegion",     "PaperDimension", "ImageableArea",
    "Duplex",   "ISOCountryCode", "QVDuplex",       "InputSlot",
    "DuQVplex", "pagesize"};
constexpr std::string_view kOptions[] = {
    "B5",        "B6",       "Postcard", "EnvChou3", "EnvYou4",
    "210x270mm", "3x5",      "Letter",   "A4",       "Postcard.Fullbleed",
    "Executive", "EnvChou4", "ISOB5",    "Env10",    ""};
constexpr std::string_view kValues[] = {
    "DuplexNoTumble", "None", "FR", "JP", "", "a\"b", "US"};

std::string pick(FuzzedDataProvider& input,
                 std::span<const std::string_view> table) {
  const auto choice = input.ConsumeIntegral<std::uint8_t>();
  if (choice < 0xC0) return std::string(table[choice % table.size()]);
  return input.ConsumeRandomLengthString(24);
}

// What is being checked, printed when a check fails.
struct Context {
  const char* edit = "";
  std::string_view keyword, option, value;
  std::span<const std::string> names;
  std::string_view text;
};
Context context;

void printEscaped(const char* label, std::string_view bytes) {
  std::fprintf(stderr, "  %s (%zu bytes): \"", label, bytes.size());
  for (unsigned char c : bytes.substr(0, 2000)) {
    if (c == '\\' || c == '"') {
      std::fprintf(stderr, "\\%c", c);
    } else if (c >= 0x20 && c < 0x7F) {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", c);
    }
  }
  std::fprintf(stderr, "%s\"\n", bytes.size() > 2000 ? "..." : "");
}

void check(bool ok, const char* what, std::string_view got = {},
           std::string_view want = {}) {
  if (ok) return;
  std::fprintf(stderr, "edit_fuzzer: %s: %s\n", context.edit, what);
  printEscaped("keyword", context.keyword);
  printEscaped("option", context.option);
  printEscaped("value", context.value);
  for (const std::string& name : context.names) printEscaped("name", name);
  printEscaped("text", context.text);
  printEscaped("got", got);
  printEscaped("want", want);
  std::abort();
}

// ---------------------------------------------------------------- lines

// Index of the line holding byte `at` (< text size).
std::size_t lineIndexOf(const std::vector<Line>& lines, std::size_t at) {
  const auto it = std::upper_bound(
      lines.begin(), lines.end(), at,
      [](std::size_t pos, const Line& line) { return pos < line.end; });
  return static_cast<std::size_t>(it - lines.begin());
}

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Whether `word` stands in `text` at `at`, ASCII letters compared without
// regard to case.
bool spellsAtIgnoringCase(std::string_view text, std::size_t at,
                          std::string_view word) {
  if (at > text.size() || word.size() > text.size() - at) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (lower(text[at + i]) != lower(word[i])) return false;
  }
  return true;
}

// Where the option begins after the keyword `word` (`*K` or `.K`) that stands
// at `at`: past one or more blanks; npos when no blank follows the keyword.
std::size_t optionAfter(std::string_view text, std::size_t at,
                        std::string_view word) {
  std::size_t p = at + word.size();
  if (p >= text.size() || !isBlank(text[p])) return std::string_view::npos;
  while (p < text.size() && isBlank(text[p])) ++p;
  return p;
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The byte after the blanks from `at` on, or '\0' at the end of the text.
char afterBlanks(std::string_view text, std::size_t at) {
  while (at < text.size() && isBlank(text[at])) ++at;
  return at < text.size() ? text[at] : '\0';
}

// End of the entry that begins on line `i`: the line alone, unless what
// follows its first colon holds an odd number of double quotes; then up to
// and including the next line with a double quote, and a `*End` line right
// after that one. A quote that no later line closes leaves the line alone.
std::size_t modelEntryEnd(std::string_view text, const std::vector<Line>& lines,
                          std::size_t i) {
  const std::string_view contents = contentsOf(text, lines[i]);
  const std::size_t colon = contents.find(':');
  if (colon == std::string_view::npos) return lines[i].end;
  const std::string_view value = contents.substr(colon + 1);
  if (std::count(value.begin(), value.end(), '"') % 2 == 0) return lines[i].end;
  for (std::size_t j = i + 1; j < lines.size(); ++j) {
    if (contentsOf(text, lines[j]).find('"') == std::string_view::npos)
      continue;
    if (j + 1 < lines.size()) {
      std::string_view next = contentsOf(text, lines[j + 1]);
      while (!next.empty() && isBlank(next.back())) next.remove_suffix(1);
      if (next == "*End") return lines[j + 1].end;
    }
    return lines[j].end;
  }
  return lines[i].end;
}

// ---------------------------------------------------------------- model

// First position at or after `from` where `needle` stands and `test` holds,
// or npos. Every position is a candidate; std::string_view::find only skips
// to the next place the needle stands.
template <typename Test>
std::size_t firstWhere(std::string_view text, std::size_t from,
                       std::string_view needle, Test test) {
  for (std::size_t at = text.find(needle, from); at != std::string_view::npos;
       at = text.find(needle, at + 1)) {
    if (test(at)) return at;
  }
  return std::string_view::npos;
}

// Deletes the entry whose first line holds byte `at`; returns where that
// line began, which is where the next search starts.
std::size_t deleteEntryAt(std::string& text, std::size_t at) {
  const std::vector<Line> lines = splitLines(text);
  const std::size_t i = lineIndexOf(lines, at);
  const std::size_t begin = lines[i].begin;
  text.erase(begin, modelEntryEnd(text, lines, i) - begin);
  return begin;
}

std::string modelDeleteOption(std::string text, std::string_view keyword,
                              std::string_view option) {
  const std::string star = "*" + std::string(keyword);
  const auto names = [&](std::size_t at, std::string_view word, char end) {
    const std::size_t name = optionAfter(text, at, word);
    if (name == std::string_view::npos || !spellsAt(text, name, option)) {
      return false;
    }
    const char after = afterBlanks(text, name + option.size());
    return after == end || after == ':';
  };

  // The main line: the first line that begins with it.
  std::optional<std::size_t> main;
  for (const Line& line : splitLines(text)) {
    if (spellsAt(text, line.begin, star) && names(line.begin, star, '/')) {
      main = line.begin;
      break;
    }
  }
  if (!main) return text;
  deleteEntryAt(text, *main);

  const std::string dot = "." + std::string(keyword);
  for (std::size_t from = 0;;) {
    // Only "/" may follow a translation's option and its blanks.
    const std::size_t at = firstWhere(text, from, dot, [&](std::size_t at) {
      const std::size_t name = optionAfter(text, at, dot);
      return name != std::string_view::npos && spellsAt(text, name, option) &&
             afterBlanks(text, name + option.size()) == '/';
    });
    if (at == std::string_view::npos) break;
    from = deleteEntryAt(text, at);
  }

  if (keyword != "PageSize" && keyword != "PageRegion") return text;
  // A constraint names the option without regard to case; the entry that
  // goes begins on the mention's line when that holds the marker, else on
  // the line that opened the quoted value the mention's line lies in.
  const auto marked = [](std::string_view contents) {
    return contents.find("UIConstraints") != std::string_view::npos;
  };
  for (std::size_t from = 0;;) {
    const std::vector<Line> lines = splitLines(text);
    std::optional<std::size_t> entry;  // line index
    firstWhere(text, from, star, [&](std::size_t at) {
      const std::size_t name = optionAfter(text, at, star);
      if (name == std::string_view::npos ||
          !spellsAtIgnoringCase(text, name, option)) {
        return false;
      }
      const std::size_t after = name + option.size();
      if (after < text.size() && !isBlank(text[after]) && text[after] != '"' &&
          text[after] != '\r' && text[after] != '\n') {
        return false;
      }
      const std::size_t i = lineIndexOf(lines, at);
      if (marked(contentsOf(text, lines[i]))) {
        entry = i;
        return true;
      }
      for (std::size_t j = i; j-- > 0;) {
        if (contentsOf(text, lines[j]).find('"') == std::string_view::npos) {
          continue;
        }
        if (modelEntryEnd(text, lines, j) > lines[i].begin &&
            marked(contentsOf(text, lines[j]))) {
          entry = j;
          return true;
        }
        return false;
      }
      return false;
    });
    if (!entry) break;
    from = deleteEntryAt(text, lines[*entry].begin);
  }
  return text;
}

// The choice a default line names, as libcups reads it: the value trimmed,
// its first and last characters dropped when it ends in a double quote, and
// cut at its first "/".
std::string_view modelDefaultChoice(std::string_view value) {
  value = trimBlanks(value);
  if (!value.empty() && value.back() == '"') {
    value = value.size() < 2 ? std::string_view()
                             : value.substr(1, value.size() - 2);
  }
  const std::size_t slash = value.find('/');
  return slash == std::string_view::npos ? value : value.substr(0, slash);
}

bool modelIsDefaultSize(std::string_view text, std::string_view name) {
  for (const Line& line : splitLines(text)) {
    for (std::string_view keyword :
         {"PageSize", "PageRegion", "PaperDimension", "ImageableArea"}) {
      if (!isKeywordLine(text, line, "Default" + std::string(keyword)))
        continue;
      const std::string_view contents = contentsOf(text, line);
      const std::string_view choice =
          modelDefaultChoice(contents.substr(contents.find(':') + 1));
      if (choice.size() == name.size() &&
          spellsAtIgnoringCase(choice, 0, name)) {
        return true;
      }
    }
  }
  return false;
}

std::string modelDeletePaperSize(std::string text, std::string_view name) {
  if (modelIsDefaultSize(text, name)) return text;
  for (std::string_view keyword :
       {"PageRegion", "PageSize", "PaperDimension", "ImageableArea"}) {
    text = modelDeleteOption(std::move(text), keyword, name);
  }
  return text;
}

// Whether option `key` has choice lines (beginning `*key`, blanks, a choice
// and "/" or ":") and none of them is `choice`, without regard to case.
bool modelLacksChoice(std::string_view text, std::string_view key,
                      std::string_view choice) {
  const std::string star = "*" + std::string(key);
  bool any = false;
  for (const Line& line : splitLines(text)) {
    if (!spellsAt(text, line.begin, star)) continue;
    const std::size_t name = optionAfter(text, line.begin, star);
    if (name == std::string_view::npos) continue;
    std::size_t end = name;
    while (end < text.size() && text[end] != '/' && text[end] != ':' &&
           !isBlank(text[end]) && text[end] != '\r' && text[end] != '\n') {
      ++end;
    }
    const char separator = afterBlanks(text, end);
    if (separator != '/' && separator != ':') continue;
    const std::string_view found = text.substr(name, end - name);
    if (found.size() == choice.size() &&
        spellsAtIgnoringCase(found, 0, choice)) {
      return false;
    }
    any = true;
  }
  return any;
}

// The entry of every `*<key>:` line replaced by `line`, one at a time, each
// search going on after the line just written.
std::string modelRewriteEntries(std::string text, std::string_view key,
                                std::string_view line) {
  for (std::size_t i = 0;; ++i) {
    const std::vector<Line> lines = splitLines(text);
    while (i < lines.size() && !isKeywordLine(text, lines[i], key)) ++i;
    if (i == lines.size()) return text;
    const std::size_t begin = lines[i].begin;
    text.replace(begin, modelEntryEnd(text, lines, i) - begin, line);
    i = lineIndexOf(splitLines(text), begin + line.size() - 1);
  }
}

// The default of option `key` set to `value`: nullopt when there is no
// default line; the text as it is when the option's default stays.
std::optional<std::string> modelSetDefaultOf(
    const std::string& text, std::string_view key, std::string_view value,
    std::span<const std::string_view> keep) {
  const std::string defaultKey = "Default" + std::string(key);
  if (countKeywordLines(text, {defaultKey}) == 0) return std::nullopt;
  if (std::find(keep.begin(), keep.end(), key) != keep.end()) return text;
  if (modelLacksChoice(text, key, value)) return text;
  return modelRewriteEntries(
      text, defaultKey, "*" + defaultKey + ": " + std::string(value) + "\n");
}

std::string modelSetDefault(const std::string& text, std::string_view keyword,
                            std::string_view value,
                            std::span<const std::string_view> keep) {
  std::optional<std::string> set =
      modelSetDefaultOf(text, keyword, value, keep);
  if (!set && keyword.find("QV") == std::string_view::npos) {
    set = modelSetDefaultOf(text, "QV" + std::string(keyword), value, keep);
  }
  return set.value_or(text);
}

std::string modelSetQuotedValue(const std::string& text,
                                std::string_view keyword,
                                std::string_view value) {
  return modelRewriteEntries(
      text, keyword,
      "*" + std::string(keyword) + ": \"" + std::string(value) + "\"\n");
}

// ---------------------------------------------------------------- edits

// Checks an edit's result against its shape and its model.
void checkEdit(std::string_view before, const std::string& after,
               const std::string& model,
               std::span<const std::string> newLines = {}, int rewritable = 0) {
  check(editsWholeLines(before, after, newLines, rewritable),
        newLines.empty() ? "the result is not the text with whole lines removed"
                         : "the result is not the text with only the keyword's "
                           "entries replaced by the new line",
        after);
  check(after == model, "the result differs from the line-by-line model", after,
        model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string keyword = pick(input, kKeywords);
  const std::string option = pick(input, kOptions);
  const std::string value = pick(input, kValues);
  std::vector<std::string> names(input.ConsumeIntegral<std::uint8_t>() % 5);
  for (std::string& name : names) name = pick(input, kOptions);
  // The options whose default stays: none, one of the duplex options, or
  // the keyword itself.
  const std::string qvKeyword = "QV" + keyword;
  const std::string_view keepChoices[] = {"Duplex", "QVDuplex", keyword,
                                          qvKeyword};
  const std::uint8_t keepPick = input.ConsumeIntegral<std::uint8_t>() % 5;
  const std::span<const std::string_view> keep =
      keepPick == 0 ? std::span<const std::string_view>()
                    : std::span(keepChoices).subspan(keepPick - 1, 1);
  const std::string before = input.ConsumeRemainingBytesAsString();
  context = {"", keyword, option, value, names, before};
  const std::vector<std::string_view> views(names.begin(), names.end());

  {
    context.edit = "ppdtext::deleteOption";
    std::string text = before;
    ppdtext::deleteOption(text, keyword, option);
    checkEdit(before, text, modelDeleteOption(before, keyword, option));
  }
  {
    context.edit = "ppdtext::deletePaperSize";
    std::string text = before;
    ppdtext::deletePaperSize(text, option);
    checkEdit(before, text, modelDeletePaperSize(before, option));
  }
  {
    context.edit = "ppdtext::deletePaperSizes";
    std::string text = before;
    ppdtext::deletePaperSizes(text, views);
    std::string model = before;
    for (std::string_view name : views) {
      if (!name.empty()) model = modelDeletePaperSize(std::move(model), name);
    }
    checkEdit(before, text, model);
  }
  {
    context.edit = "ppdtext::setDefault";
    std::string text = before;
    ppdtext::setDefault(text, keyword, value, keep);
    const std::string newLines[] = {
        "*Default" + keyword + ": " + value + "\n",
        "*DefaultQV" + keyword + ": " + value + "\n"};
    checkEdit(before, text, modelSetDefault(before, keyword, value, keep),
              newLines,
              countKeywordLines(before,
                                {"Default" + keyword, "DefaultQV" + keyword}));
  }
  {
    context.edit = "ppdtext::setDefaults";
    std::string text = before;
    const std::string_view keywords[] = {keyword};
    ppdtext::setDefaults(text, keywords, value);
    const std::string newLine[] = {"*Default" + keyword + ": " + value + "\n"};
    checkEdit(before, text,
              modelRewriteEntries(before, "Default" + keyword, newLine[0]),
              newLine, countKeywordLines(before, {"Default" + keyword}));
  }
  if (value.find_first_of("\r\n") == std::string::npos) {
    // The sizes deleted and a new default size written in one pass: as the
    // two edits one after the other.
    context.edit = "ppdtext::deletePaperSizes with a new default";
    constexpr std::string_view kPageKeywords[] = {
        "PageRegion", "PageSize", "PaperDimension", "ImageableArea"};
    const std::string_view chosen[] = {
        kPageKeywords[keepPick % std::size(kPageKeywords)]};
    std::string text = before;
    ppdtext::deletePaperSizes(text, views, {chosen, value});
    std::string model = before;
    for (std::string_view name : views) {
      if (!name.empty()) model = modelDeletePaperSize(std::move(model), name);
    }
    const std::string key = "Default" + std::string(chosen[0]);
    model = modelRewriteEntries(model, key, "*" + key + ": " + value + "\n");
    check(text == model, "the result differs from the line-by-line model", text,
          model);
  }
  {
    context.edit = "ppdtext::setQuotedValue";
    std::string text = before;
    ppdtext::setQuotedValue(text, keyword, value);
    const std::string newLine[] = {"*" + keyword + ": \"" + value + "\"\n"};
    checkEdit(before, text, modelSetQuotedValue(before, keyword, value),
              newLine, countKeywordLines(before, {keyword}));
  }
  if (value.find_first_of("\r\n") == std::string::npos) {
    // A run of the tool: sizes deleted, then the duplex default and the
    // country code set. (A value holding a line end would let the second
    // rewrite find its line inside the first.)
    context.edit = "the three edits in a row";
    std::string text = before;
    ppdtext::deletePaperSizes(text, views);
    ppdtext::setDefault(text, "Duplex", value, keep);
    ppdtext::setQuotedValue(text, "ISOCountryCode", value);
    const std::string newLines[] = {"*DefaultDuplex: " + value + "\n",
                                    "*DefaultQVDuplex: " + value + "\n",
                                    "*ISOCountryCode: \"" + value + "\"\n"};
    // Every default and country-code line may be rewritten, and no more.
    const int rewritable = countKeywordLines(
        before, {"DefaultDuplex", "DefaultQVDuplex", "ISOCountryCode"});
    check(editsWholeLines(before, text, newLines, rewritable),
          "the result is not the text with whole lines removed and only its "
          "default and country-code lines rewritten",
          text);
  }
  return 0;
}
