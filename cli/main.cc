// ppdregion: adapts a printer's PPD file to the country of the user's locale
// and writes it to standard output.
//
//   ppdregion NAME PPD [EXTRA]
//
// NAME and EXTRA are accepted for the callers that pass them, and not used.
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fputs("usage: ppdregion NAME PPD [EXTRA]\n", stderr);
    return kExitUsage;
  }
  return setupPPD(argv[2]);
}
