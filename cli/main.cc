// SPDX-License-Identifier: Apache-2.0
// ppdregion: adapts a printer's PPD file to the country of the user's locale
// and writes it to standard output.
//
//   ppdregion [--country CC] [--default-paper] [--verbose] [--] NAME PPD
//   [EXTRA] ppdregion --help | -h | --version
//
// PPD "-" is standard input. NAME and EXTRA are accepted for the callers that
// pass them, and not used. Options come before NAME; any other first word is
// NAME, whatever it looks like. --help, -h and --version are recognised only
// as the single argument.
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/cli.h"
#include "runtime/country.h"
#include "runtime/output.h"

#ifndef PPDREGION_VERSION
#error "PPDREGION_VERSION must be defined by the build"
#endif

namespace {

using runtime::ExitStatus;

constexpr char kUsage[] =
    "usage: ppdregion [--country CC] [--default-paper] [--verbose] NAME PPD "
    "[EXTRA]\n";

constexpr char kHelp[] =
    "Writes the PPD file PPD to standard output, adapted to a country:\n"
    "regional paper sizes removed, the default duplex and *ISOCountryCode "
    "set.\n"
    "\n"
    "  NAME, EXTRA      accepted for the callers that pass them; not used\n"
    "  PPD              the PPD file, plain or gzip-compressed, any encoding;\n"
    "                   \"-\" reads standard input (a file named \"-\" is "
    "./-)\n"
    "  --country CC     adapt to the country CC, two letters such as FR\n"
    "  --default-paper  make the country's A4 or Letter the default size\n"
    "                   where the default is the other of the two\n"
    "  --verbose        say each decision on standard error\n"
    "  -h, --help       print this help and exit; --version: the version\n"
    "Options come before NAME, in any order; -- ends them.\n"
    "Without --country the country is the territory of the first non-empty of\n"
    "LC_ALL, LC_PAPER and LANG (LANG=fr_FR.UTF-8 gives FR); when all three "
    "are\n"
    "unset or empty, of the same in /etc/locale.conf, then "
    "/etc/default/locale.\n"
    "  zcat model.ppd.gz | ppdregion --country FR x - > office.ppd\n"
    "  lpadmin -p office -E -v URI -P office.ppd   # a file: not -P <(...)\n"
    "\n"
    "CUPS queues: ppdregion.conf(5). See ppdregion(1).\n";

constexpr char kVersion[] = "ppdregion " PPDREGION_VERSION "\n";

ExitStatus print(std::string_view text) {
  const int error = runtime::writeToStdout(text);
  if (error == 0) return runtime::kExitSuccess;
  cli::printWriteError(error);
  return runtime::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  const cli::Invocation invocation = cli::readArguments(
      {argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)});
  switch (invocation.action) {
    case cli::Action::Help:
      return print(std::string(kUsage) + kHelp);
    case cli::Action::Version:
      return print(kVersion);
    case cli::Action::Usage:
      std::fprintf(stderr, "ppdregion: %s\n%s", invocation.error.c_str(),
                   kUsage);
      return runtime::kExitUsage;
    case cli::Action::Run:
      break;
  }
  const policy::Settings settings{.defaultPaper = invocation.defaultPaper};
  if (!invocation.country.empty()) {
    return cli::runPpdregion(invocation.path.c_str(), invocation.country,
                             settings, invocation.verbose, "--country");
  }
  const runtime::UserCountry user =
      runtime::userCountry(runtime::kSystemLocaleFiles);
  return cli::runPpdregion(invocation.path.c_str(), user.country, settings,
                           invocation.verbose, user.source);
}
