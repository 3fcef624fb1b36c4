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
  const std::size_t end = ppdtext::entryEnd(text, ppdtext::lineBounds(text, pos));
  text.replace(pos, end - pos, line);
  return true;
}

bool changeDefault(std::string& text, std::string_view keyword,
                   std::string_view value) {
  const std::string key = ppdtext::concat({"Default", keyword});
  return replaceKeywordLine(text, key,
                            ppdtext::concat({"*", key, ": ", value, "\n"}));
}

}  // namespace

void QVCFStringChangeDefault(std::string& text, std::string_view keyword,
                             std::string_view value) {
  if (changeDefault(text, keyword, value)) return;
  // Some vendors prefix their own copy of a standard option.
  if (keyword.find("QV") != std::string_view::npos) return;
  changeDefault(text, ppdtext::concat({"QV", keyword}), value);
}

void QVCFStringChangeGeneralInformation(std::string& text,
                                        std::string_view keyword,
                                        std::string_view value) {
  replaceKeywordLine(text, keyword,
                     ppdtext::concat({"*", keyword, ": \"", value, "\"\n"}));
}
