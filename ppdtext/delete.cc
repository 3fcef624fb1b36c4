// SPDX-License-Identifier: Apache-2.0
// Deleting paper sizes from the PPD text.
//
// A large PPD names its page keywords tens of thousands of times (every size
// in every language), and a removal list asks for up to four searches per
// keyword and size. Rather than search the whole text each time, one scan
// first notes every place a page keyword is mentioned; each pass then looks
// only at those mentions. Deleted entries are collected and erased together,
// and the mentions are moved along with the text, so the whole deletion costs
// time linear in the text.
//
// The result is the same as deleting one line at a time and searching again
// from where the deleted line began: a deletion only removes whole lines, so
// it neither creates a mention nor changes a line that stays.
//
// Mentions are found as libcups reads PPD lines: one or more blanks between
// keyword and option, and, for constraints, option names without regard to
// letter case; the index therefore keys them by the name in lower case.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "ppdtext/ppdtext.h"

namespace {

using ppdtext::find;
using ppdtext::isBlank;
using ppdtext::isLineStart;
using ppdtext::LineBounds;
using ppdtext::lineBounds;
using ppdtext::npos;
using ppdtext::Range;

constexpr std::string_view kPageKeywords[] = {"PageRegion", "PageSize",
                                              "PaperDimension", "ImageableArea"};

// Where a page keyword K is mentioned.
enum class Form : unsigned char {
  Star,     // `*K`, blanks: a main line or a constraint's `*K O`
  Dot,      // `.K`, blanks: a translation line's `.K O/`
  Default,  // the line `*DefaultK:` starts here
};

struct Mention {
  std::size_t pos;
  std::uint32_t key;     // hash of the keyword and the option or default,
                         // the name in lower case
  std::uint8_t keyword;  // index into the keywords the text was indexed for
  Form form;
  enum State : unsigned char { Live, Queued, Erased } state = Live;
  bool live() const { return state == Live; }
};

// Whether an option name ends at `pos`: at a "/", ":", blank, double quote,
// line terminator or the end of the text.
bool endsName(std::string_view text, std::size_t pos) {
  if (pos == text.size()) return true;
  const char c = text[pos];
  return c == '/' || c == ':' || isBlank(c) || c == '"' ||
         ppdtext::terminatorLength(text, pos) > 0;
}

// FNV-1a over a tag byte and a name with ASCII letters in lower case, so that
// names differing only in case share a key.
std::uint32_t hashName(std::uint8_t tag, std::string_view name) {
  std::uint32_t hash = 2166136261u;
  const auto mix = [&](unsigned char byte) { hash = (hash ^ byte) * 16777619u; };
  mix(tag);
  for (char c : name) {
    mix(static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
  }
  return hash;
}

constexpr std::uint8_t kDefaultTag = 0;  // option keys use keyword index + 1

// The page keywords' mentions in the text, indexed by option, and the
// entries queued for deletion, which leave the text only when flush() erases
// them.
class PageText {
 public:
  PageText(std::string& text, std::span<const std::string_view> keywords)
      : text_(text), keywords_(keywords) {
    // Room for every mention and deletion a PPD could plausibly hold, taken
    // once: growing the lists by copying would touch twice the memory, and
    // room that is never written costs nothing.
    mentions_.reserve(text.size() / 16);
    doomed_.reserve(text.size() / 32);
    collect();
    index();
  }
  PageText(const PageText&) = delete;
  PageText& operator=(const PageText&) = delete;
  ~PageText() { flush(); }

  // Deletes option O of keyword K: its main line, and only when there is
  // one, its translation lines and, for PageSize and PageRegion, the
  // constraint entries that name it.
  void deleteOption(std::string_view keyword, std::string_view option) {
    const auto k = static_cast<std::uint8_t>(
        std::ranges::find(keywords_, keyword) - keywords_.begin());
    const std::span<const std::uint32_t> candidates =
        optionCandidates(k, option);
    // Calls f on each live candidate of this keyword in the given form,
    // until f returns true.
    const auto each = [&](Form form, auto f) {
      for (std::uint32_t i : candidates) {
        Mention& m = mentions_[i];
        if (m.live() && m.keyword == k && m.form == form && f(m)) return true;
      }
      return false;
    };
    const bool found = each(Form::Star, [&](Mention& m) {
      if (!isLineStart(text_, m.pos)) return false;
      const char end = optionEndsAt(m, option);
      if (end != '/' && end != ':') return false;
      queue(m);
      return true;
    });
    if (!found) return;
    each(Form::Dot, [&](Mention& m) {
      if (optionEndsAt(m, option) == '/') queue(m);
      return false;
    });
    if (keyword != "PageSize" && keyword != "PageRegion") return;
    each(Form::Star, [&](Mention& m) {
      if (!endsOptionName(m, option)) return false;
      if (holdsMarker(m.pos)) {
        queue(m);
        return false;
      }
      // A later line of a constraint whose quoted value runs over several
      // lines. The nearest earlier line holding a quote opened the value, if
      // any did, and the value runs on through the first line holding a
      // quote from this one on, if there is one.
      if (!quotedNoted_) noteQuotedLines();  // flushes: m moves
      const std::size_t begin = lineBounds(text_, m.pos).begin;
      const std::size_t opener = quotedLineBefore(begin);
      const std::size_t lastQuoted = quotedLineBefore(npos);
      if (opener != npos && lastQuoted >= begin && holdsMarker(opener) &&
          ppdtext::opensQuotedValue(text_, lineBounds(text_, opener))) {
        queue(m, opener);
      }
      return false;
    });
  }

  // Whether a `*Default<K>:` line names `name`, as libcups reads the line
  // and compares choices: without regard to letter case.
  bool isDefault(std::string_view name) const {
    for (std::uint32_t i : bucket(hashName(kDefaultTag, name))) {
      const Mention& m = mentions_[i];
      if (m.live() && m.form == Form::Default &&
          ppdtext::equalsIgnoringCase(defaultValue(m), name)) {
        return true;
      }
    }
    return false;
  }

  // Erases the queued entries and moves the mentions along with the text.
  // The mentions of erased lines move to where their line was, which keeps
  // the list sorted; none is removed, so references into it stay valid.
  void flush() {
    if (doomed_.empty()) return;
    std::ranges::sort(doomed_, {}, &Range::begin);
    ppdtext::eraseRanges(text_, doomed_);
    // Moves each item of a list sorted by position (mentions, quoted lines).
    const auto moveAlong = [&](auto& items) {
      std::size_t removed = 0;
      auto range = doomed_.begin();
      for (auto& item : items) {
        for (; range != doomed_.end() && range->end <= item.pos; ++range) {
          removed += range->end - range->begin;
        }
        const bool erased = range != doomed_.end() && range->begin <= item.pos;
        item.pos = (erased ? range->begin : item.pos) - removed;
        if (item.state == Mention::Queued) item.state = Mention::Erased;
      }
    };
    moveAlong(mentions_);
    moveAlong(quoted_);
    doomed_.clear();
  }

 private:
  // Notes every mention, in text order: one scan for each first letter of
  // the keywords, the runs then merged.
  void collect() {
    std::string scanned;
    for (std::string_view keyword : keywords_) {
      if (keyword.empty() || scanned.find(keyword[0]) != npos) continue;
      scanned += keyword[0];
      const std::size_t run = mentions_.size();
      const std::string_view text = text_;
      for (std::size_t pos = text.find(keyword[0]); pos != npos;
           pos = text.find(keyword[0], pos + 1)) {
        for (std::size_t k = 0; k < keywords_.size(); ++k) {
          if (!keywords_[k].empty() && keywords_[k][0] == keyword[0]) {
            note(pos, static_cast<std::uint8_t>(k));
          }
        }
      }
      std::inplace_merge(mentions_.begin(), mentions_.begin() + run,
                         mentions_.end(),
                         [](const Mention& a, const Mention& b) { return a.pos < b.pos; });
    }
    // An empty keyword is mentioned everywhere.
    for (std::size_t k = 0; k < keywords_.size(); ++k) {
      if (!keywords_[k].empty()) continue;
      const std::size_t run = mentions_.size();
      for (std::size_t pos = 0; pos <= text_.size(); ++pos) {
        note(pos, static_cast<std::uint8_t>(k));
      }
      std::inplace_merge(mentions_.begin(), mentions_.begin() + run,
                         mentions_.end(),
                         [](const Mention& a, const Mention& b) { return a.pos < b.pos; });
    }
  }

  // Notes keyword k if it is mentioned at pos.
  void note(std::size_t pos, std::uint8_t k) {
    const std::string_view text = text_;
    const std::string_view keyword = keywords_[k];
    // Only `*K`, `.K` and `*DefaultK` count.
    if (pos == 0 || (text[pos - 1] != '*' && text[pos - 1] != '.' &&
                     text[pos - 1] != 't')) {
      return;
    }
    if (text.substr(pos, keyword.size()) != keyword) return;
    const std::size_t after = pos + keyword.size();
    if (after >= text.size()) return;
    if (isBlank(text[after]) && (text[pos - 1] == '*' || text[pos - 1] == '.')) {
      const std::size_t name = nameStart(after);
      std::size_t end = name;
      while (!endsName(text, end)) ++end;
      mentions_.push_back({pos - 1, hashName(k + 1, text.substr(name, end - name)),
                           k, text[pos - 1] == '*' ? Form::Star : Form::Dot});
    } else if (pos >= 8 && text.substr(pos - 8, 8) == "*Default" &&
               isLineStart(text, pos - 8)) {
      std::size_t colon = after;
      while (colon < text.size() && isBlank(text[colon])) ++colon;
      if (colon < text.size() && text[colon] == ':') {
        Mention m = {pos - 8, 0, k, Form::Default};
        m.key = hashName(kDefaultTag, defaultValue(m));
        mentions_.push_back(m);
      }
    }
  }

  // Groups the mentions by key, in text order within each group.
  void index() {
    std::size_t buckets = 1;
    while (buckets * 2 < mentions_.size()) buckets *= 2;  // two a bucket
    mask_ = static_cast<std::uint32_t>(buckets - 1);
    bucketStart_.assign(buckets + 1, 0);
    for (const Mention& m : mentions_) ++bucketStart_[(m.key & mask_) + 1];
    for (std::size_t b = 0; b < buckets; ++b) bucketStart_[b + 1] += bucketStart_[b];
    byKey_.resize(mentions_.size());
    std::vector<std::uint32_t> next(bucketStart_.begin(), bucketStart_.end() - 1);
    for (std::size_t i = 0; i < mentions_.size(); ++i) {
      byKey_[next[mentions_[i].key & mask_]++] = static_cast<std::uint32_t>(i);
    }
  }

  // The mentions that may share `key`, in text order.
  std::span<const std::uint32_t> bucket(std::uint32_t key) const {
    const std::uint32_t b = key & mask_;
    return std::span(byKey_).subspan(bucketStart_[b],
                                     bucketStart_[b + 1] - bucketStart_[b]);
  }

  // The mentions that may name `option` for keyword k. A name that holds a
  // character ending names is found only by looking at every mention.
  std::span<const std::uint32_t> optionCandidates(std::uint8_t k,
                                                  std::string_view option) {
    for (std::size_t i = 0; i < option.size(); ++i) {
      if (endsName(option, i)) {
        if (everyMention_.size() != mentions_.size()) {
          everyMention_.resize(mentions_.size());
          std::iota(everyMention_.begin(), everyMention_.end(), 0u);
        }
        return everyMention_;
      }
    }
    return bucket(hashName(k + 1, option));
  }

  // The choice a default line names.
  std::string_view defaultValue(const Mention& m) const {
    return ppdtext::defaultChoice(text_, lineBounds(text_, m.pos));
  }

  // Where the option name begins after the blanks that start at `pos`.
  std::size_t nameStart(std::size_t pos) const {
    while (pos < text_.size() && isBlank(text_[pos])) ++pos;
    return pos;
  }

  // The character after `*K O` or `.K O` at mention m and the blanks that
  // follow it, O compared exactly: '\0' when the mention names another
  // option, or the text ends after the option and its blanks.
  char optionEndsAt(const Mention& m, std::string_view option) const {
    const std::size_t name = nameStart(m.pos + 1 + keywords_[m.keyword].size());
    if (std::string_view(text_).substr(name, option.size()) != option) {
      return '\0';
    }
    const std::size_t after = nameStart(name + option.size());
    return after < text_.size() ? text_[after] : '\0';
  }

  // Whether mention m names `option` as a constraint does: without regard
  // to letter case, followed by a blank, a double quote, a terminator or the
  // end of the text.
  bool endsOptionName(const Mention& m, std::string_view option) const {
    const std::size_t name = nameStart(m.pos + 1 + keywords_[m.keyword].size());
    const std::size_t after = name + option.size();
    if (after > text_.size() ||
        !ppdtext::equalsIgnoringCase(
            std::string_view(text_).substr(name, option.size()), option)) {
      return false;
    }
    return after == text_.size() || isBlank(text_[after]) ||
           text_[after] == '"' || ppdtext::terminatorLength(text_, after) > 0;
  }

  // Whether the line holding `pos` holds "UIConstraints".
  bool holdsMarker(std::size_t pos) const {
    const LineBounds line = lineBounds(text_, pos);
    return find(text_, "UIConstraints", line.begin, line.contentsEnd) != npos;
  }

  // Start of the nearest line before `begin` (a line start) that holds a
  // double quote and is not queued, or npos; noteQuotedLines() must have run.
  // A dead line's `skip` leads past a run of dead lines, so that asking costs
  // little however many lines went.
  std::size_t quotedLineBefore(std::size_t begin) {
    const auto it = std::ranges::lower_bound(quoted_, begin, {}, &QuotedLine::pos);
    std::size_t i = static_cast<std::size_t>(it - quoted_.begin());
    // i - 1 is the candidate; walk the skips to a live line.
    std::size_t j = i;
    while (j > 0 && quoted_[j - 1].state != Mention::Live) j = quoted_[j - 1].skip;
    // Every line in [j, i) is dead: let them all skip to j.
    for (std::size_t k = i; k > j && quoted_[k - 1].state != Mention::Live;) {
      const std::size_t next = quoted_[k - 1].skip;
      quoted_[k - 1].skip = static_cast<std::uint32_t>(j);
      k = next;
    }
    return j == 0 ? npos : quoted_[j - 1].pos;
  }

  // Notes the lines holding a double quote, once, from the text as it is
  // then; from there on they are kept up to date like the mentions.
  void noteQuotedLines() {
    quotedNoted_ = true;
    flush();
    const std::string_view text = text_;
    for (std::size_t pos = text.find('"'); pos != npos;) {
      const LineBounds line = lineBounds(text, pos);
      quoted_.push_back({line.begin, static_cast<std::uint32_t>(quoted_.size())});
      pos = line.end < text.size() ? text.find('"', line.end) : npos;
    }
  }

  // Queues the entry that begins on m's line, or on the line that begins at
  // `begin` before it (the line opening a quoted value m's line lies in,
  // found by quotedLineBefore), with every mention and quoted line in it.
  void queue(Mention& m, std::size_t begin = npos) {
    LineBounds line = lineBounds(text_, begin == npos ? m.pos : begin);
    // Where the entry's end depends on the text after the line, that text
    // must first be what it will be: a quoted value runs on to a later line,
    // and a line ending in CR takes the LF of an empty line that a queued
    // deletion would bring up against it.
    const bool endsInCr = line.end - line.contentsEnd == 1 &&
                          text_[line.contentsEnd] == '\r';
    // A queued entry begins on a line that holds one of its queued
    // mentions, or, when it was queued for a later line of its value, on a
    // queued line holding a quote.
    // The mentions in the entry stand right around m in the list.
    const auto firstMention = [&] {
      auto it = mentions_.begin() + (&m - mentions_.data());
      while (it != mentions_.begin() && std::prev(it)->pos >= line.begin) --it;
      return it;
    };
    const auto firstQuoted = [&] {
      return std::ranges::lower_bound(quoted_, line.begin, {}, &QuotedLine::pos);
    };
    auto first = firstMention();
    const auto queuedBefore = [&](std::size_t limit) {
      for (auto it = first; it != mentions_.end() && it->pos < limit; ++it) {
        if (it->state == Mention::Queued) return true;
      }
      for (auto it = firstQuoted(); it != quoted_.end() && it->pos < limit; ++it) {
        if (it->state == Mention::Queued) return true;
      }
      return false;
    };
    const auto nextLineEnd = [&](std::size_t pos) {
      return pos < text_.size() ? lineBounds(text_, pos).end : pos;
    };
    bool mustFlush = false;
    if (ppdtext::opensQuotedValue(text_, line)) {
      // The lines the value runs through, and the one after it, where a
      // `*End` may stand.
      mustFlush = queuedBefore(nextLineEnd(ppdtext::entryEnd(text_, line)));
    } else if (endsInCr) {
      mustFlush = queuedBefore(nextLineEnd(line.end));
    }
    if (mustFlush) {
      flush();
      if (begin != npos) begin = quotedLineBefore(lineBounds(text_, m.pos).begin);
      line = lineBounds(text_, begin == npos ? m.pos : begin);
      first = firstMention();
    }
    const std::size_t end = ppdtext::entryEnd(text_, line);
    doomed_.push_back({line.begin, end});
    for (auto it = first; it != mentions_.end() && it->pos < end; ++it) {
      if (it->state == Mention::Live) it->state = Mention::Queued;
    }
    for (auto it = firstQuoted(); it != quoted_.end() && it->pos < end; ++it) {
      if (it->state == Mention::Live) it->state = Mention::Queued;
    }
  }

  std::string& text_;
  std::span<const std::string_view> keywords_;
  std::vector<Mention> mentions_;
  std::uint32_t mask_ = 0;
  std::vector<std::uint32_t> bucketStart_;
  std::vector<std::uint32_t> byKey_;        // mention indices, grouped by key
  std::vector<std::uint32_t> everyMention_;
  std::vector<Range> doomed_;
  // Lines holding a double quote, noted only when a constraint needs them.
  struct QuotedLine {
    std::size_t pos;     // where the line begins
    std::uint32_t skip;  // for a dead line: 1 + index of an earlier line
                         // that may live, every line between being dead
    Mention::State state = Mention::Live;
  };
  std::vector<QuotedLine> quoted_;
  bool quotedNoted_ = false;
};

// Deletes one size from every page keyword, unless it is a default. Only a
// list skips empty names; a single empty name is deleted like any other.
void deleteSize(PageText& page, std::string_view name) {
  if (page.isDefault(name)) return;
  for (std::string_view keyword : kPageKeywords) {
    page.deleteOption(keyword, name);
  }
}

}  // namespace

namespace ppdtext {

void deleteOption(std::string& text, std::string_view keyword,
                                   std::string_view option) {
  PageText(text, {&keyword, 1}).deleteOption(keyword, option);
}

void deletePaperSize(std::string& text, std::string_view name) {
  PageText page(text, kPageKeywords);
  deleteSize(page, name);
}

void deletePaperSizes(std::string& text,
                                    std::span<const std::string_view> names) {
  if (names.empty()) return;
  PageText page(text, kPageKeywords);
  for (std::string_view name : names) {
    if (!name.empty()) deleteSize(page, name);
  }
}

}  // namespace ppdtext
