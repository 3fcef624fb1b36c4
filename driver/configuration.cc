// SPDX-License-Identifier: Apache-2.0
// The configuration: which PPDs `list` offers, and for which country.
#include <fnmatch.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "driver/driver.h"
#include "runtime/country.h"
#include "runtime/input.h"
#include "runtime/text.h"

namespace driver {

namespace {

using runtime::isBlank;
using runtime::trimmed;

// Keywords in any letter case, as in the configuration files of CUPS.
bool equalsIgnoringCase(std::string_view text, const char* keyword) {
  return text.size() == std::strlen(keyword) &&
         strncasecmp(text.data(), keyword, text.size()) == 0;
}

// Reads one configuration file into `configuration`, or warns why it is not
// read. A missing file is no error.
void readConfigurationFile(const std::filesystem::path& path,
                           Configuration& configuration) {
  const runtime::SmallFile file = runtime::readSmallFile(path.c_str());
  if (!file.error.empty()) {
    configuration.warnings.push_back(path.string() + ": " + file.error +
                                     "; ignored");
    return;
  }
  if (!file.missing) readConfiguration(file.text, path.string(), configuration);
}

// The value after a keyword: up to a comment (a `#` at the start or after a
// blank), its blanks trimmed; or the text between double quotes, taken as it
// is, when it begins with one. Empty, with `error` set, when it does not
// read.
std::string_view readValue(std::string_view text, std::string& error) {
  if (!text.empty() && text.front() == '"') {
    const std::size_t close = text.find('"', 1);
    const std::string_view after = close == text.npos
                                       ? std::string_view()
                                       : trimmed(text.substr(close + 1));
    if (close == text.npos || (!after.empty() && after.front() != '#')) {
      error = "a value in double quotes ends at the second quote";
      return {};
    }
    return text.substr(1, close - 1);
  }
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '#' && (at == 0 || isBlank(text[at - 1]))) {
      text = text.substr(0, at);
      break;
    }
  }
  return trimmed(text);
}

// Why an Offer pattern could never match what `list` offers, or empty.
std::string uselessPattern(std::string_view pattern) {
  if (pattern.find('"') != pattern.npos) return "no PPD name holds a \"";
  if (pattern.starts_with(std::string(kScheme) + ":"))
    return "PPDs of this program are never offered again";
  if (isMadeByCups(pattern)) {
    return "CUPS makes " + std::string(pattern) +
           " queues itself, without a PPD file";
  }
  return {};
}

}  // namespace

void readConfiguration(std::string_view text, std::string_view fileName,
                       Configuration& configuration) {
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::string_view line = trimmed(runtime::takeLine(text));
    if (line.empty() || line.front() == '#') continue;
    const std::size_t blank = static_cast<std::size_t>(
        std::find_if(line.begin(), line.end(), isBlank) - line.begin());
    const std::string_view keyword = line.substr(0, blank);
    std::string valueError;
    const std::string_view value =
        blank == line.size()
            ? std::string_view()
            : readValue(trimmed(line.substr(blank)), valueError);
    const std::string origin =
        std::string(fileName) + ":" + std::to_string(number);
    const auto warn = [&](const std::string& reason) {
      configuration.warnings.push_back(origin + ": " + reason);
    };
    const bool isCountry = equalsIgnoringCase(keyword, "Country");
    const bool isOffer = equalsIgnoringCase(keyword, "Offer");
    const bool isPaper = equalsIgnoringCase(keyword, "DefaultPaper");
    if (!isCountry && !isOffer && !isPaper) {
      warn(
          "unknown line (Country CC, Offer PATTERN or DefaultPaper Yes|No "
          "expected)");
    } else if (!valueError.empty()) {
      warn(std::string(keyword) + " ignored: " + valueError);
    } else if (isPaper) {
      const bool yes = equalsIgnoringCase(value, "Yes") ||
                       equalsIgnoringCase(value, "On") ||
                       equalsIgnoringCase(value, "True");
      const bool no = equalsIgnoringCase(value, "No") ||
                      equalsIgnoringCase(value, "Off") ||
                      equalsIgnoringCase(value, "False");
      if (!yes && !no) {
        warn("DefaultPaper needs Yes or No");
      } else if (!configuration.defaultPaperOrigin.empty()) {
        warn("DefaultPaper " + std::string(value) +
             " ignored: already set at " + configuration.defaultPaperOrigin);
      } else {
        configuration.defaultPaper = yes;
        configuration.defaultPaperOrigin = origin;
      }
    } else if (isCountry) {
      const std::string country = runtime::countryCode(value);
      if (country.empty()) {
        warn("Country needs a country code (two letters, such as FR)");
      } else if (configuration.country.empty()) {
        configuration.country = country;
        configuration.countryOrigin = origin;
      } else {
        warn("Country " + country + " ignored: the country is already " +
             configuration.country + ", from " + configuration.countryOrigin);
      }
    } else if (value.empty()) {
      warn("Offer needs a pattern of PPD names");
    } else if (const std::string useless = uselessPattern(value);
               !useless.empty()) {
      warn("Offer " + std::string(value) + " ignored: " + useless);
    } else if (const auto same = std::find(configuration.patterns.begin(),
                                           configuration.patterns.end(), value);
               same != configuration.patterns.end()) {
      warn("Offer " + std::string(value) + " ignored: already offered at " +
           configuration.origins[static_cast<std::size_t>(
               same - configuration.patterns.begin())]);
    } else {
      configuration.patterns.emplace_back(value);
      configuration.origins.push_back(origin);
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
  if (name.starts_with(std::string(kScheme) + ":") || isMadeByCups(name))
    return false;
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
