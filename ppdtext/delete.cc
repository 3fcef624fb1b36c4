// Deleting paper sizes from the PPD text.
//
// Each pass is one forward scan that collects the entries to delete and then
// erases them together, so a pass costs time linear in the text however many
// lines it deletes. The result is the same as deleting one line at a time and
// searching again from where the deleted line began: that search resumes in
// the text that followed the entry, which is where this scan goes on.
#include <string>
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

std::string concat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out += part;
  return out;
}

Range entryAt(std::string_view text, std::size_t pos) {
  const LineBounds line = lineBounds(text, pos);
  return {line.begin, ppdtext::entryEnd(text, line)};
}

// The main line: the first `*K O/` or `*K O:`. Returns false when there is
// none.
bool deleteMainLine(std::string& text, std::string_view keyword,
                    std::string_view option) {
  const std::string needle = concat({"*", keyword, " ", option});
  for (std::size_t pos = find(text, needle); pos != npos;
       pos = find(text, needle, pos + 1)) {
    const std::size_t after = pos + needle.size();
    if (after < text.size() && (text[after] == '/' || text[after] == ':')) {
      const Range entry = entryAt(text, pos);
      ppdtext::eraseRanges(text, {&entry, 1});
      return true;
    }
  }
  return false;
}

void deleteTranslationLines(std::string& text, std::string_view keyword,
                            std::string_view option) {
  const std::string needle = concat({".", keyword, " ", option, "/"});
  std::vector<Range> doomed;
  for (std::size_t pos = find(text, needle); pos != npos;
       pos = find(text, needle, doomed.back().end)) {
    doomed.push_back(entryAt(text, pos));
  }
  ppdtext::eraseRanges(text, doomed);
}

// Whether `*K O` ending at `pos` names option O itself and not a longer one
// such as `Postcard.Fullbleed`.
bool endsOptionName(std::string_view text, std::size_t pos) {
  return pos == text.size() || text[pos] == ' ' || text[pos] == '\t' ||
         text[pos] == '"' || ppdtext::terminatorLength(text, pos) > 0;
}

void deleteConstraintLines(std::string& text, std::string_view keyword,
                           std::string_view option) {
  const std::string needle = concat({"*", keyword, " ", option});
  std::vector<Range> doomed;
  std::size_t pos = find(text, needle);
  while (pos != npos) {
    if (!endsOptionName(text, pos + needle.size())) {
      pos = find(text, needle, pos + 1);
      continue;
    }
    const LineBounds line = lineBounds(text, pos);
    if (find(text, "UIConstraints", line.begin, line.contentsEnd) == npos) {
      pos = find(text, needle, line.contentsEnd);
      continue;
    }
    doomed.push_back({line.begin, ppdtext::entryEnd(text, line)});
    pos = find(text, needle, doomed.back().end);
  }
  ppdtext::eraseRanges(text, doomed);
}

// Whether a `*Default<page keyword>: name` line names `name`.
bool isDefaultSize(std::string_view text, std::string_view name) {
  for (std::string_view keyword : kPageKeywords) {
    const std::string key = concat({"Default", keyword});
    for (std::size_t from = 0;;) {
      const std::size_t pos = ppdtext::findKeywordLine(text.substr(from), key);
      if (pos == npos) break;
      const LineBounds line = lineBounds(text, from + pos);
      std::string_view value =
          text.substr(line.begin, line.contentsEnd - line.begin);
      value.remove_prefix(value.find(':') + 1);
      value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
      value = value.substr(0, value.find_last_not_of(" \t") + 1);
      if (value == name) return true;
      from = line.end;
    }
  }
  return false;
}

}  // namespace

void QVCFStringDeleteKeywordOption(std::string& text, std::string_view keyword,
                                   std::string_view option) {
  if (!deleteMainLine(text, keyword, option)) return;
  deleteTranslationLines(text, keyword, option);
  if (keyword == "PageSize" || keyword == "PageRegion") {
    deleteConstraintLines(text, keyword, option);
  }
}

void QVCFStringDeletePaperSize(std::string& text, std::string_view name) {
  if (isDefaultSize(text, name)) return;
  for (std::string_view keyword : kPageKeywords) {
    QVCFStringDeleteKeywordOption(text, keyword, name);
  }
}

void QVCFStringDeletePaperSizeArray(std::string& text,
                                    std::span<const std::string_view> names) {
  for (std::string_view name : names) {
    if (!name.empty()) QVCFStringDeletePaperSize(text, name);
  }
}
