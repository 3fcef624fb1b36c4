// ppdregion: adapts a printer's PPD file to the country of the user's locale
// and writes it to standard output.
//
//   ppdregion NAME PPD [EXTRA]
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

constexpr char kUsage[] = "usage: ppdregion NAME PPD [EXTRA]\n";

constexpr char kHelp[] =
    "Writes the PPD file PPD to standard output, adapted to the country of\n"
    "the user's locale: regional paper sizes removed, the default duplex and\n"
    "the *ISOCountryCode line set.\n"
    "\n"
    "  NAME, EXTRA    accepted for the callers that pass them; not used\n"
    "  PPD            the PPD file to adapt, plain or gzip-compressed\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "The country is the territory of the first non-empty of LC_ALL, LC_PAPER\n"
    "and LANG: LANG=fr_FR.UTF-8 gives FR. See ppdregion(1).\n";

constexpr char kVersion[] = "ppdregion " PPDREGION_VERSION "\n";

ExitStatus print(std::string_view text) {
  const int error = writeToStdout(text);
  if (error == 0) return kExitSuccess;
  printWriteError(error);
  return kExitFailure;
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
    return kExitUsage;
  }
  return setupPPD(argv[2]);
}
