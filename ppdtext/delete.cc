// SPDX-License-Identifier: Apache-2.0
// Deleting paper sizes from the PPD text by deleteOption's rules (ppdtext.h):
//  1. findEntries: one scan notes the entries whose first line names a page
//     keyword with a size to delete (kind, keyword, option), and the page
//     keywords' default lines;
//  2. one filter per rule picks entries, in the contract's order:
//     isMainLine, isTranslation, isConstraint (SizeDeletion::deleteOption);
//  3. the picked entries are erased together (~SizeDeletion).
// A deletion removes whole lines, so it neither makes a mention nor changes a
// line that stays; it can only change where an entry picked after it ends
// (SizeDeletion::endOf, the one place where the order of picking shows).
#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "ppdtext/lines.h"
#include "ppdtext/ppdtext.h"

namespace {

using ppdtext::isBlank;
using ppdtext::LineBounds;
using ppdtext::lineBounds;
using ppdtext::npos;

constexpr std::string_view kPageKeywords[] = {
    "PageRegion", "PageSize", "PaperDimension", "ImageableArea"};

/// How an entry's first line names a keyword K.
enum class Kind : std::uint8_t {
  MainLine,     ///< begins with `*K` and blanks
  Translation,  ///< holds `.K` and blanks (`*de.PageSize B5/...`)
  Default,      ///< a `*DefaultK:` keyword line
  Other,        ///< holds `*K` and blanks elsewhere: a constraint, a value
};

/// An entry that names a page keyword.
struct Entry {
  std::size_t begin;     ///< first byte of its first line
  std::size_t lineEnd;   ///< end of its first line, terminator included
  std::size_t end;       ///< its end in the text before any deletion
  std::size_t at;        ///< the "*" or "." before the keyword
  std::size_t option;    ///< where the option begins, after the blanks
  std::uint8_t keyword;  ///< index into the keywords searched for
  Kind kind;
};

Entry entryAt(std::string_view text, std::size_t at, std::size_t option,
              std::size_t keyword, Kind kind) {
  const LineBounds line = lineBounds(text, at);
  return {line.begin, line.end, ppdtext::entryEnd(text, line),
          at,         option,   static_cast<std::uint8_t>(keyword),
          kind};
}

bool startsWithIgnoringCase(std::string_view text, std::size_t pos,
                            std::string_view name) {
  return ppdtext::equalsIgnoringCase(text.substr(pos, name.size()), name);
}

/// What findEntries finds: for each name, the entries whose option begins
/// with it in any letter case; and the default lines; each in text order.
struct Entries {
  std::vector<std::vector<Entry>> byName;
  std::vector<Entry> defaults;
  /// For each byte: whether a name may begin with it, in any letter case.
  std::array<bool, 256> mayBeginName{};

  /// Notes the entry where keyword k is spelled at `pos` after a "*", a "."
  /// or a line's "*Default", if it is one of those.
  void note(std::string_view text, std::span<const std::string_view> names,
            std::string_view keyword, std::size_t k, std::size_t pos) {
    const std::size_t after = pos + keyword.size();
    // The last letters tell the page keywords apart at once.
    if (after >= text.size() ||
        (!keyword.empty() && text[after - 1] != keyword.back()) ||
        text.compare(pos, keyword.size(), keyword) != 0)
      return;
    std::size_t option = after;
    while (option < text.size() && isBlank(text[option])) ++option;
    const char before = text[pos - 1];
    if (before != '*' && before != '.') {
      if (pos >= 8 && text.compare(pos - 8, 8, "*Default") == 0 &&
          ppdtext::isLineStart(text, pos - 8) && option < text.size() &&
          text[option] == ':')
        defaults.push_back(entryAt(text, pos - 8, option, k, Kind::Default));
      return;
    }
    if (option == after ||
        (option < text.size() &&
         !mayBeginName[static_cast<unsigned char>(text[option])]))
      return;
    const Kind kind = before == '.'                         ? Kind::Translation
                      : ppdtext::isLineStart(text, pos - 1) ? Kind::MainLine
                                                            : Kind::Other;
    for (std::size_t n = 0; n < names.size(); ++n) {
      if (startsWithIgnoringCase(text, option, names[n]))
        byName[n].push_back(entryAt(text, pos - 1, option, k, kind));
    }
  }
};

/// Step 1: one scan of the text, one search for each first letter of the
/// keywords.
Entries findEntries(std::string_view text,
                    std::span<const std::string_view> keywords,
                    std::span<const std::string_view> names) {
  Entries out{std::vector<std::vector<Entry>>(names.size()), {}, {}};
  for (std::size_t c = 0; c < 256; ++c) {
    const char letter[] = {static_cast<char>(c)};
    out.mayBeginName[c] = std::ranges::any_of(names, [&](std::string_view n) {
      return startsWithIgnoringCase({letter, 1}, 0, n.substr(0, 1));
    });
  }
  std::string searched;  // the first letters searched for
  for (std::size_t k = 0; k < keywords.size(); ++k) {
    if (keywords[k].empty()) {  // an empty keyword stands everywhere
      for (std::size_t pos = 1; pos <= text.size(); ++pos)
        out.note(text, names, keywords[k], k, pos);
      continue;
    }
    const char first = keywords[k].front();
    if (searched.find(first) != npos) continue;
    searched += first;
    for (std::size_t pos = text.find(first, 1); pos != npos;
         pos = text.find(first, pos + 1)) {
      // Most hits are in other words: only `*K`, `.K` and `*DefaultK` count.
      const char before = text[pos - 1];
      if (before != '*' && before != '.' &&
          (before != 't' || pos < 8 || text.compare(pos - 8, 8, "*Default")))
        continue;
      for (std::size_t other = k; other < keywords.size(); ++other) {
        if (keywords[other].starts_with(first))
          out.note(text, names, keywords[other], other, pos);
      }
    }
  }
  for (auto& entries : out.byName) std::ranges::sort(entries, {}, &Entry::at);
  std::ranges::sort(out.defaults, {}, &Entry::at);
  return out;
}

/// The deletion of sizes from one text.
class SizeDeletion {
 public:
  SizeDeletion(std::string& text, std::span<const std::string_view> keywords,
               std::span<const std::string_view> names,
               const ppdtext::DefaultSize* newDefault = nullptr)
      : text_(text),
        keywords_(keywords),
        names_(names),
        newDefault_(newDefault),
        entries_(findEntries(text, keywords, names)),
        left_(text) {}
  SizeDeletion(const SizeDeletion&) = delete;
  SizeDeletion& operator=(const SizeDeletion&) = delete;
  ~SizeDeletion() {  // step 3
    if (newDefault_ == nullptr) {
      ppdtext::eraseRanges(text_, left_.gaps());
    } else {
      replaceDefaultsAndErase();
    }
  }

