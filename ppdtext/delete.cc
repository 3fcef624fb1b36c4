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
#include <algorithm>
#include <string>
#include <unordered_set>
#include <vector>

#include "ppdtext/ppdtext.h"

namespace {

using ppdtext::find;
using ppdtext::LineBounds;
using ppdtext::lineBounds;
using ppdtext::npos;
using ppdtext::Range;

constexpr std::string_view kPageKeywords[] = {"PageRegion", "PageSize",
                                              "PaperDimension", "ImageableArea"};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isLineStart(std::string_view text, std::size_t pos) {
  return pos == 0 || lineBounds(text, pos).begin == pos;
}

// Where a page keyword K is mentioned.
enum class Form : unsigned char {
  Star,     // `*K ` starts here: a main line or a constraint's `*K O`
  Dot,      // `.K ` starts here: a translation line's `.K O/`
  Default,  // the line `*DefaultK:` starts here
};

struct Mention {
  std::size_t pos;
  std::string_view keyword;
  Form form;
  bool live = true;  // false once its line is queued for deletion
};

// The page keywords' mentions in the text, and the entries queued for
// deletion, which leave the text only when flush() erases them.
class PageText {
 public:
  PageText(std::string& text, std::span<const std::string_view> keywords)
      : text_(text) {
    for (std::string_view keyword : keywords) collect(keyword);
    std::ranges::sort(mentions_, {}, &Mention::pos);
  }
  PageText(const PageText&) = delete;
  PageText& operator=(const PageText&) = delete;
  ~PageText() { flush(); }

  // Deletes option O of keyword K: its main line, and only when there is
  // one, its translation lines and, for PageSize and PageRegion, the
  // constraint lines that name it.
  void deleteOption(std::string_view keyword, std::string_view option) {
    if (!deleteMainLine(keyword, option)) return;
    for (Mention& m : mentions_) {
      if (m.live && m.keyword == keyword && m.form == Form::Dot &&
          optionEndsAt(m, option) == '/') {
        queue(m);
      }
    }
    if (keyword != "PageSize" && keyword != "PageRegion") return;
    for (Mention& m : mentions_) {
      if (m.live && m.keyword == keyword && m.form == Form::Star &&
          endsOptionName(m, option) && holdsMarker(m)) {
        queue(m);
      }
    }
  }

