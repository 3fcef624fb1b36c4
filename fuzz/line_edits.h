// SPDX-License-Identifier: Apache-2.0
// Lines and line edits as both fuzzers check them. Written here from the way
// libcups reads PPD lines, sharing nothing with ppdtext, so that the fuzzers
// stay a check of ppdtext that does not share its mistakes.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

/// A line of a text: its bytes [begin, contentsEnd), then its terminator
/// [contentsEnd, end): LF, CR or CR LF, or none on a last unterminated line.
/// Other separators (U+0085, U+2028, U+2029) are ordinary bytes of a line.
struct Line {
  std::size_t begin, contentsEnd, end;
};

std::vector<Line> splitLines(std::string_view text);

/// The line without its terminator.
std::string_view contentsOf(std::string_view text, const Line& line);

/// Whether `word` stands in `text` at `at`. A plain loop: the checks run on
/// every input, and memcmp would go through libFuzzer's comparison hooks.
bool spellsAt(std::string_view text, std::size_t at, std::string_view word);

/// The blanks libcups skips between the parts of an entry.
bool isBlank(char c);

/// Whether `line` is a main line of `key`: "*", the key, blanks, ":".
bool isKeywordLine(std::string_view text, const Line& line,
                   std::string_view key);

/// How many lines of `text` are main lines of one of `keys`: how many
/// entries an edit of those keys may rewrite.
int countKeywordLines(std::string_view text,
                      std::initializer_list<std::string_view> keys);

/// Whether `after` is `before` with some of its whole lines (terminators
/// included) removed, in their order, and at most `rewrites` of them replaced
/// by one of `newLines`. A rewritten entry of several lines is its first line
/// replaced and the others removed.
bool editsWholeLines(std::string_view before, std::string_view after,
                     std::span<const std::string> newLines = {},
                     int rewrites = 0);

}  // namespace fuzz