  /// Deletes option names[n] of keywords[k], rule by rule.
  void deleteOption(std::size_t k, std::size_t n) {
    const std::string_view option = names_[n];
    std::vector<const Entry*> entries;
    for (const Entry& e : entries_.byName[n]) {
      if (e.keyword == k && isLeft(e)) entries.push_back(&e);
    }
    // 1. The main line.
    const auto main = std::ranges::find_if(
        entries, [&](const Entry* e) { return isMainLine(*e, option); });
    if (main == entries.end()) return;
    pick(**main);
    // 2. The translations.
    for (const Entry* e : entries) {
      if (isLeft(*e) && isTranslation(*e, option)) pick(*e);
    }
    // 3. The constraints.
    if (keywords_[k] != "PageSize" && keywords_[k] != "PageRegion") return;
    for (const Entry* e : entries) {
      if (!isLeft(*e) || !isConstraint(*e, option)) continue;
      const std::size_t opener = constraintOpener(*e);
      pick(opener == npos ? *e
                          : entryAt(text_, opener, opener, k, Kind::Other));
    }
  }

  /// Deletes names[n] from every keyword, unless a default line left names
  /// it (deletePaperSize's rule).
  void deleteSize(std::size_t n) {
    for (const Entry& e : entries_.defaults) {
      const LineBounds line = lineBounds(text_, e.begin);
      if (isLeft(e) && ppdtext::equalsIgnoringCase(
                           ppdtext::defaultChoice(text_, line), names_[n]))
        return;
    }
    for (std::size_t k = 0; k < keywords_.size(); ++k) deleteOption(k, n);
  }

 private:
  // Rule 1: the line begins `*K`, blanks, `O/` or `O:`.
  bool isMainLine(const Entry& e, std::string_view option) const {
    const char separator = separatorAfter(e, option);
    return e.kind == Kind::MainLine && (separator == '/' || separator == ':');
  }

  // Rule 2: the line holds `.K`, blanks, `O/`; `.K O:` is no translation.
  bool isTranslation(const Entry& e, std::string_view option) const {
    return e.kind == Kind::Translation && separatorAfter(e, option) == '/';
  }

  // Rule 3: `*K`, blanks and O in any letter case before a blank, a quote, a
  // line end or the text end, where the entry holding it begins on a line
  // holding "UIConstraints": this line, or the one that opened the quoted
  // value this line lies in (constraintOpener).
  bool isConstraint(const Entry& e, std::string_view option) const {
    if (e.kind == Kind::Translation ||
        !startsWithIgnoringCase(text_, e.option, option))
      return false;
    const std::size_t after = e.option + option.size();
    if (after < text_.size() && !isBlank(text_[after]) && text_[after] != '"' &&
        ppdtext::terminatorLength(text_, after) == 0)
      return false;
    return holdsConstraintMarker(e.begin) || constraintOpener(e) != npos;
  }

  // Where the line begins that opened the quoted value e's line lies in (the
  // nearest line left before it holding a quote, its entry running past it)
  // when that line holds "UIConstraints" and e's does not; else npos.
  std::size_t constraintOpener(const Entry& e) const {
    if (holdsConstraintMarker(e.begin)) return npos;
    const std::size_t opener = left_.quotedLineBefore(e.begin);
    if (opener == npos || !holdsConstraintMarker(opener) ||
        endOf(entryAt(text_, opener, opener, 0, Kind::Other)) <= e.begin)
      return npos;
    return opener;
  }

