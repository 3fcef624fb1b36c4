// SPDX-License-Identifier: Apache-2.0
// Deleting paper sizes from the PPD text.
//
// The rules are deleteOption's in ppdtext.h. fuzz/edit_fuzzer.cc states them
// once more as a slow model that deletes one entry at a time and searches
// again from where it began; the fuzzer holds this code to that model byte
// for byte, so read the model for what happens and this file for how it is
// made cheap.
//
// A large PPD names its page keywords tens of thousands of times (every size
// in every language), and a removal list asks for up to four passes per
// keyword and size. So one scan first notes where a page keyword names one
// of the sizes to delete, and where a page keyword's default line stands
// (MentionIndex); each pass then looks only at the mentions of its size.
// Deleted entries are queued and erased together (DeletionQueue), and the
// noted positions move along with the text, so the whole deletion costs one
// scan, a few checks per mention and one copy of the text.
//
// The result is the same as deleting one entry at a time: a deletion only
// removes whole lines, so it neither creates a mention nor changes a line
// that stays. Where an entry's end depends on the text after it (a quoted
// value running on, a line ending in CR that a deletion would bring up
// against an LF), the queue is erased first.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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

/// Whether a noted place is still in the text.
enum class State : unsigned char {
  Live,    ///< in the text, in no queued entry
  Queued,  ///< in an entry that is queued for deletion
  Erased,  ///< its entry has left the text; its position is where it was
};

/// A place where a page keyword may name a size to delete.
struct Mention {
  std::size_t pos;  ///< the "*" or "." just before the keyword
  /// Index of the keyword, into the keywords the index was built for.
  std::uint8_t keyword;
  /// Whether a "." stands before the keyword (a translation line's
  /// `.K O/`); otherwise a "*" does (a main line or a constraint's `*K O`).
  bool translation;
  State state = State::Live;
};

/// A line that matters wherever it is: a page keyword's default line, or a
/// line holding a double quote.
struct NotedLine {
  std::size_t pos;  ///< where the line begins
  State state = State::Live;
};

/// Where the page keywords name the sizes to delete, and the default lines
/// of the page keywords, noted in one scan of the text.
class MentionIndex {
 public:
  MentionIndex(std::string_view text,
               std::span<const std::string_view> keywords,
               std::span<const std::string_view> names)
      : byName_(names.size()) {
    for (std::size_t n = 0; n < names.size(); ++n) {
      if (names[n].empty()) {
        for (auto& starting : namesStartingWith_) starting.push_back(n);
      } else {
        const auto first = static_cast<unsigned char>(names[n].front());
        namesStartingWith_[lower(first)].push_back(n);
        if (upper(first) != lower(first))
          namesStartingWith_[upper(first)].push_back(n);
      }
    }
    scan(text, keywords);
    // The lists of the names, in text order.
    for (std::size_t i = 0; i < mentions_.size(); ++i) {
      const Mention& m = mentions_[i];
      std::size_t at = m.pos + 1 + keywords[m.keyword].size();
      while (at < text.size() && isBlank(text[at])) ++at;
      const auto first =
          static_cast<unsigned char>(at < text.size() ? text[at] : '\0');
      for (std::size_t n : namesStartingWith_[first]) {
        if (ppdtext::equalsIgnoringCase(text.substr(at, names[n].size()),
                                        names[n])) {
          byName_[n].push_back(static_cast<std::uint32_t>(i));
        }
      }
    }
  }

  /// Every noted mention, in text order.
  std::vector<Mention>& mentions() { return mentions_; }

  /// The mentions that may name `names[n]`, as indices into mentions(), in
  /// text order: those where `*K` or `.K` and blanks are followed by the
  /// name in any letter case. The passes check the rest.
  std::span<const std::uint32_t> mentionsOf(std::size_t n) const {
    return byName_[n];
  }

  /// The default lines of the keywords, in text order.
  std::vector<NotedLine>& defaults() { return defaults_; }

