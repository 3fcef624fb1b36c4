// SPDX-License-Identifier: Apache-2.0
// The duplex-default, country-code and default-paper rules.
#include <algorithm>
#include <cmath>
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

// Countries whose office paper is US Letter: the territories of
// `<paperSize type="US-Letter">` in the Unicode CLDR's supplementalData.xml
// (CLDR 44). Every other country prints on A4.
constexpr std::string_view kLetterCountries[] = {"BZ", "CA", "CL", "CO", "CR",
                                                 "GT", "MX", "NI", "PA", "PH",
                                                 "PR", "SV", "US", "VE"};

struct OfficeSize {
  OfficePaper paper;
  float width, length;  // in points
};
constexpr OfficeSize kOfficeSizes[] = {{OfficePaper::A4, 595, 842},
                                       {OfficePaper::Letter, 612, 792}};

std::string_view nameOf(OfficePaper paper) {
  switch (paper) {
    case OfficePaper::None:
      return "none";
    case OfficePaper::A4:
      return "A4";
    case OfficePaper::Letter:
      return "Letter";
  }
  return "none";
}

const PaperSize* findSize(std::span<const PaperSize> sizes,
                          std::string_view name) {
  for (const PaperSize& size : sizes) {
    if (sameName(size.name, name)) return &size;
  }
  return nullptr;
}

std::string joined(std::span<const std::string> parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += ", ";
    out += part;
  }
  return out;
}

// removeRegionalPaperSizes, one size at a time so that it can say which
// sizes went and which stayed as defaults.
void removeSizesSaying(std::string& text, const Printer& printer,
                       std::string_view country,
                       std::vector<std::string>& notes) {
  std::vector<std::string> removed;
  std::vector<std::string> kept;
  for (const std::string_view name : paperSizesToRemove(printer, country)) {
    const std::size_t before = text.size();
    ppdtext::deletePaperSize(text, name);
    std::vector<std::string>& list = text.size() != before ? removed : kept;
    if (std::ranges::find(list, name) == list.end() &&
        (text.size() != before || findSize(printer.sizes, name) != nullptr)) {
      list.emplace_back(name);
    }
  }
  std::erase_if(kept, [&](const std::string& name) {
    return std::ranges::find(removed, name) != removed.end();
  });
  notes.push_back("paper sizes removed: " +
                  (removed.empty() ? std::string("none") : joined(removed)));
  if (!kept.empty()) {
    notes.push_back("paper sizes kept because a default names them: " +
                    joined(kept));
  }
}

// The keywords whose default becomes paper.choice.
std::vector<std::string_view> paperKeywordsToChange(const PaperDefault& paper) {
  std::vector<std::string_view> keywords;
  if (paper.choice.empty()) return keywords;
  for (std::size_t i = 0; i < std::size(kPaperKeywords); ++i) {
    if (paper.changes[i]) keywords.push_back(kPaperKeywords[i]);
  }
  return keywords;
}

// One line for each size default: changed, or kept and why.
void notePaperRule(const Printer& printer, std::vector<std::string>& notes) {
  const PaperDefault& paper = printer.paper;
  if (paper.choice.empty()) {
    notes.push_back("default paper size kept: " + paper.reason);
    return;
  }
  for (std::size_t i = 0; i < std::size(kPaperKeywords); ++i) {
    if (paper.was[i].empty()) continue;
    const std::string line = "*Default" + std::string(kPaperKeywords[i]);
    notes.push_back(
        paper.changes[i]
            ? line + " changed from " + paper.was[i] + " to " + paper.choice
            : line + " kept: " + paper.was[i] +
                  " is not the other office paper, or " +
                  std::string(kPaperKeywords[i]) + " has no " + paper.choice);
  }
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::ranges::equal(a, b, {}, lower, lower);
}

OfficePaper officePaperOf(std::string_view country) {
  if (country.empty()) return OfficePaper::None;
  return std::ranges::find(kLetterCountries, country) !=
                 std::end(kLetterCountries)
             ? OfficePaper::Letter
             : OfficePaper::A4;
}

