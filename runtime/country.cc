// SPDX-License-Identifier: Apache-2.0
// The user's country, from the locale variables or the system's locale files.
#include "runtime/country.h"

#include <cstdlib>

#include "runtime/input.h"
#include "runtime/text.h"

namespace runtime {

namespace {

// glibc's order for the category that governs paper sizes.
constexpr const char* kPaperLocaleVariables[] = {"LC_ALL", "LC_PAPER", "LANG"};

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string countryCode(std::string_view code) {
  if (code.size() != 2 || !isAsciiLetter(code[0]) || !isAsciiLetter(code[1])) {
    return {};
  }
  std::string country(code);
  for (char& c : country) c = static_cast<char>(c & ~0x20);  // to upper case
  return country;
}

std::string countryFromLocaleName(std::string_view name) {
  const std::size_t underscore = name.find('_');
  if (underscore == name.npos) return {};
  std::string_view territory = name.substr(underscore + 1);
  return countryCode(territory.substr(0, territory.find_first_of(".@")));
}

std::string paperLocaleFromEnvironment() {
  for (const char* variable : kPaperLocaleVariables) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

std::string paperLocaleFromText(std::string_view text) {
  std::string values[std::size(kPaperLocaleVariables)];
  while (!text.empty()) {
    std::string_view line = trimmed(takeLine(text));
    // As the shell and pam_env read it: `export LANG=...` sets LANG.
    if (line.starts_with("export") && line.size() > 6 && isBlank(line[6])) {
      line = trimmed(line.substr(6));
    }
    const std::size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == line.npos) continue;
    const std::string_view key = line.substr(0, equals);
    std::string_view value = line.substr(equals + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    for (std::size_t i = 0; i < std::size(kPaperLocaleVariables); ++i) {
      // As the shell reads the file: a later line sets the variable again.
      if (key == kPaperLocaleVariables[i]) values[i] = value;
    }
  }
  for (const std::string& value : values) {
    if (!value.empty()) return value;
  }
  return {};
}

std::string paperLocaleFromFiles(std::span<const char* const> paths,
                                 std::vector<std::string>* ignored) {
  for (const char* path : paths) {
    const SmallFile file = readSmallFile(path);
    if (!file.error.empty() && ignored != nullptr)
      ignored->push_back(std::string(path) + ": " + file.error);
    // Missing, unreadable or not a file: the next one counts.
    std::string locale = paperLocaleFromText(file.text);
    if (!locale.empty()) return locale;
  }
  return {};
}

std::string countryFromEnvironment() {
  return countryFromLocaleName(paperLocaleFromEnvironment());
}

std::string countryOfUser(std::span<const char* const> systemLocaleFiles) {
  std::string locale = paperLocaleFromEnvironment();
  if (locale.empty()) locale = paperLocaleFromFiles(systemLocaleFiles);
  return countryFromLocaleName(locale);
}

std::string countryOfService(std::span<const char* const> systemLocaleFiles,
                             std::vector<std::string>* ignored) {
  std::string country =
      countryFromLocaleName(paperLocaleFromFiles(systemLocaleFiles, ignored));
  if (country.empty()) country = countryFromEnvironment();
  return country;
}

UserCountry userCountry(std::span<const char* const> systemLocaleFiles) {
  for (const char* variable : kPaperLocaleVariables) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      return {countryFromLocaleName(value),
              std::string(variable) + "=" + value};
    }
  }
  for (const char* path : systemLocaleFiles) {
    const std::string locale = paperLocaleFromFiles({&path, 1});
    if (!locale.empty()) {
      return {countryFromLocaleName(locale), std::string(path)};
    }
  }
  return {{}, "no locale"};
}

}  // namespace runtime
