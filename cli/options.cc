// SPDX-License-Identifier: Apache-2.0
// Reading the command line of ppdregion.
#include <string>

#include "cli/cli.h"
#include "runtime/country.h"

namespace cli {

Invocation readArguments(std::span<const char* const> args) {
  Invocation invocation;
  const auto usage = [&](std::string error) {
    invocation.action = Action::Usage;
    invocation.error = std::move(error);
    return invocation;
  };
  if (args.size() == 1) {
    const std::string_view only = args[0];
    if (only == "--help" || only == "-h") {
      invocation.action = Action::Help;
      return invocation;
    }
    if (only == "--version") {
      invocation.action = Action::Version;
      return invocation;
    }
  }
  std::size_t next = 0;
  const auto takeCountry = [&](std::string_view value) {
    invocation.country = runtime::countryCode(value);
    if (!invocation.country.empty()) return std::string();
    return "--country: \"" + std::string(value) +
           "\" is not a country code (two ASCII letters, such as FR)";
  };
  for (; next < args.size(); ++next) {
    const std::string_view arg = args[next];
    if (arg == "--") {
      ++next;
      break;
    }
    if (arg == "--default-paper") {
      invocation.defaultPaper = true;
    } else if (arg == "--verbose") {
      invocation.verbose = true;
    } else if (arg == "--country") {
      if (++next == args.size()) {
        return usage("--country: needs a country code, such as FR");
      }
      if (std::string error = takeCountry(args[next]); !error.empty())
        return usage(error);
    } else if (arg.starts_with("--country=")) {
      if (std::string error = takeCountry(arg.substr(10)); !error.empty())
        return usage(error);
    } else {
      break;  // the first word that is no option is NAME
    }
  }
  switch (args.size() - next) {
    case 0:
      return usage("missing NAME and PPD");
    case 1:
      return usage("missing PPD");
    case 2:
    case 3:
      invocation.path = args[next + 1];
      return invocation;
    default:
      return usage("too many arguments");
  }
}

}  // namespace cli