 private:
  static unsigned char lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  }
  static unsigned char upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
  }

  // Notes every mention of the keywords: one search for each first letter,
  // whose hits are looked at for every keyword beginning with it. An empty
  // keyword stands everywhere.
  void scan(std::string_view text, std::span<const std::string_view> keywords) {
    std::array<bool, 256> scanned{};
    for (std::size_t k = 0; k < keywords.size(); ++k) {
      const std::size_t mentionsBefore = mentions_.size();
      const std::size_t defaultsBefore = defaults_.size();
      if (keywords[k].empty()) {
        for (std::size_t pos = 1; pos <= text.size(); ++pos) {
          note(text, keywords[k], pos, k);
        }
      } else {
        const auto first = static_cast<unsigned char>(keywords[k].front());
        if (scanned[first]) continue;
        scanned[first] = true;
        std::vector<std::size_t> starting;
        for (std::size_t other = k; other < keywords.size(); ++other) {
          if (keywords[other].starts_with(keywords[k].front()))
            starting.push_back(other);
        }
        const char* const data = text.data();
        const char* const end = data + text.size();
        for (const char* hit = data + 1;
             hit < end && (hit = static_cast<const char*>(std::memchr(
                               hit, keywords[k].front(),
                               static_cast<std::size_t>(end - hit))));
             ++hit) {
          // Most hits are in other words: only `*K`, `.K` and `*DefaultK`
          // count.
          const char before = hit[-1];
          if (before != '*' && before != '.' && before != 't') continue;
          const std::size_t pos = static_cast<std::size_t>(hit - data);
          for (std::size_t other : starting) {
            const std::string_view keyword = keywords[other];
            // The last letters tell the page keywords apart at once.
            if (pos + keyword.size() < text.size() &&
                data[pos + keyword.size() - 1] == keyword.back()) {
              note(text, keyword, pos, other);
            }
          }
        }
      }
      // Each search notes in text order; the searches are merged.
      std::inplace_merge(
          mentions_.begin(),
          mentions_.begin() + static_cast<std::ptrdiff_t>(mentionsBefore),
          mentions_.end(),
          [](const Mention& a, const Mention& b) { return a.pos < b.pos; });
      std::inplace_merge(
          defaults_.begin(),
          defaults_.begin() + static_cast<std::ptrdiff_t>(defaultsBefore),
          defaults_.end(),
          [](const NotedLine& a, const NotedLine& b) { return a.pos < b.pos; });
    }
  }

  // Notes keyword k if `*K` or `.K` and blanks stand at pos - 1 followed by
  // a name that may be one to delete, or if a `*DefaultK:` line begins at
  // pos - 8.
  void note(std::string_view text, std::string_view keyword, std::size_t pos,
            std::size_t k) {
    const std::size_t after = pos + keyword.size();
    if (after >= text.size() ||
        text.compare(pos, keyword.size(), keyword) != 0) {
      return;
    }
    const char before = text[pos - 1];
    if (before == '*' || before == '.') {
      if (!isBlank(text[after])) return;
      std::size_t name = after + 1;
      while (name < text.size() && isBlank(text[name])) ++name;
      const auto first =
          static_cast<unsigned char>(name < text.size() ? text[name] : '\0');
      if (name < text.size() && namesStartingWith_[first].empty()) return;
      mentions_.push_back(
          {pos - 1, static_cast<std::uint8_t>(k), before == '.'});
    } else if (before == 't' && pos >= 8 &&
               text.substr(pos - 8, 8) == "*Default" &&
               ppdtext::isLineStart(text, pos - 8)) {
      std::size_t colon = after;
      while (colon < text.size() && isBlank(text[colon])) ++colon;
      if (colon < text.size() && text[colon] == ':')
        defaults_.push_back({pos - 8});
    }
  }

  /// For each byte, the indices of the names to delete that begin with it
  /// in either letter case (an empty name begins with every byte).
  std::array<std::vector<std::size_t>, 256> namesStartingWith_;
  std::vector<Mention> mentions_;  ///< see mentions()
  /// For each name, the indices of mentions() that may name it.
  std::vector<std::vector<std::uint32_t>> byName_;
  std::vector<NotedLine> defaults_;  ///< see defaults()
};

/// Moves noted places (sorted by position) along with the text after the
/// sorted, disjoint `erased` ranges left it: a place in an erased range goes
/// to where the range was, which keeps them sorted, and is Erased if it was
/// Queued.
template <typename Place>
void moveAlong(std::vector<Place>& places, std::span<const Range> erased) {
  std::size_t removed = 0;
  auto range = erased.begin();
  for (Place& place : places) {
    for (; range != erased.end() && range->end <= place.pos; ++range) {
      removed += range->end - range->begin;
    }
    const bool inside = range != erased.end() && range->begin <= place.pos;
    place.pos = (inside ? range->begin : place.pos) - removed;
    if (place.state == State::Queued) place.state = State::Erased;
  }
}

