// SPDX-License-Identifier: Apache-2.0
// Lines, entries and keywords of the PPD text, as the edits find them; used
// inside ppdtext only (and by its tests).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ppdtext {

inline constexpr std::size_t npos = std::string_view::npos;

/// First occurrence of `key` in `text` that starts at or after `from` and ends
/// at or before `to`; literal and case-sensitive. Returns npos when there is
/// none.
std::size_t find(std::string_view text, std::string_view key,
                 std::size_t from = 0, std::size_t to = npos);

/// The line that holds a position. A terminator is LF, CR or CR LF (one
/// terminator). Other line separators, such as U+0085 or U+2028, are ordinary
/// characters of a line, as libcups takes them.
struct LineBounds {
  std::size_t begin;        ///< first byte of the line
  std::size_t contentsEnd;  ///< first byte of its terminator, or text end
  std::size_t end;          ///< just past its terminator, or text end
};

/// Bounds of the line holding `pos` (0 <= pos <= text.size()). `pos` must not
/// stand inside a terminator; a position found by searching for a key that
/// holds no terminator never does.
LineBounds lineBounds(std::string_view text, std::size_t pos);

/// Whether `c` is a blank: a space, tab, vertical tab or form feed, the
/// characters besides line ends that libcups skips between the parts of an
/// entry.
inline bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

/// Whether a line begins at `pos`: at the start of the text or right after
/// a terminator (never between the CR and LF of one).
bool isLineStart(std::string_view text, std::size_t pos);

/// Length of the terminator starting at `pos` (1 or 2 bytes), or 0 when no
/// terminator starts there.
std::size_t terminatorLength(std::string_view text, std::size_t pos);

/// Whether the line's value (what follows its first colon) holds an odd
/// number of double quotes: it opens a quoted value that it does not close.
bool opensQuotedValue(std::string_view text, const LineBounds& line);

/// End of the PPD entry that begins on `line`. An entry is one line, unless
/// the line's value (what follows its first colon) holds an odd number of
/// double quotes: then the quoted value runs on through the first later line
/// that holds a double quote, and a `*End` line directly after that belongs
/// to the entry too. When no later line closes the quote the entry is the
/// line alone.
///
///   *PageSize Executive/Executive: "<<        } one entry
///     /PageSize [522 756] >> setpagedevice"  }
///   *End                                     }
std::size_t entryEnd(std::string_view text, const LineBounds& line);

/// Position of the first line at or after `from` that is `*key`'s own
/// main-keyword line: it starts with "*", then `key`, then optional blanks,
/// then ":". `*DefaultDuplexUnit:`, `*%*DefaultDuplex:` and
/// `*StpDefaultDuplex:` are not lines of the key "DefaultDuplex". Returns npos
/// when there is none.
std::size_t findKeywordLine(std::string_view text, std::string_view key,
                            std::size_t from = 0);

/// The choice a default line (`*DefaultPageSize: A4`) names, read as libcups
/// reads it: the line's value after its first colon with blanks trimmed from
/// both ends; a value that ends in a double quote loses its first and last
/// character (the quotes); then everything from its first "/" (a
/// translation) on is dropped. `A4`, `"A4"`, ` A4/A4 \t` all name A4.
std::string_view defaultChoice(std::string_view text, const LineBounds& line);

/// Whether `a` and `b` are equal without regard to ASCII letter case, as
/// libcups compares option and choice names.
inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

/// The parts, joined.
std::string concat(std::initializer_list<std::string_view> parts);

/// A half-open byte range [begin, end).
struct Range {
  std::size_t begin;
  std::size_t end;
};

/// Removes the given ranges, which must be sorted and must not overlap, in a
/// single copy of the kept stretches.
void eraseRanges(std::string& text, std::span<const Range> ranges);

/// A range of the text and what takes its place.
struct Replacement {
  Range range;
  std::string text;
};

/// Removes `erased` and puts each of `replaced` in place of its range, in
/// one copy. Each list is sorted, its ranges disjoint; an erased range that
/// meets a replaced one lies inside it and goes with it.
///   "a\nb\nc\n", erased {2,4}, replaced {{0,2},"A\n"}  ->  "A\nc\n"
void editRanges(std::string& text, std::span<const Range> erased,
                std::span<const Replacement> replaced);

/// A text with gaps: entries taken out of it, read as the text that is left
/// once they are erased, without moving a byte. A line ending in CR that
/// comes up against an LF there ends after it (one CR LF terminator).
/// Positions are those of the whole text.
class TextWithGaps {
 public:
  explicit TextWithGaps(std::string_view text) : text_(text) {}

  /// Whether `pos` lies in a gap.
  bool inGap(std::size_t pos) const { return gapHolding(pos) != nullptr; }

  /// Takes out `range`, which begins at a line left and ends where a line
  /// left ends; the gaps within it join it.
  void takeOut(Range range);

  /// End of the entry that begins on the line left at `begin`, as entryEnd
  /// reads it in the text that is left.
  std::size_t entryEnd(std::size_t begin) const;

  /// Start of the nearest line left before `begin` that holds a double
  /// quote, or npos.
  std::size_t quotedLineBefore(std::size_t begin) const;

  /// The gaps, sorted and disjoint.
  std::vector<Range> gaps() const;

 private:
  using Gap = std::pair<const std::size_t, std::size_t>;  // begin, end
  const Gap* gapHolding(std::size_t pos) const;
  std::size_t skipGaps(std::size_t pos) const;
  std::size_t lineEnd(const LineBounds& line) const;

  std::string_view text_;
  std::map<std::size_t, std::size_t> gaps_;  ///< begin -> end
  mutable std::vector<std::size_t> quotes_;  ///< every '"', noted when asked
  mutable bool quotesNoted_ = false;
};

}  // namespace ppdtext
