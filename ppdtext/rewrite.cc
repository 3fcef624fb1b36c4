// SPDX-License-Identifier: Apache-2.0
// Rewriting the keyword lines of the PPD text.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ppdtext/lines.h"
#include "ppdtext/ppdtext.h"

namespace {

using ppdtext::npos;
using ppdtext::Range;

// Every `*key:` line with its entry, in text order. A line that lies in the
// entry of an earlier one goes with that entry.
std::vector<Range> keywordEntries(std::string_view text, std::string_view key) {
  std::vector<Range> entries;
  for (std::size_t pos = ppdtext::findKeywordLine(text, key); pos != npos;
       pos = ppdtext::findKeywordLine(text, key, entries.back().end)) {
    entries.push_back(
        {pos, ppdtext::entryEnd(text, ppdtext::lineBounds(text, pos))});
  }
  return entries;
}

// Replaces each of `entries` (in text order, not overlapping) by `line`.
void replaceEntries(std::string& text, const std::vector<Range>& entries,
                    std::string_view line) {
  std::for_each(entries.rbegin(), entries.rend(), [&](const Range& entry) {
    text.replace(entry.begin, entry.end - entry.begin, line);
  });
}

// Whether option `key` has choice lines (`*key c/...` or `*key c:`, blanks
// allowed between keyword and choice and after the choice) and none of them
// is `choice`, without regard to letter case, as libcups compares choices.
bool lacksChoice(std::string_view text, std::string_view key,
                 std::string_view choice) {
  const std::string needle = ppdtext::concat({"*", key});
  bool any = false;
  for (std::size_t pos = ppdtext::find(text, needle); pos != npos;
       pos = ppdtext::find(text, needle, pos + 1)) {
    std::size_t name = pos + needle.size();
    if (name >= text.size() || !ppdtext::isBlank(text[name]) ||
        !ppdtext::isLineStart(text, pos)) {
      continue;
    }
    while (name < text.size() && ppdtext::isBlank(text[name])) ++name;
    std::size_t end = name;
    while (end < text.size() && text[end] != '/' && text[end] != ':' &&
           !ppdtext::isBlank(text[end]) &&
           ppdtext::terminatorLength(text, end) == 0) {
      ++end;
    }
    std::size_t separator = end;
    while (separator < text.size() && ppdtext::isBlank(text[separator])) {
      ++separator;
    }
    if (separator == text.size() ||
        (text[separator] != '/' && text[separator] != ':')) {
      continue;
    }
    if (ppdtext::equalsIgnoringCase(text.substr(name, end - name), choice)) {
      return false;
    }
    any = true;
  }
  return any;
}

// Sets the default of option `key` in every default line. Returns false
// when the text has no default line for it; a default kept because the
// option cannot take the value counts as found.
bool changeDefault(std::string& text, std::string_view key,
                   std::string_view value,
                   std::span<const std::string_view> keep) {
  const std::string defaultKey = ppdtext::concat({"Default", key});
  const std::vector<Range> entries = keywordEntries(text, defaultKey);
  if (entries.empty()) return false;
  if (std::ranges::find(keep, key) != keep.end() ||
      lacksChoice(text, key, value)) {
    return true;
  }
  replaceEntries(text, entries,
                 ppdtext::concat({"*", defaultKey, ": ", value, "\n"}));
  return true;
}

}  // namespace

namespace ppdtext {

void setDefault(std::string& text, std::string_view keyword,
                std::string_view value,
                std::span<const std::string_view> keep) {
  if (changeDefault(text, keyword, value, keep)) return;
  // Some vendors prefix their own copy of a standard option.
  if (keyword.find("QV") != std::string_view::npos) return;
  changeDefault(text, ppdtext::concat({"QV", keyword}), value, keep);
}

void setDefaults(std::string& text, std::span<const std::string_view> keywords,
                 std::string_view value) {
  if (keywords.empty()) return;
  // One pass over the text for every keyword: a search per keyword would
  // read the whole text once for each.
  constexpr std::string_view kDefault = "*Default";
  const std::string_view all = text;
  std::vector<std::pair<Range, std::string_view>> entries;
  for (std::size_t pos = all.find(kDefault); pos != npos;
       pos = all.find(kDefault, pos + 1)) {
    if (!isLineStart(all, pos)) continue;
    const std::string_view rest = all.substr(pos + kDefault.size());
    for (const std::string_view keyword : keywords) {
      if (!rest.starts_with(keyword)) continue;
      std::size_t after = keyword.size();
      while (after < rest.size() && isBlank(rest[after])) ++after;
      if (after == rest.size() || rest[after] != ':') continue;
      const std::size_t end = entryEnd(all, lineBounds(all, pos));
      entries.push_back({{pos, end}, keyword});
      pos = end - 1;  // a line inside this entry goes with it
      break;
    }
  }
  if (entries.empty()) return;
  std::string out;
  out.reserve(text.size() + entries.size() * value.size());
  std::size_t copied = 0;
  for (const auto& [entry, keyword] : entries) {
    out.append(text, copied, entry.begin - copied);
    out.append(concat({kDefault, keyword, ": ", value, "\n"}));
    copied = entry.end;
  }
  out.append(text, copied);
  text = std::move(out);
}

void setQuotedValue(std::string& text, std::string_view keyword,
                    std::string_view value) {
  replaceEntries(text, keywordEntries(text, keyword),
                 ppdtext::concat({"*", keyword, ": \"", value, "\"\n"}));
}

}  // namespace ppdtext
