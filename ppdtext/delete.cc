// SPDX-License-Identifier: Apache-2.0
// Deleting paper sizes from the PPD text: deleteOption's rules in ppdtext.h.
//
// Three steps, each read in its own place below:
//  1. findEntries: one scan notes every entry whose first line names a page
//     keyword with one of the sizes to delete, with its kind, keyword and
//     option, and the default lines of the page keywords;
//  2. the rules pick entries: isMainLine, isTranslation and isConstraint,
//     one filter each, asked in the contract's order (SizeDeletion);
//  3. the picked entries are erased together at the end.
// A deletion only removes whole lines, so it neither creates a mention nor
// changes a line that stays. What it can change is where a later-picked
// entry ends: a quoted value runs on through the first line holding a quote
// that is still there, and a line ending in CR takes the LF that a deletion
// brings up against it. Deletions::endOf reads those ends through the
// entries already picked; that is the only place the order of picking shows.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ppdtext/lines.h"
#include "ppdtext/ppdtext.h"

namespace {

using ppdtext::isBlank;
using ppdtext::LineBounds;
using ppdtext::lineBounds;
using ppdtext::npos;
using ppdtext::Range;

constexpr std::string_view kPageKeywords[] = {
    "PageRegion", "PageSize", "PaperDimension", "ImageableArea"};

/// How an entry's first line names a keyword K.
enum class Kind : std::uint8_t {
  MainLine,     ///< begins with `*K` and blanks
  Translation,  ///< holds `.K` and blanks (`*de.PageSize B5/...`)
  Default,      ///< a `*DefaultK:` keyword line
  Other,        ///< holds `*K` and blanks elsewhere: a constraint, a value
};

/// An entry that names a page keyword, found by findEntries.
struct Entry {
  std::size_t begin;     ///< first byte of its first line
  std::size_t lineEnd;   ///< end of its first line, terminator included
  std::size_t end;       ///< its end in the text as it was before any deletion
  std::size_t at;        ///< the "*" or "." before the keyword
  std::size_t option;    ///< where the option begins, after the blanks
  std::uint8_t keyword;  ///< index into the keywords searched for
  Kind kind;
};

/// The entries of a text that may name one of the names, in text order.
struct Entries {
  std::vector<Entry> all;
  /// For each name, the indices into `all` of the entries whose option
  /// begins with the name in any letter case.
  std::vector<std::vector<std::uint32_t>> byName;
  std::vector<Entry> defaults;  ///< the keywords' default lines
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

/// Notes what stands where keyword k is spelled at `pos` (just after a
/// "*", "." or "*Default"), if it is one of the entries findEntries keeps.
void noteEntry(std::string_view text, std::span<const std::string_view> names,
               std::string_view keyword, std::size_t k, std::size_t pos,
               Entries& out) {
  const std::size_t after = pos + keyword.size();
  if (after >= text.size() || text.compare(pos, keyword.size(), keyword) != 0)
    return;
  std::size_t option = after;
  while (option < text.size() && isBlank(text[option])) ++option;
  const char before = text[pos - 1];
  if ((before == '*' || before == '.') && option > after) {
    bool any = false;
    for (std::size_t n = 0; n < names.size(); ++n) {
      if (!startsWithIgnoringCase(text, option, names[n])) continue;
      if (!any) {
        const Kind kind = before == '.' ? Kind::Translation
                          : ppdtext::isLineStart(text, pos - 1) ? Kind::MainLine
                                                                : Kind::Other;
        out.all.push_back(entryAt(text, pos - 1, option, k, kind));
      }
      any = true;
      out.byName[n].push_back(static_cast<std::uint32_t>(out.all.size() - 1));
    }
  }
  if (pos >= 8 && text.compare(pos - 8, 8, "*Default") == 0 &&
      ppdtext::isLineStart(text, pos - 8) && option < text.size() &&
      text[option] == ':') {
    out.defaults.push_back(entryAt(text, pos - 8, option, k, Kind::Default));
  }
}

/// Step 1: one scan of the text for the keywords, one search for each first
/// letter, noting the entries that may name one of the names.
Entries findEntries(std::string_view text,
                    std::span<const std::string_view> keywords,
                    std::span<const std::string_view> names) {
  Entries out{{}, std::vector<std::vector<std::uint32_t>>(names.size()), {}};
  std::string searched;  // the first letters already searched for
  for (std::size_t k = 0; k < keywords.size(); ++k) {
    const std::string_view keyword = keywords[k];
    if (keyword.empty()) {  // an empty keyword stands everywhere
      for (std::size_t pos = 1; pos <= text.size(); ++pos)
        noteEntry(text, names, keyword, k, pos, out);
      continue;
    }
    if (searched.find(keyword.front()) != npos) continue;
    searched += keyword.front();
    for (std::size_t pos = text.find(keyword.front(), 1); pos != npos;
         pos = text.find(keyword.front(), pos + 1)) {
      for (std::size_t other = k; other < keywords.size(); ++other) {
        if (keywords[other].starts_with(keyword.front()))
          noteEntry(text, names, keywords[other], other, pos, out);
      }
    }
  }
  // The searches noted in text order each; put them in one order, keeping
  // each entry's place in byName.
  if (std::ranges::is_sorted(out.all, {}, &Entry::at)) return out;
  std::vector<std::uint32_t> order(out.all.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::ranges::stable_sort(order, {},
                           [&](std::uint32_t i) { return out.all[i].at; });
  std::vector<std::uint32_t> place(order.size());
  std::vector<Entry> sorted;
  for (std::uint32_t i = 0; i < order.size(); ++i) {
    place[order[i]] = i;
    sorted.push_back(out.all[order[i]]);
  }
  out.all = std::move(sorted);
  for (auto& list : out.byName) {
    for (std::uint32_t& i : list) i = place[i];
    std::ranges::sort(list);
  }
  std::ranges::stable_sort(out.defaults, {}, &Entry::at);
  return out;
}

/// The entries picked so far, as byte ranges of the text as it was: what is
/// left is the text without them.
class Deletions {
 public:
  explicit Deletions(std::string_view text) : text_(text) {}

  /// Whether `pos` lies in a picked entry.
  bool holds(std::size_t pos) const {
    auto it = picked_.upper_bound(pos);
    return it != picked_.begin() && std::prev(it)->second > pos;
  }

  /// Picks the entry that begins on the line at `begin`, a line that is
  /// left; returns false, picking nothing, when the line is gone.
  void pick(std::size_t begin, std::size_t end) {
    picked_.erase(picked_.lower_bound(begin), picked_.lower_bound(end));
    picked_.emplace(begin, end);
  }

  /// The fix-up: where the entry ends in the text that is left. Its end as
  /// found stands unless it depends on the lines after it: a quoted value
  /// runs on through the first line left that holds a quote, with a `*End`
  /// line right after it; and a line ending in CR ends after the LF of an
  /// empty line that picked entries bring up against it.
  std::size_t endOf(const Entry& e) const {
    if (e.end == e.lineEnd && !endsInCr(e.lineEnd)) return e.end;
    const LineBounds first = lineBounds(text_, e.begin);
    if (!ppdtext::opensQuotedValue(text_, first)) return lineEnd(first);
    for (std::size_t next = skip(lineEnd(first)); next < text_.size();) {
      const LineBounds later = lineBounds(text_, next);
      if (ppdtext::find(text_, "\"", later.begin, later.contentsEnd) == npos) {
        next = skip(lineEnd(later));
        continue;
      }
      const std::size_t end = lineEnd(later);
      const std::size_t after = skip(end);
      if (after == text_.size()) return end;
      const LineBounds last = lineBounds(text_, after);
      std::string_view contents =
          text_.substr(last.begin, last.contentsEnd - last.begin);
      while (!contents.empty() && isBlank(contents.back()))
        contents.remove_suffix(1);
      return contents == "*End" ? lineEnd(last) : end;
    }
    return lineEnd(first);  // never closed: the line alone
  }

  /// Where the nearest line left before `begin` that holds a double quote
  /// begins, or npos.
  std::size_t quotedLineBefore(std::size_t begin) const {
    while (begin > 0) {
      const void* quote = memrchr(text_.data(), '"', begin);
      if (quote == nullptr) return npos;
      const std::size_t line =
          lineBounds(text_, static_cast<std::size_t>(
                                static_cast<const char*>(quote) - text_.data()))
              .begin;
      if (!holds(line)) return line;
      begin = std::prev(picked_.upper_bound(line))->first;
    }
    return npos;
  }

  /// Whether a line left from `begin` on holds a double quote.
  bool quoteFrom(std::size_t begin) const {
    for (std::size_t pos = text_.find('"', begin); pos != npos;
         pos = text_.find('"', pos)) {
      if (!holds(pos)) return true;
      pos = std::prev(picked_.upper_bound(pos))->second;
    }
    return false;
  }

  /// The picked ranges, sorted and disjoint.
  std::vector<Range> ranges() const {
    std::vector<Range> out;
    for (const auto& [begin, end] : picked_) out.push_back({begin, end});
    return out;
  }

 private:
  bool endsInCr(std::size_t end) const { return text_[end - 1] == '\r'; }

  // Past the picked entries that begin at `pos`.
  std::size_t skip(std::size_t pos) const {
    for (auto it = picked_.find(pos); it != picked_.end();
         it = picked_.find(pos))
      pos = it->second;
    return pos;
  }

  // The end of a line that is left, with the LF it takes.
  std::size_t lineEnd(const LineBounds& line) const {
    if (line.end == line.contentsEnd || !endsInCr(line.end)) return line.end;
    const std::size_t next = skip(line.end);
    return next < text_.size() && text_[next] == '\n' ? next + 1 : line.end;
  }

  std::string_view text_;
  std::map<std::size_t, std::size_t> picked_;  ///< begin -> end
};

/// The deletion of sizes from one text.
class SizeDeletion {
 public:
  SizeDeletion(std::string& text, std::span<const std::string_view> keywords,
               std::span<const std::string_view> names)
      : text_(text),
        names_(names),
        entries_(findEntries(text, keywords, names)),
        deletions_(text),
        keywords_(keywords) {}
  SizeDeletion(const SizeDeletion&) = delete;
  SizeDeletion& operator=(const SizeDeletion&) = delete;
  /// Step 3: one erase.
  ~SizeDeletion() { ppdtext::eraseRanges(text_, deletions_.ranges()); }

  /// Deletes option names[n] of keywords[k], as deleteOption does, rule by
  /// rule.
  void deleteOption(std::size_t k, std::size_t n) {
    const std::vector<const Entry*> entries = leftNaming(k, n);
    const std::string_view option = names_[n];
    // 1. The main line: the first, or nothing at all.
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
      if (isLeft(*e) && isConstraint(*e, option)) pick(constraintEntry(*e));
    }
  }

  /// Deletes names[n] from every keyword, unless a default line left names
  /// it.
  void deleteSize(std::size_t n) {
    if (std::ranges::any_of(entries_.defaults, [&](const Entry& e) {
          return namesAsDefault(e, names_[n]);
        }))
      return;
    for (std::size_t k = 0; k < keywords_.size(); ++k) deleteOption(k, n);
  }

 private:
  // Rule 1: `*K`, blanks, `O/` or `O:` at the start of the line.
  bool isMainLine(const Entry& e, std::string_view option) const {
    if (e.kind != Kind::MainLine) return false;
    const char separator = separatorAfter(e, option);
    return separator == '/' || separator == ':';
  }

  // Rule 2: `.K`, blanks, `O/` anywhere in the line; `.K O:` is not one.
  bool isTranslation(const Entry& e, std::string_view option) const {
    return e.kind == Kind::Translation && separatorAfter(e, option) == '/';
  }

  // Rule 3: `*K`, blanks and O in any letter case before a blank, a quote, a
  // line end or the text end, in an entry whose first line holds
  // "UIConstraints": the mention's own line, or the one that opened the
  // quoted value the mention lies in.
  bool isConstraint(const Entry& e, std::string_view option) const {
    if (e.kind != Kind::MainLine && e.kind != Kind::Other) return false;
    const std::size_t after = e.option + option.size();
    if (after > text_.size() ||
        !startsWithIgnoringCase(text_, e.option, option) ||
        !(after == text_.size() || isBlank(text_[after]) ||
          text_[after] == '"' || ppdtext::terminatorLength(text_, after) > 0))
      return false;
    return holdsConstraintMarker(e.begin) || constraintOpener(e) != npos;
  }

  // The rule of deletePaperSize: a default line naming the size keeps it.
  bool namesAsDefault(const Entry& e, std::string_view name) const {
    return isLeft(e) &&
           ppdtext::equalsIgnoringCase(
               ppdtext::defaultChoice(text_, lineBounds(text_, e.begin)), name);
  }

  // The entry a constraint mention deletes: its line's, or the opener's.
  Entry constraintEntry(const Entry& e) const {
    if (holdsConstraintMarker(e.begin)) return e;
    return entryAt(text_, constraintOpener(e), e.option, e.keyword,
                   Kind::Other);
  }

  // The line that opened the quoted value e's line lies in, if that line
  // holds "UIConstraints": the nearest line before it holding a quote,
  // opening a value that runs on to e's line; or npos.
  std::size_t constraintOpener(const Entry& e) const {
    const std::size_t opener = deletions_.quotedLineBefore(e.begin);
    if (opener == npos || !holdsConstraintMarker(opener) ||
        !ppdtext::opensQuotedValue(text_, lineBounds(text_, opener)) ||
        !deletions_.quoteFrom(e.begin))
      return npos;
    return opener;
  }

  // The entries left that may name names[n] with keyword k, in text order.
  std::vector<const Entry*> leftNaming(std::size_t k, std::size_t n) const {
    std::vector<const Entry*> out;
    for (std::uint32_t i : entries_.byName[n]) {
      const Entry& e = entries_.all[i];
      if (e.keyword == k && isLeft(e)) out.push_back(&e);
    }
    return out;
  }

  bool isLeft(const Entry& e) const { return !deletions_.holds(e.at); }

  void pick(const Entry& e) { deletions_.pick(e.begin, deletions_.endOf(e)); }

  // The character after the option (compared exactly) and the blanks that
  // follow: '\0' when the entry names another option or the text ends.
  char separatorAfter(const Entry& e, std::string_view option) const {
    if (std::string_view(text_).substr(e.option, option.size()) != option)
      return '\0';
    std::size_t after = e.option + option.size();
    while (after < text_.size() && isBlank(text_[after])) ++after;
    return after < text_.size() ? text_[after] : '\0';
  }

  // Whether the line at `begin` holds "UIConstraints", the marker of
  // `*UIConstraints`, `*NonUIConstraints` and `*cupsUIConstraints`.
  bool holdsConstraintMarker(std::size_t begin) const {
    const LineBounds line = lineBounds(text_, begin);
    return ppdtext::find(text_, "UIConstraints", line.begin,
                         line.contentsEnd) != npos;
  }

  std::string& text_;
  std::span<const std::string_view> names_;
  Entries entries_;
  Deletions deletions_;
  std::span<const std::string_view> keywords_;
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
  // Each name is looked up once; a name listed twice is deleted twice.
  std::vector<std::string_view> distinct;
  std::vector<std::size_t> order;
  for (std::string_view name : names) {
    if (name.empty()) continue;  // a list skips empty names
    const auto it = std::ranges::find(distinct, name);
    order.push_back(static_cast<std::size_t>(it - distinct.begin()));
    if (it == distinct.end()) distinct.push_back(name);
  }
  if (order.empty()) return;
  SizeDeletion deletion(text, kPageKeywords, distinct);
  for (std::size_t n : order) deletion.deleteSize(n);
}

}  // namespace ppdtext
