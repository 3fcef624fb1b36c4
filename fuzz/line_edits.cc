// SPDX-License-Identifier: Apache-2.0
#include "fuzz/line_edits.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

namespace fuzz {

std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    const std::size_t contentsEnd = i;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.push_back({begin, contentsEnd, i + 1});
    begin = i + 1;
  }
  if (begin < text.size()) lines.push_back({begin, text.size(), text.size()});
  return lines;
}

std::string_view contentsOf(std::string_view text, const Line& line) {
  return text.substr(line.begin, line.contentsEnd - line.begin);
}

bool spellsAt(std::string_view text, std::size_t at, std::string_view word) {
  if (at > text.size() || word.size() > text.size() - at) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (text[at + i] != word[i]) return false;
  }
  return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

bool isKeywordLine(std::string_view text, const Line& line,
                   std::string_view key) {
  const std::string_view contents = contentsOf(text, line);
  if (contents.empty() || contents[0] != '*' || !spellsAt(contents, 1, key)) {
    return false;
  }
  std::size_t at = 1 + key.size();
  while (at < contents.size() && isBlank(contents[at])) ++at;
  return at < contents.size() && contents[at] == ':';
}

int countKeywordLines(std::string_view text,
                      std::initializer_list<std::string_view> keys) {
  int count = 0;
  for (const Line& line : splitLines(text)) {
    for (std::string_view key : keys) count += isKeywordLine(text, line, key);
  }
  return count;
}

bool editsWholeLines(std::string_view before, std::string_view after,
                     std::span<const std::string> newLines, int rewrites) {
  const std::vector<Line> lines = splitLines(before);
  std::size_t longest = 0;
  for (const std::string& newLine : newLines) {
    longest = std::max(longest, newLine.size());
  }
  // Every way to match is tried, depth first, keeping a line before removing
  // it: a greedy match can go wrong, as a kept "x\r" followed by a removed
  // line and a kept "\n" reads as "x\r\n", which may also be a line further
  // on. A state is the lines of `before` gone through, the bytes of `after`
  // matched and the rewrites used; it is dropped when its two positions were
  // reached before with no more rewrites used, or when what is left of
  // `after` is longer than what is left of `before` plus the rewrites to come.
  struct State {
    std::size_t line, at;
    int used;
  };
  std::vector<State> stack = {{0, 0, 0}};
  std::unordered_map<std::uint64_t, int> fewestUsed;
  while (!stack.empty()) {
    const auto [i, at, used] = stack.back();
    stack.pop_back();
    if (at == after.size()) return true;  // the lines left are all removed
    if (i == lines.size()) continue;
    const std::size_t room =
        before.size() - lines[i].begin +
        static_cast<std::size_t>(rewrites - used) * longest;
    if (after.size() - at > room) continue;
    const auto [seen, first] =
        fewestUsed.try_emplace(i * (after.size() + 1) + at, used);
    if (!first && seen->second <= used) continue;
    seen->second = used;

    stack.push_back({i + 1, at, used});  // removed
    for (const std::string& newLine : newLines) {
      if (used < rewrites && spellsAt(after, at, newLine)) {
        stack.push_back({i + 1, at + newLine.size(), used + 1});
      }
    }
    const std::string_view whole =
        before.substr(lines[i].begin, lines[i].end - lines[i].begin);
    if (spellsAt(after, at, whole))
      stack.push_back({i + 1, at + whole.size(), used});
  }
  return false;
}

}  // namespace fuzz
