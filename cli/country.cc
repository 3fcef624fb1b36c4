// SPDX-License-Identifier: Apache-2.0
// The user's country, from the locale variables.
#include <cstdlib>

#include "cli/cli.h"

namespace cli {

namespace {

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string countryFromLocaleName(std::string_view name) {
  const std::size_t underscore = name.find('_');
  if (underscore == name.npos) return {};
  std::string_view territory = name.substr(underscore + 1);
  territory = territory.substr(0, territory.find_first_of(".@"));
  if (territory.size() != 2 || !isAsciiLetter(territory[0]) ||
      !isAsciiLetter(territory[1])) {
    return {};
  }
  std::string country(territory);
  for (char& c : country) c = static_cast<char>(c & ~0x20);  // to upper case
  return country;
}

std::string countryFromEnvironment() {
  // glibc's order for the category that governs paper sizes.
  for (const char* variable : {"LC_ALL", "LC_PAPER", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return countryFromLocaleName(value);
  }
  return {};
}

}  // namespace cli
