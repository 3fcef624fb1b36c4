// SPDX-License-Identifier: Apache-2.0
// Searching the PPD text and finding the bounds of its lines and entries.
#include "ppdtext/lines.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ppdtext {

namespace {

// Whether a line terminator ends just before `pos`. A CR directly followed by
// LF does not end a line by itself: the pair is one terminator.
bool terminatorEndsAt(std::string_view text, std::size_t pos) {
  if (pos == 0) return false;
  switch (text[pos - 1]) {
    case '\n':
      return true;
    case '\r':
      return pos == text.size() || text[pos] != '\n';
    default:
      return false;
  }
}

}  // namespace

bool isLineStart(std::string_view text, std::size_t pos) {
  return pos == 0 || terminatorEndsAt(text, pos);
}

std::size_t find(std::string_view text, std::string_view key, std::size_t from,
                 std::size_t to) {
  to = std::min(to, text.size());
  if (from > to || key.size() > to - from) return npos;
  if (key.empty()) return from;
  const void* hit =
      memmem(text.data() + from, to - from, key.data(), key.size());
  return hit == nullptr ? npos
                        : static_cast<std::size_t>(
                              static_cast<const char*>(hit) - text.data());
}

std::size_t terminatorLength(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  switch (text[pos]) {
    case '\n':
      return 1;
    case '\r':
      return pos + 1 < text.size() && text[pos + 1] == '\n' ? 2 : 1;
    default:
      return 0;
  }
}

LineBounds lineBounds(std::string_view text, std::size_t pos) {
  // Plain loops over the bytes: the deletion asks for the bounds of every
  // line it deletes, often more than once.
  const char* const data = text.data();
  const std::size_t size = text.size();
  std::size_t begin = pos;
  for (; begin > 0; --begin) {
    const char c = data[begin - 1];
    if (c == '\n' || (c == '\r' && (begin == size || data[begin] != '\n')))
      break;
  }
  std::size_t contentsEnd = pos;
  while (contentsEnd < size && data[contentsEnd] != '\n' &&
         data[contentsEnd] != '\r') {
    ++contentsEnd;
  }
  return {begin, contentsEnd,
          contentsEnd + terminatorLength(text, contentsEnd)};
}

bool opensQuotedValue(std::string_view text, const LineBounds& line) {
  const std::string_view contents =
      text.substr(line.begin, line.contentsEnd - line.begin);
  const std::size_t colon = contents.find(':');
  if (colon == npos) return false;
  const std::string_view value = contents.substr(colon + 1);
  return std::count(value.begin(), value.end(), '"') % 2 != 0;
}

std::size_t entryEnd(std::string_view text, const LineBounds& line) {
  return TextWithGaps(text).entryEnd(line.begin);
}

std::size_t findKeywordLine(std::string_view text, std::string_view key,
                            std::size_t from) {
  const std::string needle = concat({"*", key});
  for (std::size_t pos = find(text, needle, from); pos != npos;
       pos = find(text, needle, pos + 1)) {
    if (!isLineStart(text, pos)) continue;
    std::size_t after = pos + needle.size();
    while (after < text.size() && isBlank(text[after])) ++after;
    if (after < text.size() && text[after] == ':') return pos;
  }
  return npos;
}

std::string_view defaultChoice(std::string_view text, const LineBounds& line) {
  std::string_view value =
      text.substr(line.begin, line.contentsEnd - line.begin);
  const std::size_t colon = value.find(':');
  if (colon == npos) return {};
  value.remove_prefix(colon + 1);
  while (!value.empty() && isBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && isBlank(value.back())) value.remove_suffix(1);
  if (!value.empty() && value.back() == '"') {
    // libcups drops the last character and the first, whatever it is.
    value.remove_suffix(1);
    if (!value.empty()) value.remove_prefix(1);
  }
  return value.substr(0, value.find('/'));
}

std::string concat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out += part;
  return out;
}

void eraseRanges(std::string& text, std::span<const Range> ranges) {
  if (ranges.empty()) return;
  // Compact in place: every kept stretch moves towards the front.
  std::size_t write = ranges.front().begin;
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    const std::size_t keptBegin = ranges[i].end;
    const std::size_t keptEnd =
        i + 1 < ranges.size() ? ranges[i + 1].begin : text.size();
    std::memmove(text.data() + write, text.data() + keptBegin,
                 keptEnd - keptBegin);
    write += keptEnd - keptBegin;
  }
  text.resize(write);
}

