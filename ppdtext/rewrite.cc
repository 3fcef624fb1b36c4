// SPDX-License-Identifier: Apache-2.0
// Rewriting one keyword line of the PPD text.
#include <string>

#include "ppdtext/ppdtext.h"

namespace {

// Replaces the first `*key:` line, with its entry, by `line`. Returns false
// when the text has no such line.
bool replaceKeywordLine(std::string& text, std::string_view key,
                        std::string_view line) {
  const std::size_t pos = ppdtext::findKeywordLine(text, key);
  if (pos == ppdtext::npos) return false;
  const std::size_t end =
      ppdtext::entryEnd(text, ppdtext::lineBounds(text, pos));
  text.replace(pos, end - pos, line);
  return true;
}

// Whether option `key` has choice lines (`*key c/...` or `*key c:`, blanks
// allowed between keyword and choice) and none of them is `choice`, without
// regard to letter case, as libcups compares choices.
bool lacksChoice(std::string_view text, std::string_view key,
                 std::string_view choice) {
  const std::string needle = ppdtext::concat({"*", key});
  bool any = false;
  for (std::size_t pos = ppdtext::find(text, needle); pos != ppdtext::npos;
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
    if (end == text.size() || (text[end] != '/' && text[end] != ':')) continue;
    if (ppdtext::equalsIgnoringCase(text.substr(name, end - name), choice)) {
      return false;
    }
    any = true;
  }
  return any;
}

// Sets the default of option `key`. Returns false when the text has no
// default line for it; a default kept because the option cannot take the
// value counts as found.
bool changeDefault(std::string& text, std::string_view key,
                   std::string_view value) {
  const std::string defaultKey = ppdtext::concat({"Default", key});
  const std::size_t pos = ppdtext::findKeywordLine(text, defaultKey);
  if (pos == ppdtext::npos) return false;
  if (lacksChoice(text, key, value)) return true;
  const std::size_t end =
      ppdtext::entryEnd(text, ppdtext::lineBounds(text, pos));
  text.replace(pos, end - pos,
               ppdtext::concat({"*", defaultKey, ": ", value, "\n"}));
  return true;
}

}  // namespace

namespace ppdtext {

void setDefault(std::string& text, std::string_view keyword,
                std::string_view value) {
  if (changeDefault(text, keyword, value)) return;
  // Some vendors prefix their own copy of a standard option.
  if (keyword.find("QV") != std::string_view::npos) return;
  changeDefault(text, ppdtext::concat({"QV", keyword}), value);
}

void setQuotedValue(std::string& text, std::string_view keyword,
                    std::string_view value) {
  replaceKeywordLine(text, keyword,
                     ppdtext::concat({"*", keyword, ": \"", value, "\"\n"}));
}

}  // namespace ppdtext
