// SPDX-License-Identifier: Apache-2.0
// Fuzzes a whole run from the bytes of a file to the adapted text: loading
// (plain or gzip), parsing with libcups' PPD parser, classifying, and the
// regional edits.
//
// Input layout: the first byte picks the user's country from a short list
// (the empty country, Japan, the duplex countries and a few others); the
// rest is the file. The file is an anonymous memory file, rewritten for each
// input and opened by its /proc/self/fd path, so the fuzzer touches no disk.
//
// Checked, besides the sanitizers:
//  - loading either gives text or a reason, never both, never neither;
//  - the adapted text is the loaded text, in whatever encoding, with whole
//    lines removed and at most as many lines or entries replaced by the new
//    duplex default and country code lines as it has default-duplex and
//    country-code lines; lines end at LF, CR or CR LF.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "cli/cli.h"

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

// The lines of `text`, each with its terminator: LF, CR or CR LF.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.push_back(text.substr(begin, i + 1 - begin));
    begin = i + 1;
  }
  if (begin < text.size()) lines.push_back(text.substr(begin));
  return lines;
}

// How many lines of `lines` are a line of one of `keys`: "*", the key,
// optional blanks (space, tab, vertical tab, form feed), ":".
std::size_t countKeywordLines(const std::vector<std::string_view>& lines,
                              std::initializer_list<std::string_view> keys) {
  std::size_t count = 0;
  for (std::string_view line : lines) {
    for (std::string_view key : keys) {
      if (line.size() <= key.size() || line[0] != '*' ||
          line.substr(1, key.size()) != key) {
        continue;
      }
      const std::size_t colon = line.find_first_not_of(" \t\v\f", key.size() + 1);
      if (colon != std::string_view::npos && line[colon] == ':') ++count;
    }
  }
  return count;
}

// Whether `out` is the lines of `in`, some of them left out, in their order,
// with at most `most` of them replaced by one of `rewrites`. Tries every way
// to match, each state once.
bool isEditOf(std::string_view in, std::string_view out,
              const std::vector<std::string>& rewrites, std::size_t most) {
  const std::vector<std::string_view> lines = splitLines(in);
  std::unordered_set<std::uint64_t> seen;
  std::vector<std::uint64_t> stack = {0};
  // Inputs are far below 2^28 bytes and lines; at most 255 rewrites count.
  most = std::min<std::size_t>(most, 255);
  const auto state = [](std::uint64_t line, std::uint64_t pos,
                        std::uint64_t used) {
    return line << 36 | pos << 8 | used;
  };
  while (!stack.empty()) {
    const std::uint64_t s = stack.back();
    stack.pop_back();
    const std::size_t line = s >> 36, pos = (s >> 8) & 0xFFFFFFF, used = s & 0xFF;
    if (pos == out.size()) return true;  // the lines left are all removed
    if (line == lines.size() || !seen.insert(s).second) continue;
    const std::string_view rest = out.substr(pos);
    stack.push_back(state(line + 1, pos, used));  // removed
    if (rest.starts_with(lines[line])) {
      stack.push_back(state(line + 1, pos + lines[line].size(), used));
    }
    if (used == most) continue;
    for (const std::string& rewrite : rewrites) {
      if (rest.starts_with(rewrite)) {
        stack.push_back(state(line + 1, pos + rewrite.size(), used + 1));
      }
    }
  }
  return false;
}

}  // namespace

// libcups' PPD parser leaks a few bytes on some malformed PPDs (a repeated
// `*Custom<option> True` line, for one), which is no fault of this tool. The
// suppression would also hide a ppd_file_t never closed, but the
// classification closes every one it opens. Freed blocks are held back for a
// few megabytes only: every input allocates the whole file
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

  cli::LoadResult loaded = cli::loadPpd(file.path.c_str());
  check(loaded.error.empty() != loaded.text.empty(),
        "loading gave both text and a reason, or neither");
  if (!loaded.error.empty()) return 0;

  std::string text = loaded.text;
  cli::adaptPpd(text, country);
  check(text.find('\0') == std::string::npos, "the adapted text holds a NUL");
  const std::vector<std::string> rewrites = {
      "*DefaultDuplex: DuplexNoTumble\n", "*DefaultQVDuplex: DuplexNoTumble\n",
      "*ISOCountryCode: \"" + std::string(country) + "\"\n"};
  const std::size_t rewritable = countKeywordLines(
      splitLines(loaded.text), {"DefaultDuplex", "DefaultQVDuplex", "ISOCountryCode"});
  check(isEditOf(loaded.text, text, rewrites, rewritable),
        "the adapted text is not the loaded text with whole lines removed and "
        "only its default-duplex and country-code lines rewritten");
  return 0;
}
