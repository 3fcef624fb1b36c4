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

#include "ppdtext/entries.h"
#include "ppdtext/lines.h"
#include "ppdtext/ppdtext.h"

namespace {

using ppdtext::Entries;
using ppdtext::Entry;
using ppdtext::entryAt;
using ppdtext::findEntries;
using ppdtext::isBlank;
using ppdtext::Kind;
using ppdtext::LineBounds;
using ppdtext::lineBounds;
using ppdtext::npos;
using ppdtext::startsWithIgnoringCase;

constexpr std::string_view kPageKeywords[] = {
    "PageRegion", "PageSize", "PaperDimension", "ImageableArea"};

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
    std::vector<ppdtext::Replacement> replacements;
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
    ppdtext::editRanges(text_, left_.gaps(), replacements);
  }

  std::string& text_;
  std::span<const std::string_view> keywords_;
  std::span<const std::string_view> names_;
  const ppdtext::DefaultSize* newDefault_;
  Entries entries_;
  ppdtext::TextWithGaps left_;  ///< the text without the entries picked
};

// Deletes every size of `names` (empty ones skipped) and, with a
// `newDefault`, writes it. A name listed twice is deleted twice: the second
// time from what is left.
void deleteSizes(std::string& text, std::span<const std::string_view> names,
                 const ppdtext::DefaultSize* newDefault) {
  std::vector<std::string_view> listed;
  std::ranges::copy_if(names, std::back_inserter(listed),
                       [](std::string_view name) { return !name.empty(); });
  if (listed.empty() && newDefault == nullptr) return;
  SizeDeletion deletion(text, kPageKeywords, listed, newDefault);
  for (std::size_t n = 0; n < listed.size(); ++n) deletion.deleteSize(n);
}

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
  deleteSizes(text, names, nullptr);
}

void deletePaperSizes(std::string& text,
                      std::span<const std::string_view> names,
                      const DefaultSize& newDefault) {
  deleteSizes(text, names, &newDefault);
}

}  // namespace ppdtext
