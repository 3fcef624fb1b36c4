// SPDX-License-Identifier: Apache-2.0
// What kind of printer a PPD describes, and which regional edits it gets.
//
// The printer is classified once per run by libcups' PPD parser; the rules
// then decide from its kind, its model number and the user's country which
// paper sizes go and whether the duplex default and country code change, and
// make those edits on the PPD text.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace policy {

enum class PrinterKind { MonoLaser, ColorLaser };

/// The duplex options whose default the duplex rule may set: the standard
/// one and a vendor's copy of it.
inline constexpr std::string_view kDuplexOptions[] = {"Duplex", "QVDuplex"};

/// The printer a PPD describes.
struct Printer {
  PrinterKind kind;
  std::int32_t modelNumber;  ///< `*cupsModelNumber`; 0 when the PPD has none
  /// For each of kDuplexOptions: whether DuplexNoTumble as its choice
  /// conflicts with the PPD's default choices, by the PPD's constraints.
  bool longEdgeConflicts[std::size(kDuplexOptions)] = {};
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
std::optional<Printer> classifyPrinter(std::string_view ppd,
                                       std::string_view country);

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

/// The three edits in their order: paper sizes, duplex, country code.
void adaptToCountry(std::string& text, const Printer& printer,
                    std::string_view country);

}  // namespace policy