void editRanges(std::string& text, std::span<const Range> erased,
                std::span<const Replacement> replaced) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  auto next = replaced.begin();
  const auto replaceUpTo = [&](std::size_t pos) {
    for (; next != replaced.end() && next->range.begin < pos; ++next) {
      out.append(text, copied, next->range.begin - copied);
      out += next->text;
      copied = next->range.end;
    }
  };
  for (const Range& range : erased) {
    replaceUpTo(range.begin);
    if (range.begin < copied) continue;  // within a replaced range
    out.append(text, copied, range.begin - copied);
    copied = range.end;
  }
  replaceUpTo(text.size() + 1);
  out.append(text, copied);
  text = std::move(out);
}

void TextWithGaps::takeOut(Range range) {
  gaps_.erase(gaps_.lower_bound(range.begin), gaps_.lower_bound(range.end));
  gaps_.emplace(range.begin, range.end);
}

std::size_t TextWithGaps::entryEnd(std::size_t begin) const {
  const LineBounds first = lineBounds(text_, begin);
  if (!opensQuotedValue(text_, first)) return lineEnd(first);
  // The value runs on through the first later line that holds a double
  // quote, and a `*End` line right after that one.
  for (std::size_t pos = skipGaps(lineEnd(first)); pos < text_.size();) {
    const LineBounds line = lineBounds(text_, pos);
    pos = skipGaps(lineEnd(line));
    if (find(text_, "\"", line.begin, line.contentsEnd) == npos) continue;
    if (pos == text_.size()) return lineEnd(line);
    const LineBounds next = lineBounds(text_, pos);
    std::string_view end =
        text_.substr(next.begin, next.contentsEnd - next.begin);
    while (!end.empty() && isBlank(end.back())) end.remove_suffix(1);
    return end == "*End" ? lineEnd(next) : lineEnd(line);
  }
  return lineEnd(first);  // never closed: not an entry the parser accepts
}

std::size_t TextWithGaps::quotedLineBefore(std::size_t begin) const {
  // Searching back from each line would read the same stretch again for
  // every line of a long run without quotes: the quotes are noted once.
  if (!quotesNoted_) {
    for (const char* at = text_.data();
         const void* quote = std::memchr(
             at, '"',
             static_cast<std::size_t>(text_.data() + text_.size() - at));
         at = static_cast<const char*>(quote) + 1) {
      quotes_.push_back(static_cast<std::size_t>(
          static_cast<const char*>(quote) - text_.data()));
    }
    quotesNoted_ = true;
  }
  for (auto before = std::ranges::lower_bound(quotes_, begin);
       before != quotes_.begin();
       before = std::ranges::lower_bound(quotes_, begin)) {
    const std::size_t pos = *std::prev(before);
    const Gap* gap = gapHolding(pos);
    if (gap == nullptr) return lineBounds(text_, pos).begin;
    begin = gap->first;
  }
  return npos;
}

std::vector<Range> TextWithGaps::gaps() const {
  std::vector<Range> out;
  for (const auto& [begin, end] : gaps_) out.push_back({begin, end});
  return out;
}

const TextWithGaps::Gap* TextWithGaps::gapHolding(std::size_t pos) const {
  const auto it = gaps_.upper_bound(pos);
  if (it == gaps_.begin() || std::prev(it)->second <= pos) return nullptr;
  return &*std::prev(it);
}

// Past the gaps that begin at `pos`.
std::size_t TextWithGaps::skipGaps(std::size_t pos) const {
  for (auto it = gaps_.find(pos); it != gaps_.end(); it = gaps_.find(pos)) {
    pos = it->second;
  }
  return pos;
}

// The end of a line that is left, with the LF it takes across a gap.
std::size_t TextWithGaps::lineEnd(const LineBounds& line) const {
  if (line.end == line.contentsEnd || text_[line.end - 1] != '\r')
    return line.end;
  const std::size_t next = skipGaps(line.end);
  return next < text_.size() && text_[next] == '\n' ? next + 1 : line.end;
}

}  // namespace ppdtext
