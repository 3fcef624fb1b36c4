// SPDX-License-Identifier: Apache-2.0
// Finding the entries that name a page keyword, in one scan.
#include "ppdtext/entries.h"

#include <algorithm>
#include <string>

#include "ppdtext/lines.h"

namespace ppdtext {

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

void Entries::note(std::string_view text,
                   std::span<const std::string_view> names,
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

Entries findEntries(std::string_view text,
                    std::span<const std::string_view> keywords,
                    std::span<const std::string_view> names) {
  Entries out{std::vector<std::vector<Entry>>(names.size()), {}, {}};
  for (std::size_t c = 0; c < 256; ++c) {
    const char letter[] = {static_cast<char>(c)};
    out.mayBeginName[c] = std::ranges::any_of(names, [&](std::string_view n) {
      return startsWithIgnoringCase({letter, 1}, 0, n.substr(0, 1));
    });
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

}  // namespace ppdtext
