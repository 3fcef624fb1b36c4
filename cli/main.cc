// SPDX-License-Identifier: Apache-2.0
// ppdregion: adapts a printer's PPD file to the country of the user's locale
// and writes it to standard output.
//
//   ppdregion NAME PPD [EXTRA]      PPD "-" is standard input
//   ppdregion --help | -h | --version
//
// NAME and EXTRA are accepted for the callers that pass them, and not used.
// The options are recognised only as the single argument: with two or three
// arguments the first is the unused NAME, whatever it looks like.
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/cli.h"

#ifndef PPDREGION_VERSION
#error "PPDREGION_VERSION must be defined by the build"
#endif

namespace {

using cli::ExitStatus;

constexpr char kUsage[] = "usage: ppdregion NAME PPD [EXTRA]\n";

constexpr char kHelp[] =
    "Writes the PPD file PPD to standard output, adapted to the country of\n"
    "the user's locale: regional paper sizes removed, the default duplex and\n"
    "the *ISOCountryCode line set.\n"
    "\n"
    "  NAME, EXTRA    accepted for the callers that pass them; not used\n"
    "  PPD            the PPD file to adapt, plain or gzip-compressed, in any\n"
    "                 encoding; \"-\" reads standard input (a file named "
    "\"-\"\n"
    "                 is ./-); pipes, FIFOs and <(...) work too\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "The country is the territory of the first non-empty of LC_ALL, LC_PAPER\n"
    "and LANG: LANG=fr_FR.UTF-8 gives FR.\n"
    "\n"
    "  zcat model.ppd.gz | LANG=fr_FR.UTF-8 ppdregion x - > office.ppd\n"
    "  lpadmin -p office -E -v URI -P office.ppd   # a file: not -P <(...)\n"
    "\n"
    "See ppdregion(1).\n";

constexpr char kVersion[] = "ppdregion " PPDREGION_VERSION "\n";

ExitStatus print(std::string_view text) {
  const int error = cli::writeToStdout(text);
  if (error == 0) return cli::kExitSuccess;
  cli::printWriteError(error);
  return cli::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) {
    const std::string_view option = argv[1];
    if (option == "--help" || option == "-h") {
      return print(std::string(kUsage) + kHelp);
    }
    if (option == "--version") return print(kVersion);
  }
  if (argc < 3 || argc > 4) {
    std::fputs(kUsage, stderr);
    return cli::kExitUsage;
  }
  return cli::runPpdregion(argv[2]);
}
