// SPDX-License-Identifier: Apache-2.0
// The PPD text and the line-oriented edits made on it.
//
// The text is the whole PPD file as bytes in a std::string, in whatever
// encoding the PPD uses (UTF-8, ISO-8859-1, Shift-JIS, ...). libcups reads the
// lines and keywords of a PPD as bytes in every encoding, lines ending at LF,
// CR or CR LF, and so do the edits: every key searched for is ASCII, and an
// edit only removes or replaces whole lines, so it never splits a character.
// Nothing here knows about printers or regions: the edits take the text, a
// main keyword without its asterisk and an option or value.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

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
bool equalsIgnoringCase(std::string_view a, std::string_view b);

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

// The edits. Each changes the text in place and leaves every byte it does not
// mean to edit as it was.

/// Deletes option `option` of main keyword `keyword` (for example "PageSize"
/// and "B5"), whole entries with their terminators. Below, "blanks" is one or
/// more blanks (see isBlank), as libcups allows between a keyword and its
/// option; "[blanks]" may also be none.
///  - the main line: the first line that begins with `*K`, blanks, `O`,
///    [blanks], then "/" or ":" (O compared exactly). A comment (`*%*K O/`)
///    or a mention inside another line is not a main line. When there is
///    none, nothing at all is deleted for this keyword;
///  - every translation line, one that holds `.K`, blanks, `O`, [blanks],
///    "/";
///  - for "PageSize" and "PageRegion" only, every constraint that names the
///    option: `*K`, blanks, then O compared without regard to ASCII letter
///    case (as libcups compares choices), followed by a blank, a double
///    quote, a line terminator or the end of the text. Such a mention deletes
///    the entry that begins on its line when that line holds "UIConstraints".
///    Otherwise, when its line lies within a quoted value that an earlier
///    line opens (the nearest earlier line holding a double quote opens a
///    value, see entryEnd, that runs on through this line) and that line
///    holds "UIConstraints", that whole entry is deleted.
///
///   *PageSize B6/JIS B6: "..."                      deleted
///   *de.PageSize  B6 /JIS B6: ""                    deleted
///   *PageSize B6.Fullbleed/JIS B6: "..."            kept
///   *UIConstraints: *Duplex DuplexTumble *PageSize b6  deleted
///   *cupsUIConstraints c: "*Duplex DuplexTumble     } deleted
///     *PageSize B6"                                 }
///   *DefaultPageSize: B6                            kept
void deleteOption(std::string& text, std::string_view keyword,
                  std::string_view option);

/// Deletes paper size `name` from "PageRegion", "PageSize", "PaperDimension"
/// and "ImageableArea", in that order, each as deleteOption does. A size that
/// the PPD names as its default in any `*DefaultPageSize`,
/// `*DefaultPageRegion`, `*DefaultPaperDimension` or `*DefaultImageableArea`
/// line (see findKeywordLine; the choice read as defaultChoice reads it and
/// compared without regard to ASCII letter case, as libcups finds a
/// default's choice) is not deleted at all, since the PPD would be left with
/// a default that names no size.
void deletePaperSize(std::string& text, std::string_view name);

/// Deletes every size of `names` in list order, as deletePaperSize does; a
/// name listed twice is processed twice, and empty names are skipped.
void deletePaperSizes(std::string& text,
                      std::span<const std::string_view> names);

/// Sets the default choice of main keyword `keyword`: every
/// `*Default<keyword>:` line (see findKeywordLine; with its entry, if it
/// opens a quoted value that it does not close) becomes
/// "*Default<keyword>: <value>" and one LF, so that whichever of them libcups
/// honours names the value. When there is no such line and `keyword` holds
/// no "QV", the same is tried once with "QV" + `keyword`. Nothing is added
/// when neither line exists.
///
/// The default lines found stay as they are, and no retry is made, when
///  - the keyword whose default lines were found is listed in `keep`; or
///  - a default must stay one of the option's choices: the text has choice
///    lines of that keyword (lines that begin with `*<keyword>`, blanks, a
///    choice, [blanks] and "/" or ":") and none of those choices is `value`
///    (without regard to ASCII letter case). Without any choice lines the
///    lines are rewritten.
///
///   *DefaultDuplex: None\r\n   ->   *DefaultDuplex: DuplexNoTumble\n
void setDefault(std::string& text, std::string_view keyword,
                std::string_view value,
                std::span<const std::string_view> keep = {});

/// Sets the quoted value of general-information keyword `keyword`: every
/// `*<keyword>:` line (with its entry) becomes `*<keyword>: "<value>"` and one
/// LF. The value is written as given, unescaped. Nothing is added when the
/// PPD has no such line.
///
///   *ISOCountryCode: "US"   ->   *ISOCountryCode: "FR"\n
void setQuotedValue(std::string& text, std::string_view keyword,
                    std::string_view value);

}  // namespace ppdtext
