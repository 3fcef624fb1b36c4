// SPDX-License-Identifier: Apache-2.0
// What kind of printer a PPD describes, and which regional edits it gets.
//
// The printer is classified once per run by libcups' PPD parser; the rules
// then decide from its kind, its model number and the user's country which
// paper sizes go and whether the duplex default and country code change, and
// make those edits on the PPD text.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace policy {

enum class PrinterKind { MonoLaser, ColorLaser };

/// The duplex options whose default the duplex rule may set: the standard
/// one and a vendor's copy of it.
inline constexpr std::string_view kDuplexOptions[] = {"Duplex", "QVDuplex"};

/// The paper most documents of a country are printed on.
enum class OfficePaper { None, A4, Letter };

/// The keywords whose defaults name the default paper size, in the order
/// libcups' scheduler sets them for a new queue.
inline constexpr std::string_view kPaperKeywords[] = {
    "PageSize", "PageRegion", "PaperDimension", "ImageableArea"};

/// A paper size of the PPD, as libcups reads it: the name of its PageSize
/// choice and its `*PaperDimension` in points.
struct PaperSize {
  std::string name;
  float width = 0;
  float length = 0;
};

/// What the tool decided about the default paper size, and why.
struct PaperDefault {
  std::string choice;  ///< the PageSize choice to make the default, or empty
  std::string reason;  ///< when `choice` is empty: why the defaults stay
  /// For each of kPaperKeywords: its default as libcups reads it (empty
  /// when it has none), and whether it becomes `choice`: where it is a size
  /// of the other office paper and the keyword offers `choice`.
  std::array<std::string, std::size(kPaperKeywords)> was = {};
  std::array<bool, std::size(kPaperKeywords)> changes = {};
};

/// What the edits may ask besides the three regional edits.
struct Settings {
  bool defaultPaper = false;  ///< make the region's paper the default size
};

/// The printer a PPD describes.
struct Printer {
  PrinterKind kind;
  std::int32_t modelNumber;  ///< `*cupsModelNumber`; 0 when the PPD has none
  /// For each of kDuplexOptions: whether DuplexNoTumble as its choice
  /// conflicts with the PPD's default choices, by the PPD's constraints, or
  /// leaves a `*cupsUIConstraints` set that libcups could resolve against
  /// the defaults unresolvable.
  bool longEdgeConflicts[std::size(kDuplexOptions)] = {};
  /// The PPD's paper sizes, in its order; filled only where Settings ask
  /// for the default paper.
  std::vector<PaperSize> sizes = {};
  PaperDefault paper = {};  ///< decided only where Settings ask for it
};

/// Parses `ppd`, the whole text of a PPD file, with libcups' PPD parser:
/// ColorLaser when it declares `*ColorDevice: True`, else MonoLaser, with its
/// model number. Where the duplex rule makes long-edge duplex the default in
/// `country` (getsLongEdgeDuplex), also for each duplex option whether
/// libcups finds DuplexNoTumble in conflict with the defaults
/// (`*UIConstraints`, `*NonUIConstraints` and `*cupsUIConstraints` alike,
/// installable options included); a conflict the defaults already have
/// without that choice does not count. The parse keeps no translation, so its
/// cost does not depend on the user's language. Returns nothing when the
/// parser refuses the text for its content. Throws std::bad_alloc when the
/// parser runs out of memory, and std::system_error when the text cannot be
/// handed to it.
///
/// With `settings.defaultPaper`, also the paper sizes and the choice that
/// becomes the default size (Printer::paper): the PageSize choice that is
/// officePaperOf(country) (regionalPaperChoice), where the PPD's default
/// PageSize is the other office paper; never a size paperSizesToRemove
/// deletes, nor one libcups finds in conflict with the defaults (the
/// duplex default the duplex rule sets included), nor one that leaves a
/// `*cupsUIConstraints` set that was resolvable against the defaults
/// unresolvable.
std::optional<Printer> classifyPrinter(std::string_view ppd,
                                       std::string_view country,
                                       const Settings& settings = {});