  bool isLeft(const Entry& e) const { return !left_.inGap(e.at); }

  // The fix-up: where `e` ends once the entries picked before it are gone.
  // Its end as found stands unless it depends on the text after its first
  // line: a quoted value runs on through the first line left holding a quote
  // (and a `*End` right after), a line ending in CR takes an LF it meets.
  std::size_t endOf(const Entry& e) const {
    if (e.end == e.lineEnd && text_[e.lineEnd - 1] != '\r') return e.end;
    return left_.entryEnd(e.begin);
  }

  void pick(const Entry& e) { left_.takeOut({e.begin, endOf(e)}); }

  // The byte after the option (compared exactly) and the blanks after it;
  // '\0' when the entry names another option or the text ends there.
  char separatorAfter(const Entry& e, std::string_view option) const {
    if (std::string_view(text_).substr(e.option, option.size()) != option)
      return '\0';
    std::size_t after = e.option + option.size();
    while (after < text_.size() && isBlank(text_[after])) ++after;
    return after < text_.size() ? text_[after] : '\0';
  }

  // Whether the line at `pos` holds "UIConstraints", the marker of
  // `*UIConstraints`, `*NonUIConstraints` and `*cupsUIConstraints`.
  bool holdsConstraintMarker(std::size_t pos) const {
    const LineBounds line = lineBounds(text_, pos);
    return ppdtext::find(text_, "UIConstraints", line.begin,
                         line.contentsEnd) != npos;
  }

  // Step 3 with a new default size: the default lines of its keywords that
  // are left, found as setDefaults finds them in the text that is left,
  // become the new line in the same copy that drops the picked entries.
  void replaceDefaultsAndErase() {
    struct Replacement {
      ppdtext::Range range;
      std::string line;
    };
    std::vector<Replacement> replacements;
    std::size_t from = 0;  // a line inside a replaced entry goes with it
    for (const Entry& e : entries_.defaults) {
      const std::string_view keyword = keywords_[e.keyword];
      if (e.begin < from || !isLeft(e) ||
          std::ranges::find(newDefault_->keywords, keyword) ==
              newDefault_->keywords.end())
        continue;
      from = endOf(e);
      replacements.push_back({{e.begin, from},
                              ppdtext::concat({"*Default", keyword, ": ",
                                               newDefault_->value, "\n"})});
    }
    std::string out;
    out.reserve(text_.size());
    std::size_t copied = 0;
    auto next = replacements.begin();
    for (const ppdtext::Range& gap : left_.gaps()) {
      for (; next != replacements.end() && next->range.begin < gap.begin;
           ++next) {
        out.append(text_, copied, next->range.begin - copied);
        out += next->line;
        copied = next->range.end;
      }
      if (gap.begin < copied) continue;  // within a replaced entry
      out.append(text_, copied, gap.begin - copied);
      copied = gap.end;
    }
    for (; next != replacements.end(); ++next) {
      out.append(text_, copied, next->range.begin - copied);
      out += next->line;
      copied = next->range.end;
    }
    out.append(text_, copied);
    text_ = std::move(out);
  }

  std::string& text_;
  std::span<const std::string_view> keywords_;
  std::span<const std::string_view> names_;
  const ppdtext::DefaultSize* newDefault_;
  Entries entries_;
  ppdtext::TextWithGaps left_;  ///< the text without the entries picked
};

}  // namespace

namespace ppdtext {

void deleteOption(std::string& text, std::string_view keyword,
                  std::string_view option) {
  SizeDeletion(text, {&keyword, 1}, {&option, 1}).deleteOption(0, 0);
}

void deletePaperSize(std::string& text, std::string_view name) {
  SizeDeletion(text, kPageKeywords, {&name, 1}).deleteSize(0);
}

void deletePaperSizes(std::string& text,
                      std::span<const std::string_view> names) {
  std::vector<std::string_view> listed;  // a list skips empty names
  std::ranges::copy_if(names, std::back_inserter(listed),
                       [](std::string_view name) { return !name.empty(); });
  if (listed.empty()) return;
  // A name listed twice is deleted twice: the second time from what is left.
  SizeDeletion deletion(text, kPageKeywords, listed);
  for (std::size_t n = 0; n < listed.size(); ++n) deletion.deleteSize(n);
}

void deletePaperSizes(std::string& text,
                      std::span<const std::string_view> names,
                      const DefaultSize& newDefault) {
  std::vector<std::string_view> listed;
  std::ranges::copy_if(names, std::back_inserter(listed),
                       [](std::string_view name) { return !name.empty(); });
  SizeDeletion deletion(text, kPageKeywords, listed, &newDefault);
  for (std::size_t n = 0; n < listed.size(); ++n) deletion.deleteSize(n);
}

}  // namespace ppdtext
