// Fuzzes a whole run from the bytes of a file to the adapted text: loading
// through libcups' file interface (plain or gzip), parsing with libcups' PPD
// parser, classifying, and the regional edits.
//
// Input layout: the first byte picks the user's country from a short list
// (the empty country, Japan, the duplex countries and a few others); the
// rest is the file. The file is an anonymous memory file, rewritten for each
// input and opened by its /proc/self/fd path, so the fuzzer touches no disk.
//
// Checked, besides the sanitizers:
//  - loading either gives text or a reason, never both, never neither;
//  - the adapted text is the loaded text with lines removed and at most the
//    duplex default and the country code rewritten, so it is no longer than
//    the loaded text plus those two new lines;
//  - it is still valid UTF-8 without NUL bytes, as the loader guarantees for
//    what it hands on: lines go whole and the new lines are ASCII.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/cli.h"

namespace {

constexpr std::string_view kCountries[] = {"",   "JP", "US", "DE", "FR", "GB",
                                           "CN", "TW", "KR", "IT", "CH", "BR"};

// The longest lines the rewrites write.
constexpr std::size_t kDuplexLine =
    std::string_view("*DefaultQVDuplex: DuplexNoTumble\n").size();
constexpr std::size_t kCountryLine =
    std::string_view("*ISOCountryCode: \"XX\"\n").size();

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "run_fuzzer: %s\n", what);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// The memory file holding the current input, and its path.
struct MemoryFile {
  int fd = -1;
  std::string path;

  MemoryFile() {
    fd = memfd_create("ppdregion-fuzz.ppd", MFD_CLOEXEC);
    if (fd < 0) fail(std::strerror(errno));
    path = "/proc/self/fd/" + std::to_string(fd);
  }

  void set(const std::uint8_t* data, std::size_t size) {
    if (ftruncate(fd, 0) != 0) fail(std::strerror(errno));
    for (std::size_t done = 0; done < size;) {
      const ssize_t wrote =
          pwrite(fd, data + done, size - done, static_cast<off_t>(done));
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) fail(std::strerror(errno));
      done += static_cast<std::size_t>(wrote);
    }
  }
};

}  // namespace

// libcups' PPD parser leaks a few bytes on some malformed PPDs (a repeated
// `*Custom<option> True` line, for one), which is no fault of this tool. The
// suppression would also hide a ppd_file_t never closed, but PpdHandle owns
// every one that openPpd returns. Freed blocks are
// held back for a few megabytes only: every input allocates the whole file
// several times, and a large quarantine costs more in page faults than it
// adds in catching late uses.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:_ppdOpen\n";
}
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  static MemoryFile file;
  const std::string_view country = kCountries[data[0] % std::size(kCountries)];
  file.set(data + 1, size - 1);

  LoadResult loaded = cli::loadPpd(file.path.c_str());
  check(loaded.error.empty() != loaded.text.empty(),
        "loading gave both text and a reason, or neither");
  if (!loaded.error.empty()) return 0;

  std::string text = loaded.text;
  cli::adaptPpd(text, country);
  check(text.size() <= loaded.text.size() + kDuplexLine + kCountryLine,
        "the adapted text grew by more than the two rewritten lines");
  check(text.find('\0') == std::string::npos, "the adapted text holds a NUL");
  check(findInvalidUtf8(text) == std::string_view::npos,
        "the adapted text is not valid UTF-8");
  return 0;
}