/// The paper sizes `printer` does not offer in `country` (a two-letter
/// upper-case code, or empty), in the order they are to be deleted. A list
/// may name a size twice.
std::span<const std::string_view> paperSizesToRemove(const Printer& printer,
                                                     std::string_view country);

/// Whether long-edge duplex becomes the default in `country` for colour
/// printers: one of the listed European countries, compared exactly.
bool prefersLongEdgeDuplex(std::string_view country);

/// Whether `modelNumber` is 12 or 13: monochrome printers of those model
/// numbers have their own paper lists in China and Taiwan and their own
/// duplex rule.
bool isModel12Or13(std::int32_t modelNumber);

/// Whether monochrome printers of model number 12 or 13 get long-edge duplex
/// as their default in `country`: everywhere but China.
bool monochromeGetsLongEdgeDuplex(std::string_view country);

/// Whether `country` is written into the PPD's `*ISOCountryCode` line: for
/// every country but "JP".
bool writesCountryCode(std::string_view country);

/// Whether the duplex rule makes DuplexNoTumble the default of `printer` in
/// `country`, conflicts aside: colour printers of model number 9 or more
/// where prefersLongEdgeDuplex, monochrome printers of model number 12 or 13
/// where monochromeGetsLongEdgeDuplex.
bool getsLongEdgeDuplex(const Printer& printer, std::string_view country);

/// Whether two option or choice names are the same to libcups: equal
/// without regard to ASCII letter case.
bool sameName(std::string_view a, std::string_view b);

/// The office paper of `country`, by the Unicode CLDR supplemental data
/// (`paperSize`): Letter in the Americas' Letter countries and the
/// Philippines, A4 everywhere else; None for no country.
OfficePaper officePaperOf(std::string_view country);

/// Which office paper a size of `width` x `length` points is, within 1
/// point: 595 x 842 is A4, 612 x 792 Letter; else None.
OfficePaper officePaperOfSize(float width, float length);

/// The size of `sizes` that stands for `paper`: the one named "A4" or
/// "Letter" in any letter case, else the one whose dimensions are `paper`
/// (officePaperOfSize), the shortest name first, then the first in order.
/// Null when there is none or `paper` is None.
///   {A4Small 595x842, Letter 612x792} and A4 give A4Small
const PaperSize* regionalPaperChoice(std::span<const PaperSize> sizes,
                                     OfficePaper paper);

/// Deletes paperSizesToRemove(printer, country) from the text.
void removeRegionalPaperSizes(std::string& text, const Printer& printer,
                              std::string_view country);

/// Makes DuplexNoTumble the default where getsLongEdgeDuplex. A duplex option
/// whose default would then conflict with the other defaults
/// (Printer::longEdgeConflicts) keeps its default.
void applyDuplexRule(std::string& text, const Printer& printer,
                     std::string_view country);

/// Writes `country` into the PPD's `*ISOCountryCode` line where
/// writesCountryCode.
void applyCountryCodeRule(std::string& text, std::string_view country);

/// Makes printer.paper.choice the default of each of kPaperKeywords that
/// printer.paper says changes, in every default line of that keyword.
/// Nothing is added, and other defaults (labels, photo paper, envelopes)
/// stay.
void applyPaperRule(std::string& text, const Printer& printer,
                    std::vector<std::string>* notes = nullptr);

/// The edits in their order: paper sizes, duplex, country code, and with
/// `settings.defaultPaper` the default paper last. Where `notes` is given,
/// adds one line for each decision: the printer, the sizes removed, each
/// default changed or kept and why.
void adaptToCountry(std::string& text, const Printer& printer,
                    std::string_view country, const Settings& settings = {},
                    std::vector<std::string>* notes = nullptr);

/// Adapts the PPD text to `country`: classifies the printer from exactly this
/// text (classifyPrinter) and makes the edits of adaptToCountry. Leaves the
/// text unchanged and returns false when the PPD parser refuses it. Where
/// `notes` is given, adds a line for each decision. Throws std::bad_alloc
/// when memory runs out and std::system_error when the parser cannot read
/// the text.
bool adaptPpd(std::string& text, std::string_view country,
              const Settings& settings = {},
              std::vector<std::string>* notes = nullptr);

}  // namespace policy
