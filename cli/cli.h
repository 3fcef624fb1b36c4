// SPDX-License-Identifier: Apache-2.0
// The command-line tool: its options and one run of it. Loading, the country
// and writing come from runtime/, the adaptation from policy/. Only this
// layer (and the driver program's main) prints or decides the exit status.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "policy/policy.h"
#include "runtime/output.h"

namespace cli {

/// What a command line asks ppdregion to do.
enum class Action { Run, Help, Version, Usage };

/// A command line, read.
struct Invocation {
  Action action = Action::Run;
  std::string country;        ///< from --country, upper case; else empty
  bool defaultPaper = false;  ///< --default-paper
  bool verbose = false;       ///< --verbose
  std::string path;           ///< the PPD ("-": standard input)
  std::string error;          ///< for Action::Usage: what is wrong
};

/// Reads the arguments after the program's name:
///   [--country CC | --country=CC] [--default-paper] [--verbose] [--]
///   NAME PPD [EXTRA]
/// Options come before NAME, in any order (a later --country wins); "--"
/// ends them, and so does any other word, which is NAME. --help, -h and
/// --version count only as the single argument. A missing or bad country
/// code, NAME or PPD, or more than EXTRA, is Action::Usage with the reason.
///   {"--country=fr", "x", "a.ppd"} gives Run, FR, path a.ppd
///   {"--country", "FR", "a.ppd"} gives Usage, "missing PPD"
Invocation readArguments(std::span<const char* const> args);

/// Reports a failed write to standard output on standard error.
void printWriteError(int error);

/// One whole run on the PPD at `path` ("-": standard input): loads, adapts
/// it to `country` (with `settings`) and writes it, printing any failure to
/// standard error, and each decision there too with `verbose`, after the
/// country and `countrySource`. Returns the exit status.
runtime::ExitStatus runPpdregion(const char* path, std::string_view country,
                                 const policy::Settings& settings = {},
                                 bool verbose = false,
                                 std::string_view countrySource = {});

}  // namespace cli
