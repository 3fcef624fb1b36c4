// SPDX-License-Identifier: Apache-2.0
// ppdregion: adapts a printer's PPD file to the country of the user's locale
// and writes it to standard output.
//
//   ppdregion [--country CC] NAME PPD [EXTRA]     PPD "-" is standard input
//   ppdregion --help | -h | --version
//
// NAME and EXTRA are accepted for the callers that pass them, and not used.
// --help, -h and --version are recognised only as the single argument, and
// --country only as the first one followed by its value, NAME and PPD: with
// two or three arguments the first is the unused NAME, whatever it looks
// like.
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/cli.h"

#ifndef PPDREGION_VERSION
#error "PPDREGION_VERSION must be defined by the build"
#endif

namespace {

using cli::ExitStatus;

constexpr char kUsage[] = "usage: ppdregion [--country CC] NAME PPD [EXTRA]\n";

constexpr char kHelp[] =
    "Writes the PPD file PPD to standard output, adapted to a country:\n"
    "regional paper sizes removed, the default duplex and *ISOCountryCode "
    "set.\n"
    "\n"
    "  NAME, EXTRA    accepted for the callers that pass them; not used\n"
    "  PPD            the PPD file, plain or gzip-compressed, in any "
    "encoding;\n"
    "                 \"-\" reads standard input (a file named \"-\" is ./-)\n"
    "  --country CC   adapt to the country CC, two letters such as FR\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Without --country the country is the territory of the first non-empty of\n"
    "LC_ALL, LC_PAPER and LANG (LANG=fr_FR.UTF-8 gives FR); when all three "
    "are\n"
    "unset or empty, of the same in /etc/locale.conf, then "
    "/etc/default/locale.\n"
    "\n"
    "  zcat model.ppd.gz | ppdregion --country FR x - > office.ppd\n"
    "  lpadmin -p office -E -v URI -P office.ppd   # a file: not -P <(...)\n"
    "\n"
    "CUPS queues: ppdregion.conf(5). See ppdregion(1).\n";

constexpr char kVersion[] = "ppdregion " PPDREGION_VERSION "\n";

ExitStatus print(std::string_view text) {
  const int error = cli::writeToStdout(text);
  if (error == 0) return cli::kExitSuccess;
  cli::printWriteError(error);
  return cli::kExitFailure;
}

ExitStatus usageError(const std::string& message) {
  std::fprintf(stderr, "ppdregion: --country: %s\n", message.c_str());
  std::fputs(kUsage, stderr);
  return cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (argc == 2) {
    if (first == "--help" || first == "-h") {
      return print(std::string(kUsage) + kHelp);
    }
    if (first == "--version") return print(kVersion);
    if (first == "--country")
      return usageError("needs a country code, such as FR");
  }
  if (first == "--country" && (argc == 5 || argc == 6)) {
    const std::string country = cli::countryCode(argv[2]);
    if (country.empty()) {
      return usageError(
          "\"" + std::string(argv[2]) +
          "\" is not a country code (two ASCII letters, such as FR)");
    }
    return cli::runPpdregion(argv[4], country);
  }
  if (argc < 3 || argc > 4) {
    std::fputs(kUsage, stderr);
    return cli::kExitUsage;
  }
  return cli::runPpdregion(argv[2],
                           cli::countryOfUser(cli::kSystemLocaleFiles));
}
