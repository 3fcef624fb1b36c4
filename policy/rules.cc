// The duplex-default and country-code rules.
#include <algorithm>

#include "policy/policy.h"
#include "ppdtext/ppdtext.h"

namespace {

// Countries where long-edge duplex is the expected default.
constexpr std::string_view kDuplexCountries[] = {
    "FR", "ES", "SE", "NO", "DE", "FI", "PL", "IT", "GB", "RO", "GR", "BG",
    "IS", "HU", "PT", "AT", "CZ", "RS", "IE", "LT", "LV", "HR", "SK", "EE",
    "DK", "NL", "CH", "BE", "MK", "TR", "SI", "CY", "LU", "MT", "LI"};
static_assert(std::size(kDuplexCountries) == 35);

}  // namespace

bool shouldChangeDuplexDefault(std::string_view country) {
  return std::ranges::find(kDuplexCountries, country) !=
         std::end(kDuplexCountries);
}

bool shouldChangeDuplexDefaultEnergyStar(std::string_view country) {
  return country != "CN";
}

bool shouldChangeDefaultCountryCode(const ppd_file_t* /*ppd*/,
                                    std::string_view country,
                                    std::optional<std::string_view>& out) {
  if (country == "JP") return false;
  out = country;
  return true;
}

void applyDuplexRule(std::string& text, PrinterKind kind,
                     std::int32_t modelNumber, std::string_view country) {
  bool change = false;
  switch (kind) {
    case PrinterKind::ColorLaser:
      change = modelNumber >= 9 && shouldChangeDuplexDefault(country);
      break;
    case PrinterKind::MonoLaser:
      change = (modelNumber == 12 || modelNumber == 13) &&
               shouldChangeDuplexDefaultEnergyStar(country);
      break;
  }
  if (change) QVCFStringChangeDefault(text, "Duplex", "DuplexNoTumble");
}

void applyCountryCodeRule(std::string& text, const ppd_file_t* ppd,
                          std::string_view country) {
  std::optional<std::string_view> code;
  if (shouldChangeDefaultCountryCode(ppd, country, code) && code) {
    QVCFStringChangeGeneralInformation(text, "ISOCountryCode", *code);
  }
}