OfficePaper officePaperOfSize(float width, float length) {
  for (const OfficeSize& office : kOfficeSizes) {
    if (std::fabs(width - office.width) <= 1 &&
        std::fabs(length - office.length) <= 1) {
      return office.paper;
    }
  }
  return OfficePaper::None;
}

const PaperSize* regionalPaperChoice(std::span<const PaperSize> sizes,
                                     OfficePaper paper) {
  if (paper == OfficePaper::None) return nullptr;
  if (const PaperSize* named = findSize(sizes, nameOf(paper))) return named;
  const PaperSize* best = nullptr;
  for (const PaperSize& size : sizes) {
    if (officePaperOfSize(size.width, size.length) == paper &&
        (best == nullptr || size.name.size() < best->name.size())) {
      best = &size;
    }
  }
  return best;
}

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

void applyPaperRule(std::string& text, const Printer& printer,
                    std::vector<std::string>* notes) {
  if (notes != nullptr) notePaperRule(printer, *notes);
  ppdtext::setDefaults(text, paperKeywordsToChange(printer.paper),
                       printer.paper.choice);
}

void adaptToCountry(std::string& text, const Printer& printer,
                    std::string_view country, const Settings& settings,
                    std::vector<std::string>* notes) {
  if (notes != nullptr) {
    notes->push_back(
        std::string("printer: ") +
        (printer.kind == PrinterKind::ColorLaser ? "colour" : "monochrome") +
        ", model number " + std::to_string(printer.modelNumber));
    // Which sizes go, one at a time on a copy: the text itself is edited
    // below exactly as without notes.
    std::string copy = text;
    removeSizesSaying(copy, printer, country, *notes);
  }
  // The new default size is written in the same pass that removes sizes:
  // it rewrites only the size default lines, which the duplex and
  // country-code rules do not read, and the text is moved once.
  const std::vector<std::string_view> keywords =
      settings.defaultPaper ? paperKeywordsToChange(printer.paper)
                            : std::vector<std::string_view>();
  if (keywords.empty()) {
    removeRegionalPaperSizes(text, printer, country);
  } else {
    ppdtext::deletePaperSizes(text, paperSizesToRemove(printer, country),
                              {keywords, printer.paper.choice});
  }

  const std::string duplexBefore = notes != nullptr ? text : std::string();
  applyDuplexRule(text, printer, country);
  if (notes != nullptr) {
    if (!getsLongEdgeDuplex(printer, country)) {
      notes->push_back(
          "duplex default kept: no long-edge rule for this "
          "printer in " +
          (country.empty() ? std::string("no country") : std::string(country)));
    } else {
      for (std::size_t i = 0; i < std::size(kDuplexOptions); ++i) {
        if (printer.longEdgeConflicts[i]) {
          notes->push_back("*Default" + std::string(kDuplexOptions[i]) +
                           " kept: DuplexNoTumble conflicts with the other "
                           "defaults, or leaves a constraint unresolvable");
        }
      }
      notes->push_back(text != duplexBefore
                           ? "duplex default set to DuplexNoTumble"
                           : "duplex default unchanged");
    }
  }

  const std::string codeBefore = notes != nullptr ? text : std::string();
  applyCountryCodeRule(text, country);
  if (notes != nullptr) {
    notes->push_back(
        !writesCountryCode(country)
            ? "*ISOCountryCode kept: not written for " + std::string(country)
        : text != codeBefore
            ? "*ISOCountryCode set to \"" + std::string(country) + "\""
            : "*ISOCountryCode unchanged: already \"" + std::string(country) +
                  "\", or the PPD has no such line");
    if (settings.defaultPaper) notePaperRule(printer, *notes);
  }
}

bool adaptPpd(std::string& text, std::string_view country,
              const Settings& settings, std::vector<std::string>* notes) {
  const std::optional<Printer> printer =
      classifyPrinter(text, country, settings);
  if (!printer) {
    if (notes != nullptr) {
      notes->push_back(
          "libcups cannot read the text as a PPD: nothing adapted");
    }
    return false;
  }
  adaptToCountry(text, *printer, country, settings, notes);
  return true;
}

}  // namespace policy
