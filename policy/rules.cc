// SPDX-License-Identifier: Apache-2.0
// The duplex-default and country-code rules.
#include <algorithm>
#include <vector>

#include "policy/policy.h"
#include "ppdtext/ppdtext.h"

namespace policy {

namespace {

// Countries where long-edge duplex is the expected default.
constexpr std::string_view kDuplexCountries[] = {
    "FR", "ES", "SE", "NO", "DE", "FI", "PL", "IT", "GB", "RO", "GR", "BG",
    "IS", "HU", "PT", "AT", "CZ", "RS", "IE", "LT", "LV", "HR", "SK", "EE",
    "DK", "NL", "CH", "BE", "MK", "TR", "SI", "CY", "LU", "MT", "LI"};
static_assert(std::size(kDuplexCountries) == 35);

}  // namespace

bool prefersLongEdgeDuplex(std::string_view country) {
  return std::ranges::find(kDuplexCountries, country) !=
         std::end(kDuplexCountries);
}

bool monochromeGetsLongEdgeDuplex(std::string_view country) {
  return country != "CN";
}

bool writesCountryCode(std::string_view country) { return country != "JP"; }

bool isModel12Or13(std::int32_t modelNumber) {
  return modelNumber == 12 || modelNumber == 13;
}

bool getsLongEdgeDuplex(const Printer& printer, std::string_view country) {
  switch (printer.kind) {
    case PrinterKind::ColorLaser:
      return printer.modelNumber >= 9 && prefersLongEdgeDuplex(country);
    case PrinterKind::MonoLaser:
      return isModel12Or13(printer.modelNumber) &&
             monochromeGetsLongEdgeDuplex(country);
  }
  return false;
}

void applyDuplexRule(std::string& text, const Printer& printer,
                     std::string_view country) {
  if (!getsLongEdgeDuplex(printer, country)) return;
  std::vector<std::string_view> keep;
  for (std::size_t i = 0; i < std::size(kDuplexOptions); ++i) {
    if (printer.longEdgeConflicts[i]) keep.push_back(kDuplexOptions[i]);
  }
  ppdtext::setDefault(text, kDuplexOptions[0], "DuplexNoTumble", keep);
}

void applyCountryCodeRule(std::string& text, std::string_view country) {
  if (writesCountryCode(country)) {
    ppdtext::setQuotedValue(text, "ISOCountryCode", country);
  }
}

void adaptToCountry(std::string& text, const Printer& printer,
                    std::string_view country) {
  removeRegionalPaperSizes(text, printer, country);
  applyDuplexRule(text, printer, country);
  applyCountryCodeRule(text, country);
}

}  // namespace policy
