// SPDX-License-Identifier: Apache-2.0
// One run of ppdregion: load, adapt, write.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "cli/cli.h"
#include "policy/policy.h"

namespace cli {

int writeToStdout(std::string_view bytes) {
  // A full disk may only show when the buffered rest is flushed or the
  // stream closed; neither may go unchecked.
  errno = 0;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
      std::fflush(stdout) == 0;
  const int writeError = errno;
  const bool closed = std::fclose(stdout) == 0;
  const int closeError = errno;
  if (written && closed) return 0;
  const int error = written ? closeError : writeError;
  return error != 0 ? error : EIO;
}

int writePpd(std::string& text) {
  if (text.empty()) return 0;
  text.push_back('\n');  // so that text and LF go out in one write
  const int error = writeToStdout(text);
  text.pop_back();
  return error;
}

void printWriteError(int error) {
  std::fprintf(stderr, "ppdregion: standard output: %s\n",
               std::strerror(error));
}

bool adaptPpd(std::string& text, std::string_view country) {
  const std::optional<policy::Printer> printer =
      policy::classifyPrinter(text, country);
  if (!printer) return false;  // not a PPD the parser accepts: unchanged
  policy::adaptToCountry(text, *printer, country);
  return true;
}

ExitStatus runPpdregion(const char* path, std::string_view country) {
  const auto fail = [&](const std::string& reason) {
    std::fprintf(stderr, "ppdregion: %s: %s\n", inputName(path).c_str(),
                 reason.c_str());
    return kExitFailure;
  };
  // Running out of memory anywhere ends the run before anything is written.
  try {
    LoadResult loaded = loadPpd(path);
    if (!loaded.error.empty()) return fail(loaded.error);
    adaptPpd(loaded.text, country);
    if (const int error = writePpd(loaded.text); error != 0) {
      printWriteError(error);
      return kExitFailure;
    }
    return kExitSuccess;
  } catch (const std::bad_alloc&) {
    return fail("not enough memory");
  } catch (const std::system_error& error) {
    if (error.code() == std::errc::not_enough_memory)
      return fail("not enough memory");
    return fail(error.what());
  }
}

}  // namespace cli
