// SPDX-License-Identifier: Apache-2.0
// One run of ppdregion: load, adapt, write.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "cli/cli.h"
#include "policy/policy.h"
#include "runtime/input.h"
#include "runtime/output.h"

namespace cli {

void printWriteError(int error) {
  std::fprintf(stderr, "ppdregion: standard output: %s\n",
               std::strerror(error));
}

runtime::ExitStatus runPpdregion(const char* path, std::string_view country,
                                 const policy::Settings& settings, bool verbose,
                                 std::string_view countrySource) {
  const std::string name = runtime::inputName(path);
  const auto say = [&](const std::string& line) {
    std::fprintf(stderr, "ppdregion: %s: %s\n", name.c_str(), line.c_str());
  };
  const auto fail = [&](const std::string& reason) {
    say(reason);
    return runtime::kExitFailure;
  };
  // Running out of memory anywhere ends the run before anything is written.
  try {
    runtime::LoadResult loaded = runtime::loadPpd(path);
    if (!loaded.error.empty()) return fail(loaded.error);
    std::vector<std::string> notes;
    if (verbose) {
      notes.push_back(
          "country: " +
          (country.empty() ? std::string("none") : std::string(country)) +
          " (from " + std::string(countrySource) + ")");
    }
    policy::adaptPpd(loaded.text, country, settings,
                     verbose ? &notes : nullptr);
    for (const std::string& line : notes) say(line);
    if (const int error = runtime::writePpd(loaded.text); error != 0) {
      printWriteError(error);
      return runtime::kExitFailure;
    }
    return runtime::kExitSuccess;
  } catch (const std::bad_alloc&) {
    return fail("not enough memory");
  } catch (const std::system_error& error) {
    if (error.code() == std::errc::not_enough_memory)
      return fail("not enough memory");
    return fail(error.what());
  }
}

}  // namespace cli
