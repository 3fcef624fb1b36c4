// One run of ppdregion: load, adapt, write.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "policy/policy.h"

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

int CFStringOutputPPD(std::string& text) {
  if (text.empty()) return 0;
  text.push_back('\n');  // so that text and LF go out in one write
  const int error = writeToStdout(text);
  text.pop_back();
  return error;
}

void printWriteError(int error) {
  std::fprintf(stderr, "ppdregion: standard output: %s\n", std::strerror(error));
}

void adaptPpdText(std::string& text, const char* path,
                  std::string_view country) {
  const PpdHandle ppd = openPpd(path);
  if (!ppd) return;  // not a PPD the parser accepts: written unchanged
  determineModel(ppd.get());
  removeRegionalPaperSizes(text, gModelInfo.kind, gModelInfo.modelNumber,
                           country);
  applyDuplexRule(text, gModelInfo.kind, gModelInfo.modelNumber, country);
  applyCountryCodeRule(text, ppd.get(), country);
}

ExitStatus setupPPD(const char* path) {
  LoadResult loaded = QVCFStringCreateWithPPDFile(path);
  if (!loaded.error.empty()) {
    std::fprintf(stderr, "ppdregion: %s: %s\n", path, loaded.error.c_str());
    return kExitFailure;
  }
  adaptPpdText(loaded.text, path, countryFromEnvironment());
  if (const int error = CFStringOutputPPD(loaded.text); error != 0) {
    printWriteError(error);
    return kExitFailure;
  }
  return kExitSuccess;
}
