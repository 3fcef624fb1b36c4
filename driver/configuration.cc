// SPDX-License-Identifier: Apache-2.0
// The configuration: which PPDs `list` offers, and for which country.
#include <fnmatch.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "driver/driver.h"

namespace driver {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Keywords in any letter case, as in the configuration files of CUPS.
bool equalsIgnoringCase(std::string_view text, const char* keyword) {
  return text.size() == std::strlen(keyword) &&
         strncasecmp(text.data(), keyword, text.size()) == 0;
}

// Reads one configuration file into `configuration`; false when it exists
// but cannot be read.
bool readConfigurationFile(const std::filesystem::path& path,
                           Configuration& configuration) {
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (errno == ENOENT) return true;
    configuration.warnings.push_back(path.string() + ": " +
                                     std::strerror(errno));
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  readConfiguration(text.str(), path.string(), configuration);
  return true;
}

}  // namespace

void readConfiguration(std::string_view text, std::string_view fileName,
                       Configuration& configuration) {
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == text.npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t blank = line.find_first_of(" \t");
    const std::string_view keyword = line.substr(0, blank);
    const std::string_view value =
        blank == line.npos ? std::string_view() : trimmed(line.substr(blank));
    const auto warn = [&](const std::string& reason) {
      configuration.warnings.push_back(std::string(fileName) + ":" +
                                       std::to_string(number) + ": " + reason);
    };
    if (equalsIgnoringCase(keyword, "Country")) {
      const std::string country = cli::countryCode(value);
      if (country.empty()) {
        warn("Country needs a country code (two letters, such as FR)");
      } else if (configuration.country.empty()) {
        configuration.country = country;
      } else if (country != configuration.country) {
        warn("Country " + country + " ignored: the country is already " +
             configuration.country);
      }
    } else if (equalsIgnoringCase(keyword, "Offer")) {
      if (value.empty()) {
        warn("Offer needs a pattern of PPD names");
      } else {
        configuration.patterns.emplace_back(value);
      }
    } else {
      warn("unknown line (Country CC or Offer PATTERN expected)");
    }
  }
}

Configuration loadConfiguration(const std::string& serverRoot) {
  namespace fs = std::filesystem;
  Configuration configuration;
  const fs::path root = serverRoot;
  readConfigurationFile(root / "ppdregion.conf", configuration);
  std::vector<fs::path> dropIns;
  std::error_code error;
  for (fs::directory_iterator entry(root / "ppdregion.d", error), end;
       !error && entry != end; entry.increment(error)) {
    if (entry->path().extension() == ".conf") dropIns.push_back(entry->path());
  }
  if (error && error != std::errc::no_such_file_or_directory) {
    configuration.warnings.push_back((root / "ppdregion.d").string() + ": " +
                                     error.message());
  }
  std::sort(dropIns.begin(), dropIns.end());
  for (const fs::path& path : dropIns)
    readConfigurationFile(path, configuration);
  return configuration;
}

bool isOffered(const Configuration& configuration, std::string_view original) {
  const std::string name(original);
  if (name.starts_with(std::string(kScheme) + ":")) return false;
  return std::any_of(configuration.patterns.begin(),
                     configuration.patterns.end(),
                     [&](const std::string& pattern) {
                       return fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
                     });
}

std::string driverProgramOf(std::string_view pattern) {
  const std::size_t colon = pattern.find(':');
  if (colon == pattern.npos || colon == 0) return {};
  const std::string_view scheme = pattern.substr(0, colon);
  for (char c : scheme) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '-' ||
                         c == '_' || c == '+';
    if (!allowed) return {};  // a pattern, a path or a quote: no program
  }
  if (scheme == "drv" || scheme == "file" || scheme == kScheme) return {};
  return std::string(scheme);
}

}  // namespace driver
