// SPDX-License-Identifier: Apache-2.0
// The line-oriented edits made on the PPD text.
//
// The text is the whole PPD file as bytes in a std::string, in whatever
// encoding the PPD uses (UTF-8, ISO-8859-1, Shift-JIS, ...). libcups reads the
// lines and keywords of a PPD as bytes in every encoding, and so do the
// edits: every key searched for is ASCII, and an edit only removes or
// replaces whole lines, so it never splits a character. Nothing here knows
// about printers or regions: the edits take the text, a main keyword without
// its asterisk and an option or value. Each changes the text in place and
// leaves every byte it does not mean to edit as it was.
//
// Words used below, each as libcups reads a PPD:
//  - a line ends at LF, CR or CR LF (one terminator); U+0085, U+2028 and
//    U+2029 are ordinary characters of a line;
//  - a blank is a space, tab, vertical tab or form feed; "blanks" are one or
//    more of them, "[blanks]" none or more;
//  - an entry is a line, unless what follows its first colon holds an odd
//    number of double quotes: then the quoted value runs on through the
//    first later line holding a double quote, and a `*End` line right after
//    that belongs to it too;
//  - a keyword's line is a line that begins with "*", the keyword, [blanks]
//    and ":" (`*DefaultDuplex:`, not `*DefaultDuplexUnit:`, `*%*DefaultDuplex:`
//    or `x *DefaultDuplex:`);
//  - a default's choice is what a `*Default<K>:` line names: its value with
//    the blanks around it trimmed, its first and last characters dropped when
//    it ends in a double quote, and cut at its first "/"; so `A4`, `"A4"` and
//    `A4/A4` all name A4;
//  - choices are compared without regard to ASCII letter case.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace ppdtext {

/// Deletes option O of main keyword K (say "PageSize" and "B5"), whole
/// entries with their terminators. Below, "O/" is O, [blanks] and "/"; a
/// UIConstraints entry is one whose first line holds "UIConstraints"; an
/// entry names O where `*K`, blanks and O in any letter case stand before a
/// blank, a double quote, a line end or the end of the text.
///  1. Main line: the first line starting `*K`, blanks, `O/` or `O:`; or stop.
///  2. Translations: every entry whose first line holds `.K`, blanks, `O/`.
///  3. For PageSize and PageRegion: every UIConstraints entry naming O.
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
/// line (a keyword's line whose default's choice is `name`) is not deleted
/// at all, since the PPD would be left with a default that names no size.
void deletePaperSize(std::string& text, std::string_view name);

/// Deletes every size of `names` in list order, as deletePaperSize does; a
/// name listed twice is processed twice, and empty names are skipped.
void deletePaperSizes(std::string& text,
                      std::span<const std::string_view> names);

/// A new default paper size: `value` for the default lines of `keywords`,
/// each one of "PageRegion", "PageSize", "PaperDimension" and
/// "ImageableArea".
struct DefaultSize {
  std::span<const std::string_view> keywords;
  std::string_view value;
};

/// deletePaperSizes(text, names), then setDefaults(text, newDefault.keywords,
/// newDefault.value): the same result, with the text read and moved once.
void deletePaperSizes(std::string& text,
                      std::span<const std::string_view> names,
                      const DefaultSize& newDefault);

/// Sets the default choice of main keyword `keyword`: every
/// `*Default<keyword>` keyword line (with its entry) becomes
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

/// Sets the default choice of each of `keywords` (main keywords, such as
/// "PageSize"): every `*Default<keyword>` keyword line (with its entry)
/// becomes "*Default<keyword>: <value>" and one LF. The caller has made sure
/// that each keyword offers the choice; no line is added and no other
/// keyword is retried.
///
///   *DefaultPageSize: Letter\r\n   ->   *DefaultPageSize: A4\n
///   *DefaultPageSizeUnit: x        ->   kept
void setDefaults(std::string& text, std::span<const std::string_view> keywords,
                 std::string_view value);

/// Sets the quoted value of general-information keyword `keyword`: every
/// `*<keyword>` keyword line (with its entry) becomes `*<keyword>: "<value>"`
/// and one LF. The value is written as given, unescaped. Nothing is added when
/// the PPD has no such line.
///
///   *ISOCountryCode: "US"   ->   *ISOCountryCode: "FR"\n
void setQuotedValue(std::string& text, std::string_view keyword,
                    std::string_view value);

}  // namespace ppdtext