  // Whether a `*Default<K>: name` line names `name`.
  bool isDefault(std::string_view name) const {
    for (const Mention& m : mentions_) {
      if (!m.live || m.form != Form::Default) continue;
      const LineBounds line = lineBounds(text_, m.pos);
      std::string_view value =
          std::string_view(text_).substr(m.pos, line.contentsEnd - m.pos);
      value.remove_prefix(value.find(':') + 1);
      while (!value.empty() && isBlank(value.front())) value.remove_prefix(1);
      while (!value.empty() && isBlank(value.back())) value.remove_suffix(1);
      if (value == name) return true;
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
    std::size_t removed = 0;
    auto range = doomed_.begin();
    for (Mention& m : mentions_) {
      for (; range != doomed_.end() && range->end <= m.pos; ++range) {
        removed += range->end - range->begin;
      }
      const bool erased = range != doomed_.end() && range->begin <= m.pos;
      m.pos = (erased ? range->begin : m.pos) - removed;
    }
    doomed_.clear();
    doomedBegins_.clear();
  }

 private:
  void collect(std::string_view keyword) {
    const std::string_view text = text_;
    for (std::size_t pos = find(text, keyword); pos != npos;
         pos = find(text, keyword, pos + 1)) {
      const std::size_t after = pos + keyword.size();
      if (pos == 0 || after >= text.size()) continue;
      if (text[after] == ' ' && (text[pos - 1] == '*' || text[pos - 1] == '.')) {
        mentions_.push_back({pos - 1, keyword,
                             text[pos - 1] == '*' ? Form::Star : Form::Dot});
      } else if (pos >= 8 && text.substr(pos - 8, 8) == "*Default" &&
                 isLineStart(text, pos - 8)) {
        std::size_t colon = after;
        while (colon < text.size() && isBlank(text[colon])) ++colon;
        if (colon < text.size() && text[colon] == ':') {
          mentions_.push_back({pos - 8, keyword, Form::Default});
        }
      }
    }
  }

  // The character after `*K O` or `.K O` at mention m: '\0' when the mention
  // names another option, or the text ends right after the option.
  char optionEndsAt(const Mention& m, std::string_view option) const {
    const std::size_t name = m.pos + 1 + m.keyword.size() + 1;
    const std::size_t after = name + option.size();
    if (after >= text_.size() ||
        std::string_view(text_).substr(name, option.size()) != option) {
      return '\0';
    }
    return text_[after];
  }

  bool endsOptionName(const Mention& m, std::string_view option) const {
    const std::size_t name = m.pos + 1 + m.keyword.size() + 1;
    const std::size_t after = name + option.size();
    if (after > text_.size() ||
        std::string_view(text_).substr(name, option.size()) != option) {
      return false;
    }
    return after == text_.size() || text_[after] == ' ' ||
           text_[after] == '\t' || text_[after] == '"' ||
           ppdtext::terminatorLength(text_, after) > 0;
  }

  bool holdsMarker(const Mention& m) const {
    const LineBounds line = lineBounds(text_, m.pos);
    return find(text_, "UIConstraints", line.begin, line.contentsEnd) != npos;
  }

  // The first `*K O/` or `*K O:`.
  bool deleteMainLine(std::string_view keyword, std::string_view option) {
    for (Mention& m : mentions_) {
      if (!m.live || m.keyword != keyword || m.form != Form::Star) continue;
      const char end = optionEndsAt(m, option);
      if (end == '/' || end == ':') {
        queue(m);
        return true;
      }
    }
    return false;
  }

  // Queues the entry that begins on m's line, with every mention in it.
  void queue(Mention& m) {
    LineBounds line = lineBounds(text_, m.pos);
    // Where the entry's end depends on the text after the line, that text
    // must first be what it will be: a quoted value runs on to a later line,
    // and a line ending in CR takes the LF of an empty line that a queued
    // deletion would bring up against it.
    const bool endsInCr = line.end - line.contentsEnd == 1 &&
                          text_[line.contentsEnd] == '\r';
    if (ppdtext::opensQuotedValue(text_, line) ||
        (endsInCr && doomedBegins_.contains(line.end))) {
      flush();
      line = lineBounds(text_, m.pos);
    }
    const std::size_t end = ppdtext::entryEnd(text_, line);
    doomed_.push_back({line.begin, end});
    doomedBegins_.insert(line.begin);
    const auto first =
        std::ranges::lower_bound(mentions_, line.begin, {}, &Mention::pos);
    for (auto it = first; it != mentions_.end() && it->pos < end; ++it) {
      it->live = false;
    }
  }

  std::string& text_;
  std::vector<Mention> mentions_;
  std::vector<Range> doomed_;
  std::unordered_set<std::size_t> doomedBegins_;
};

}  // namespace

void QVCFStringDeleteKeywordOption(std::string& text, std::string_view keyword,
                                   std::string_view option) {
  PageText(text, {&keyword, 1}).deleteOption(keyword, option);
}

void QVCFStringDeletePaperSize(std::string& text, std::string_view name) {
  QVCFStringDeletePaperSizeArray(text, {&name, 1});
}

void QVCFStringDeletePaperSizeArray(std::string& text,
                                    std::span<const std::string_view> names) {
  if (names.empty()) return;
  PageText page(text, kPageKeywords);
  for (std::string_view name : names) {
    if (name.empty() || page.isDefault(name)) continue;
    for (std::string_view keyword : kPageKeywords) {
      page.deleteOption(keyword, name);
    }
  }
}
