// SPDX-License-Identifier: Apache-2.0
// Which paper sizes each region does without.
#include "policy/policy.h"
#include "ppdtext/ppdtext.h"

namespace policy {

namespace {

using Sizes = std::string_view[];

// The lists, spelled as the PPDs spell the sizes. The rows below pick one.
constexpr Sizes kJapan = {
    "Executive", "210x270mm",  "195x270mm",          "184x260mm", "197x273mm",
    "ISOB5",     "3x5",        "FanFoldGermanLegal", "Env10",     "EnvDL",
    "EnvC5",     "EnvMonarch", "EnvPRC5Rotated"};

constexpr Sizes kColorChina = {"210x270mm", "Postcard", "EnvYou4", "EnvChou3"};
constexpr Sizes kColorTaiwan = {"195x270mm", "184x260mm", "197x273mm",
                                "Postcard",  "EnvYou4",   "EnvChou3"};
constexpr Sizes kColorKorea = {"210x270mm", "195x270mm", "184x260mm",
                               "197x273mm", "Postcard",  "EnvYou4",
                               "EnvChou3"};
constexpr Sizes kColorKoreaFrom8 = {"210x270mm", "195x270mm", "184x260mm",
                                    "197x273mm", "Postcard",  "EnvYou4",
                                    "EnvChou3",  "B6",        "B5"};
constexpr Sizes kColorOther = {"210x270mm", "195x270mm", "184x260mm",
                               "197x273mm", "B6",        "Postcard",
                               "EnvYou4",   "EnvChou3"};
// "B6" stands twice here, fifth and ninth, and both are handed on.
constexpr Sizes kColorOtherFrom8 = {
    "210x270mm", "195x270mm", "184x260mm", "197x273mm", "B6",
    "Postcard",  "EnvYou4",   "EnvChou3",  "B6",        "B5"};

constexpr Sizes kMonoChina12Or13 = {"210x270mm", "Postcard", "EnvYou4",
                                    "EnvChou3",  "EnvChou4", "3x5"};
constexpr Sizes kMonoChina = {"210x270mm", "Postcard", "EnvYou4", "EnvChou3",
                              "EnvChou4"};
constexpr Sizes kMonoTaiwan12Or13 = {"195x270mm", "184x260mm", "197x273mm",
                                     "Postcard",  "EnvYou4",   "EnvChou3",
                                     "EnvChou4",  "3x5"};
constexpr Sizes kMonoTaiwan = {"195x270mm", "184x260mm", "197x273mm",
                               "Postcard",  "EnvYou4",   "EnvChou3",
                               "EnvChou4"};
constexpr Sizes kMonoOther = {
    "210x270mm", "195x270mm", "184x260mm", "197x273mm", "B5",
    "B6",        "Postcard",  "EnvYou4",   "EnvChou3",  "EnvChou4"};

enum class Models { Any, Below8, From8, Only12Or13 };

struct Row {
  std::string_view country;  // empty: every country not named above the row
  Models models;
  std::span<const std::string_view> sizes;
};

// The first row whose country and model numbers both match applies.
constexpr Row kColorRows[] = {
    {"JP", Models::Any, kJapan},
    {"CN", Models::Any, kColorChina},
    {"TW", Models::Any, kColorTaiwan},
    {"KR", Models::Below8, kColorKorea},
    {"KR", Models::From8, kColorKoreaFrom8},
    {"", Models::Below8, kColorOther},
    {"", Models::From8, kColorOtherFrom8},
};

constexpr Row kMonoRows[] = {
    {"JP", Models::Any, kJapan},
    {"CN", Models::Only12Or13, kMonoChina12Or13},
    {"CN", Models::Any, kMonoChina},
    {"TW", Models::Only12Or13, kMonoTaiwan12Or13},
    {"TW", Models::Any, kMonoTaiwan},
    {"", Models::Any, kMonoOther},  // "KR" included
};

bool matches(Models models, std::int32_t modelNumber) {
  switch (models) {
    case Models::Any:
      return true;
    case Models::Below8:
      return modelNumber < 8;
    case Models::From8:
      return modelNumber >= 8;
    case Models::Only12Or13:
      return isModel12Or13(modelNumber);
  }
  return false;
}

std::span<const Row> rowsFor(PrinterKind kind) {
  switch (kind) {
    case PrinterKind::ColorLaser:
      return kColorRows;
    case PrinterKind::MonoLaser:
      return kMonoRows;
  }
  return {};
}

}  // namespace

std::span<const std::string_view> paperSizesToRemove(const Printer& printer,
                                                     std::string_view country) {
  for (const Row& row : rowsFor(printer.kind)) {
    if ((row.country.empty() || row.country == country) &&
        matches(row.models, printer.modelNumber)) {
      return row.sizes;
    }
  }
  return {};
}

void removeRegionalPaperSizes(std::string& text, const Printer& printer,
                              std::string_view country) {
  ppdtext::deletePaperSizes(text, paperSizesToRemove(printer, country));
}

}  // namespace policy
