// SPDX-License-Identifier: Apache-2.0
// Fuzzes a whole run from the bytes of a file to the adapted text: loading
// (plain or gzip), parsing with libcups' PPD parser, classifying, and the
// regional edits.
//
// Input layout: the first byte picks the user's country from a short list
// (the empty country, Japan, the duplex countries and a few others) and, by
// its top bit, whether the default paper is set too; the rest is the file. The
// file is an anonymous memory file, rewritten for each input and opened by its
// /proc/self/fd path, so the fuzzer touches no disk.
//
// Checked, besides the sanitizers:
//  - loading either gives text or a reason, never both, never neither;
//  - the adapted text is the loaded text, in whatever encoding, with whole
//    lines removed and at most as many lines or entries replaced by the new
//    duplex default, country code and size default lines as it has
//    default-duplex, country-code and size default lines; lines end at LF,
//    CR or CR LF.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/line_edits.h"
#include "policy/policy.h"
#include "runtime/input.h"

namespace {

constexpr std::string_view kCountries[] = {"",   "JP", "US", "DE", "FR", "GB",
                                           "CN", "TW", "KR", "IT", "CH", "BR"};

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
// suppression would also hide a ppd_file_t never closed, but the
// classification closes every one it opens. Freed blocks are held back for a
// few megabytes only: every input allocates the whole file
// several times, and a large quarantine costs more in page faults than it
// adds in catching late uses. The sanitizer runtimes look these two up by
// their reserved names.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:_ppdOpen\n";
}
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" const char* __asan_default_options() {
  return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  static MemoryFile file;
  const std::string_view country =
      kCountries[(data[0] & 0x7f) % std::size(kCountries)];
  const policy::Settings settings{.defaultPaper = (data[0] & 0x80) != 0};
  file.set(data + 1, size - 1);

  runtime::LoadResult loaded = runtime::loadPpd(file.path.c_str());
  check(loaded.error.empty() != loaded.text.empty(),
        "loading gave both text and a reason, or neither");
  if (!loaded.error.empty()) return 0;

  std::string text = loaded.text;
  const std::optional<policy::Printer> printer =
      policy::classifyPrinter(text, country, settings);
  if (printer) policy::adaptToCountry(text, *printer, country, settings);
  check(text.find('\0') == std::string::npos, "the adapted text holds a NUL");
  std::vector<std::string> newLines = {
      "*DefaultDuplex: DuplexNoTumble\n", "*DefaultQVDuplex: DuplexNoTumble\n",
      "*ISOCountryCode: \"" + std::string(country) + "\"\n"};
  std::vector<std::string> rewritten = {"DefaultDuplex", "DefaultQVDuplex",
                                        "ISOCountryCode"};
  if (printer && !printer->paper.choice.empty()) {
    for (const std::string_view keyword : policy::kPaperKeywords) {
      newLines.push_back("*Default" + std::string(keyword) + ": " +
                         printer->paper.choice + "\n");
      rewritten.push_back("Default" + std::string(keyword));
    }
  }
  int rewritable = 0;
  for (const std::string& key : rewritten) {
    rewritable += fuzz::countKeywordLines(loaded.text, {key});
  }
  check(fuzz::editsWholeLines(loaded.text, text, newLines, rewritable),
        "the adapted text is not the loaded text with whole lines removed and "
        "only its default-duplex and country-code lines rewritten");
  return 0;
}