/// The lines that hold a double quote, noted once from the text as it is
/// then (only a constraint over several lines needs them), kept up to date
/// like the mentions.
class QuotedLines {
 public:
  bool noted() const { return noted_; }

  void note(std::string_view text) {
    noted_ = true;
    for (std::size_t pos = text.find('"'); pos != npos;) {
      const LineBounds line = lineBounds(text, pos);
      lines_.push_back({line.begin});
      skip_.push_back(static_cast<std::uint32_t>(skip_.size()));
      pos = line.end < text.size() ? text.find('"', line.end) : npos;
    }
  }

  std::vector<NotedLine>& lines() { return lines_; }

  /// Start of the nearest line before `begin` (a line start) that holds a
  /// double quote and is live, or npos.
  std::size_t before(std::size_t begin) {
    const auto it =
        std::ranges::lower_bound(lines_, begin, {}, &NotedLine::pos);
    const std::size_t i = static_cast<std::size_t>(it - lines_.begin());
    // Walk back over dead lines by their skips, then let every dead line
    // walked over skip straight to where the walk ended, so that asking
    // again costs little however many lines went.
    std::size_t j = i;
    while (j > 0 && lines_[j - 1].state != State::Live) j = skip_[j - 1];
    for (std::size_t k = i; k > j && lines_[k - 1].state != State::Live;) {
      const std::size_t next = skip_[k - 1];
      skip_[k - 1] = static_cast<std::uint32_t>(j);
      k = next;
    }
    return j == 0 ? npos : lines_[j - 1].pos;
  }

 private:
  bool noted_ = false;            ///< whether note() has run
  std::vector<NotedLine> lines_;  ///< the lines, in text order
  /// For a dead line: 1 + the index of an earlier line that may be live,
  /// every line between being dead.
  std::vector<std::uint32_t> skip_;
};

/// The entries queued for deletion, erased from the text together.
class DeletionQueue {
 public:
  bool empty() const { return entries_.empty(); }
  void push(Range entry) { entries_.push_back(entry); }

  /// Erases the queued entries from `text` and returns them, sorted; the
  /// queue is empty again once the next push comes.
  std::span<const Range> erase(std::string& text) {
    std::ranges::sort(entries_, {}, &Range::begin);
    ppdtext::eraseRanges(text, entries_);
    erased_.swap(entries_);
    entries_.clear();
    return erased_;
  }

 private:
  std::vector<Range> entries_;  ///< queued, in the order they were queued
  std::vector<Range> erased_;   ///< the entries the last erase took out
};

/// The deletion of sizes from one text.
class SizeDeletion {
 public:
  SizeDeletion(std::string& text, std::span<const std::string_view> keywords,
               std::span<const std::string_view> names)
      : text_(text),
        keywords_(keywords),
        index_(text, keywords, names),
        names_(names) {}
  SizeDeletion(const SizeDeletion&) = delete;
  SizeDeletion& operator=(const SizeDeletion&) = delete;
  ~SizeDeletion() { flush(); }

  /// Deletes option names[n] of keywords[k], as deleteOption does.
  void deleteOption(std::size_t k, std::size_t n) {
    if (!deleteMainLine(k, n)) return;
    deleteTranslations(k, n);
    const std::string_view keyword = keywords_[k];
    if (keyword == "PageSize" || keyword == "PageRegion")
      deleteConstraints(k, n);
  }

  /// Deletes names[n] from every keyword, unless a default line names it.
  void deleteSize(std::size_t n) {
    if (isDefault(names_[n])) return;
    for (std::size_t k = 0; k < keywords_.size(); ++k) deleteOption(k, n);
  }

 private:
  // The live mentions of names[n] by keywords[k], with `*` or `.` as asked,
  // each given to f until f returns true. Returns whether one did.
  template <typename F>
  bool eachMention(std::size_t k, std::size_t n, bool translation, F f) {
    for (std::uint32_t i : index_.mentionsOf(n)) {
      Mention& m = index_.mentions()[i];
      if (m.state == State::Live && m.keyword == k &&
          m.translation == translation && f(m)) {
        return true;
      }
    }
    return false;
  }

