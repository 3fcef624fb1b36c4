// SPDX-License-Identifier: Apache-2.0
// The least work any version of ppdregion has to do on a PPD, to time the
// real program against:
//
//   floor NAME PPD [EXTRA]
//
// reads the whole file through libcups' file interface in 65535-byte reads
// (so gzip files work alike), parses it once with libcups' PPD parser as
// ppdregion parses it (opening the path again, keeping no translation), and
// writes the text and one LF to standard output. It does not check the
// text, classify the printer or edit anything. The buffer grows
// geometrically with realloc, which large blocks do by remapping rather
// than copying, so neither time nor peak memory gets more than the reading
// itself costs.
#include <cups/file.h>
#include <cups/ppd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// The parser's entry point that ppdregion parses with: exported by libcups,
// declared only in a private header. 2 keeps no translation.
extern "C" ppd_file_t* _ppdOpenFile(const char* filename, int localization);

namespace {

constexpr std::size_t kChunk = 0xFFFF;

int fail(const char* path, const char* what) {
  std::fprintf(stderr, "floor: %s: %s\n", path, what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fputs("usage: floor NAME PPD [EXTRA]\n", stderr);
    return 2;
  }
  const char* path = argv[2];

  cups_file_t* file = cupsFileOpen(path, "r");
  if (file == nullptr) return fail(path, "cannot open");
  char* text = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;
  for (;;) {
    if (capacity - size < kChunk) {
      capacity = capacity == 0 ? 4 * kChunk : 2 * capacity;
      char* grown = static_cast<char*>(std::realloc(text, capacity));
      if (grown == nullptr) {
        std::free(text);
        return fail(path, "out of memory");
      }
      text = grown;
    }
    const ssize_t got = cupsFileRead(file, text + size, kChunk);
    if (got > 0) size += static_cast<std::size_t>(got);
    if (got != static_cast<ssize_t>(kChunk)) break;
  }
  cupsFileClose(file);

  // Parsed for its cost only; the result is not looked at.
  ppd_file_t* ppd = _ppdOpenFile(path, 2);
  if (ppd == nullptr)
    std::fputs("floor: the PPD parser refused the file\n", stderr);
  ppdClose(ppd);

  if (size > 0) {
    text[size++] = '\n';  // room is left: a short read ended the loop
    if (std::fwrite(text, 1, size, stdout) != size ||
        std::fflush(stdout) != 0) {
      std::free(text);
      return fail(path, "cannot write standard output");
    }
  }
  std::free(text);
  return 0;
}
