// SPDX-License-Identifier: Apache-2.0
// Deleting paper sizes from the PPD text, by deleteOption's rules in
// ppdtext.h, in three steps:
//  1. findEntries: one scan notes the entries whose first line names a page
//     keyword with a size to delete (with kind, keyword and option), and the
//     page keywords' default lines;
//  2. one filter per rule picks entries, in the contract's order:
//     isMainLine, isTranslation, isConstraint (SizeDeletion::deleteOption);
//  3. the picked entries are erased together (~SizeDeletion).
// A deletion removes whole lines, so it neither makes a mention nor changes a
// line that stays; it can only change where an entry picked after it ends
// (Picked::endOf, the one place where the order of picking shows).
#include <algorithm>
#include <array>
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
  /// For each byte: whether a name may begin with it (a name compares
  /// without regard to letter case; an empty name begins with anything).
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
  for (std::string_view name : names) {
    for (std::size_t c = 0; c < 256; ++c) {
      const char letter = static_cast<char>(c);
      out.mayBeginName[c] =
          out.mayBeginName[c] || name.empty() ||
          ppdtext::equalsIgnoringCase(name.substr(0, 1), {&letter, 1});
    }
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

/// The entries picked so far, as ranges of the text as it was; what is left
/// is the text without them.
class Picked {
 public:
  explicit Picked(std::string_view text) : text_(text) {}

  /// Whether `pos` lies in a picked entry.
  bool holds(std::size_t pos) const { return rangeHolding(pos) != nullptr; }

  /// Picks the entry that begins on a line that is left.
  void pick(const Entry& e) {
    const std::size_t end = endOf(e);
    ranges_.erase(ranges_.lower_bound(e.begin), ranges_.lower_bound(end));
    ranges_.emplace(e.begin, end);
  }

  /// The fix-up: where `e` ends in the text that is left. Its end as found
  /// stands unless it depends on the text after its first line: a quoted
  /// value runs on through the first line left holding a quote (and a `*End`
  /// line right after it), and a line ending in CR takes the LF of an empty
  /// line that picked entries bring up against it.
  std::size_t endOf(const Entry& e) const {
    if (e.end == e.lineEnd && text_[e.lineEnd - 1] != '\r') return e.end;
    const LineBounds first = lineBounds(text_, e.begin);
    if (!ppdtext::opensQuotedValue(text_, first)) return lineEnd(first);
    for (std::size_t pos = skip(lineEnd(first)); pos < text_.size();) {
      const LineBounds line = lineBounds(text_, pos);
      pos = skip(lineEnd(line));
      if (ppdtext::find(text_, "\"", line.begin, line.contentsEnd) == npos)
        continue;
      if (pos == text_.size()) return lineEnd(line);
      const LineBounds next = lineBounds(text_, pos);
      std::string_view contents =
          text_.substr(next.begin, next.contentsEnd - next.begin);
      while (!contents.empty() && isBlank(contents.back()))
        contents.remove_suffix(1);
      return contents == "*End" ? lineEnd(next) : lineEnd(line);
    }
    return lineEnd(first);  // never closed: the line alone
  }

  /// Start of the nearest line left before `begin` that holds a quote, or
  /// npos.
  std::size_t quotedLineBefore(std::size_t begin) const {
    while (const void* quote = memrchr(text_.data(), '"', begin)) {
      const auto pos = static_cast<std::size_t>(
          static_cast<const char*>(quote) - text_.data());
      const Range* range = rangeHolding(pos);
      if (range == nullptr) return lineBounds(text_, pos).begin;
      begin = range->first;
    }
    return npos;
  }

  /// Whether a line left from `begin` on holds a quote.
  bool quoteFrom(std::size_t begin) const {
    for (std::size_t pos = text_.find('"', begin); pos != npos;) {
      const Range* range = rangeHolding(pos);
      if (range == nullptr) return true;
      pos = text_.find('"', range->second);
    }
    return false;
  }

  /// Step 3: erases the picked entries from `text`, the text they were
  /// picked from.
  void erase(std::string& text) const {
    std::vector<ppdtext::Range> ranges;
    for (const auto& [begin, end] : ranges_) ranges.push_back({begin, end});
    ppdtext::eraseRanges(text, ranges);
  }

 private:
  using Range = std::pair<const std::size_t, std::size_t>;  // begin, end

  const Range* rangeHolding(std::size_t pos) const {
    auto it = ranges_.upper_bound(pos);
    if (it == ranges_.begin() || std::prev(it)->second <= pos) return nullptr;
    return &*std::prev(it);
  }

  // Past the picked entries that begin at `pos`.
  std::size_t skip(std::size_t pos) const {
    for (auto it = ranges_.find(pos); it != ranges_.end();
         it = ranges_.find(pos))
      pos = it->second;
    return pos;
  }

  // The end of a line that is left, with the LF it may take.
  std::size_t lineEnd(const LineBounds& line) const {
    if (line.end == line.contentsEnd || text_[line.end - 1] != '\r')
      return line.end;
    const std::size_t next = skip(line.end);
    return next < text_.size() && text_[next] == '\n' ? next + 1 : line.end;
  }

  std::string_view text_;
  std::map<std::size_t, std::size_t> ranges_;  ///< begin -> end, disjoint
};

/// The deletion of sizes from one text.
class SizeDeletion {
 public:
  SizeDeletion(std::string& text, std::span<const std::string_view> keywords,
               std::span<const std::string_view> names)
      : text_(text),
        keywords_(keywords),
        names_(names),
        entries_(findEntries(text, keywords, names)),
        picked_(text) {}
  SizeDeletion(const SizeDeletion&) = delete;
  SizeDeletion& operator=(const SizeDeletion&) = delete;
  ~SizeDeletion() { picked_.erase(text_); }

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
    picked_.pick(**main);
    // 2. The translations.
    for (const Entry* e : entries) {
      if (isLeft(*e) && isTranslation(*e, option)) picked_.pick(*e);
    }
    // 3. The constraints.
    if (keywords_[k] != "PageSize" && keywords_[k] != "PageRegion") return;
    for (const Entry* e : entries) {
      if (!isLeft(*e) || !isConstraint(*e, option)) continue;
      const std::size_t opener = constraintOpener(*e);
      picked_.pick(
          opener == npos ? *e : entryAt(text_, opener, opener, k, Kind::Other));
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
    const std::size_t after = e.option + option.size();
    if (e.kind == Kind::Translation || after > text_.size() ||
        !startsWithIgnoringCase(text_, e.option, option))
      return false;
    if (after < text_.size() && !isBlank(text_[after]) && text_[after] != '"' &&
        ppdtext::terminatorLength(text_, after) == 0)
      return false;
    return holdsConstraintMarker(e.begin) || constraintOpener(e) != npos;
  }

  // Where the line begins that opened the quoted value e's line lies in,
  // when it holds "UIConstraints" and e's own line does not: the nearest
  // line left before e's holding a quote, opening a value that no line
  // closes before e's. Otherwise npos.
  std::size_t constraintOpener(const Entry& e) const {
    if (holdsConstraintMarker(e.begin)) return npos;
    const std::size_t opener = picked_.quotedLineBefore(e.begin);
    if (opener == npos || !holdsConstraintMarker(opener) ||
        !ppdtext::opensQuotedValue(text_, lineBounds(text_, opener)) ||
        !picked_.quoteFrom(e.begin))
      return npos;
    return opener;
  }

  bool isLeft(const Entry& e) const { return !picked_.holds(e.at); }

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

  std::string& text_;
  std::span<const std::string_view> keywords_;
  std::span<const std::string_view> names_;
  Entries entries_;
  Picked picked_;
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