  // The main line: the first live `*K O` mention at a line start where O,
  // blanks and "/" or ":" follow. Returns whether there was one.
  bool deleteMainLine(std::size_t k, std::size_t n) {
    return eachMention(k, n, false, [&](Mention& m) {
      if (!ppdtext::isLineStart(text_, m.pos)) return false;
      const char end = separatorAfter(m, names_[n]);
      if (end != '/' && end != ':') return false;
      queue(m);
      return true;
    });
  }

  // Every `.K O/` line.
  void deleteTranslations(std::size_t k, std::size_t n) {
    eachMention(k, n, true, [&](Mention& m) {
      if (separatorAfter(m, names_[n]) == '/') queue(m);
      return false;
    });
  }

  // Every constraint entry naming O in any letter case: the entry that
  // begins on the mention's line when that line holds "UIConstraints", or
  // the one whose quoted value the mention's line lies in when the line
  // that opened it holds "UIConstraints".
  void deleteConstraints(std::size_t k, std::size_t n) {
    eachMention(k, n, false, [&](Mention& m) {
      if (!namesAsConstraint(m, names_[n])) return false;
      if (holdsConstraintMarker(m.pos)) {
        queue(m);
        return false;
      }
      // The nearest earlier line holding a quote opened the value, if any
      // did, and the value runs on through the first line holding a quote
      // from this one on, if there is one.
      if (!quoted_.noted()) {
        flush();
        quoted_.note(text_);
      }
      const std::size_t begin = lineBounds(text_, m.pos).begin;
      const std::size_t opener = quoted_.before(begin);
      const std::size_t lastQuoted = quoted_.before(npos);
      if (opener != npos && lastQuoted >= begin &&
          holdsConstraintMarker(opener) &&
          ppdtext::opensQuotedValue(text_, lineBounds(text_, opener))) {
        queue(m, opener);
      }
      return false;
    });
  }

  // Whether a live default line names `name`, as libcups reads the line and
  // compares choices: without regard to letter case.
  bool isDefault(std::string_view name) {
    return std::ranges::any_of(index_.defaults(), [&](const NotedLine& line) {
      return line.state == State::Live &&
             ppdtext::equalsIgnoringCase(
                 ppdtext::defaultChoice(text_, lineBounds(text_, line.pos)),
                 name);
    });
  }

  // Where the option begins after the blanks that start at `pos`.
  std::size_t skipBlanks(std::size_t pos) const {
    while (pos < text_.size() && isBlank(text_[pos])) ++pos;
    return pos;
  }

  std::size_t nameStart(const Mention& m) const {
    return skipBlanks(m.pos + 1 + keywords_[m.keyword].size());
  }

  // The character after `*K O` or `.K O` at mention m and the blanks that
  // follow, O compared exactly: '\0' when the mention names another option,
  // or the text ends after the option and its blanks.
  char separatorAfter(const Mention& m, std::string_view option) const {
    const std::size_t name = nameStart(m);
    if (std::string_view(text_).substr(name, option.size()) != option)
      return '\0';
    const std::size_t after = skipBlanks(name + option.size());
    return after < text_.size() ? text_[after] : '\0';
  }

  // Whether mention m names `option` as a constraint does: without regard
  // to letter case, followed by a blank, a double quote, a terminator or the
  // end of the text.
  bool namesAsConstraint(const Mention& m, std::string_view option) const {
    const std::size_t name = nameStart(m);
    const std::size_t after = name + option.size();
    if (after > text_.size() ||
        !ppdtext::equalsIgnoringCase(
            std::string_view(text_).substr(name, option.size()), option)) {
      return false;
    }
    return after == text_.size() || isBlank(text_[after]) ||
           text_[after] == '"' || ppdtext::terminatorLength(text_, after) > 0;
  }

  // Whether the line holding `pos` holds "UIConstraints", the marker of
  // `*UIConstraints`, `*NonUIConstraints` and `*cupsUIConstraints`.
  bool holdsConstraintMarker(std::size_t pos) const {
    const LineBounds line = lineBounds(text_, pos);
    return ppdtext::find(text_, "UIConstraints", line.begin,
                         line.contentsEnd) != npos;
  }

