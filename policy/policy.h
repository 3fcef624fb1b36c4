// What kind of printer a PPD describes, and which regional edits it gets.
//
// The printer is classified once per run from the parsed PPD; the rules then
// decide from its kind, its model number and the user's country which paper
// sizes go and whether the duplex default and country code change, and make
// those edits on the PPD text.
#pragma once

#include <cups/ppd.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

enum class PrinterKind : std::int32_t { MonoLaser = 1, ColorLaser = 2 };

/// The printer as classified from its PPD.
struct ModelInfo {
  PrinterKind kind;
  std::int32_t modelNumber;  ///< `*cupsModelNumber`; 0 when the PPD has none
};

/// The printer of this run; both fields are -1 until determineModel sets them.
extern ModelInfo gModelInfo;

struct PpdCloser {
  void operator()(ppd_file_t* ppd) const;
};
using PpdHandle = std::unique_ptr<ppd_file_t, PpdCloser>;

/// Opens `path` with libcups' PPD parser; null when the parser refuses it.
PpdHandle openPpd(const char* path);

/// Sets gModelInfo from the parsed PPD: ColorLaser when it declares
/// `*ColorDevice: True`, else MonoLaser, and its model number. Returns 1 when
/// the PPD has a `*cupsCommands` attribute, -1 when it has none, and -1
/// without touching gModelInfo for a null handle.
int determineModel(ppd_file_t* ppd);

/// The paper sizes a printer of this kind and model number does not offer in
/// `country` (a two-letter upper-case code, or empty), in the order they are
/// to be deleted. A list may name a size twice.
std::span<const std::string_view> paperSizesToRemove(PrinterKind kind,
                                                     std::int32_t modelNumber,
                                                     std::string_view country);

/// Deletes paperSizesToRemove(kind, modelNumber, country) from the text.
void removeRegionalPaperSizes(std::string& text, PrinterKind kind,
                              std::int32_t modelNumber,
                              std::string_view country);

/// Whether long-edge duplex becomes the default in `country`: one of the
/// listed European countries, compared exactly.
bool shouldChangeDuplexDefault(std::string_view country);

/// Whether long-edge duplex becomes the default for the printers that carry
/// it by default everywhere but China.
bool shouldChangeDuplexDefaultEnergyStar(std::string_view country);

/// Whether the PPD's country code is rewritten: for every country but "JP".
/// When true, `out` is set to `country`; for "JP" it is left as it was. The
/// PPD is not consulted.
bool shouldChangeDefaultCountryCode(const ppd_file_t* ppd,
                                    std::string_view country,
                                    std::optional<std::string_view>& out);

/// Makes DuplexNoTumble the default: colour printers of model number 9 or more
/// in the duplex countries, monochrome printers of model number 12 or 13
/// outside China.
void applyDuplexRule(std::string& text, PrinterKind kind,
                     std::int32_t modelNumber, std::string_view country);

/// Writes `country` into the PPD's `*ISOCountryCode` line, except for "JP".
void applyCountryCodeRule(std::string& text, const ppd_file_t* ppd,
                          std::string_view country);