  // Erases the queued entries and moves every noted place along.
  void flush() {
    if (queue_.empty()) return;
    const std::span<const Range> erased = queue_.erase(text_);
    moveAlong(index_.mentions(), erased);
    moveAlong(index_.defaults(), erased);
    moveAlong(quoted_.lines(), erased);
  }

  // Whether a noted place in [from, to) is queued. A queued entry begins on
  // a line holding its queued mention, or on a queued line holding a quote.
  bool queuedWithin(std::vector<Mention>::iterator first, std::size_t from,
                    std::size_t to) {
    for (auto it = first; it != index_.mentions().end() && it->pos < to; ++it) {
      if (it->state == State::Queued) return true;
    }
    std::vector<NotedLine>& lines = quoted_.lines();
    for (auto it = std::ranges::lower_bound(lines, from, {}, &NotedLine::pos);
         it != lines.end() && it->pos < to; ++it) {
      if (it->state == State::Queued) return true;
    }
    return false;
  }

  // The first noted mention on or after `begin`, searching back from m.
  std::vector<Mention>::iterator firstMentionFrom(Mention& m,
                                                  std::size_t begin) {
    std::vector<Mention>& mentions = index_.mentions();
    auto it = mentions.begin() + (&m - mentions.data());
    while (it != mentions.begin() && std::prev(it)->pos >= begin) --it;
    return it;
  }

  // Queues the entry that begins on m's line, or on the line that begins at
  // `opener` before it (the line opening the quoted value m's line lies in),
  // marking every noted place in it.
  void queue(Mention& m, std::size_t opener = npos) {
    LineBounds line = lineBounds(text_, opener == npos ? m.pos : opener);
    // Where the entry's end depends on the text after its first line, that
    // text must first be what it will be: a quoted value runs on to a later
    // line, and a line ending in CR takes the LF of an empty line that a
    // queued deletion would bring up against it.
    std::size_t dependsUpTo = 0;
    bool opens = ppdtext::opensQuotedValue(text_, line);
    if (opens) {
      // The lines the value runs through, and the one after it, where a
      // `*End` may stand.
      dependsUpTo = lineEndAfter(ppdtext::entryEnd(text_, line));
    } else if (line.end - line.contentsEnd == 1 &&
               text_[line.contentsEnd] == '\r') {
      dependsUpTo = lineEndAfter(line.end);
    }
    if (dependsUpTo != 0 && queuedWithin(firstMentionFrom(m, line.begin),
                                         line.begin, dependsUpTo)) {
      flush();
      if (opener != npos)
        opener = quoted_.before(lineBounds(text_, m.pos).begin);
      line = lineBounds(text_, opener == npos ? m.pos : opener);
      opens = ppdtext::opensQuotedValue(text_, line);
    }
    // An entry is its line alone unless the line opens a quoted value.
    const std::size_t end = opens ? ppdtext::entryEnd(text_, line) : line.end;
    queue_.push({line.begin, end});
    for (auto it = firstMentionFrom(m, line.begin);
         it != index_.mentions().end() && it->pos < end; ++it) {
      if (it->state == State::Live) it->state = State::Queued;
    }
    markQueued(index_.defaults(), line.begin, end);
    markQueued(quoted_.lines(), line.begin, end);
  }

  static void markQueued(std::vector<NotedLine>& lines, std::size_t begin,
                         std::size_t end) {
    for (auto it = std::ranges::lower_bound(lines, begin, {}, &NotedLine::pos);
         it != lines.end() && it->pos < end; ++it) {
      if (it->state == State::Live) it->state = State::Queued;
    }
  }

  // The end of the line that begins at `pos`, or `pos` at the end of the
  // text.
  std::size_t lineEndAfter(std::size_t pos) const {
    return pos < text_.size() ? lineBounds(text_, pos).end : pos;
  }

  std::string& text_;                           ///< the text being edited
  std::span<const std::string_view> keywords_;  ///< the keywords deleted from
  MentionIndex index_;                          ///< where they name the sizes
  std::span<const std::string_view> names_;     ///< the sizes to delete
  DeletionQueue queue_;                         ///< entries not yet erased
  QuotedLines quoted_;  ///< lines holding a quote, once a constraint needs them
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
