// Loading a PPD file as text.
#include <cups/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <memory>
#include <new>

#include "cli/cli.h"

namespace {

// The read size and the step by which the buffer grows.
constexpr std::size_t kChunk = 0xFFFF;

struct FileCloser {
  void operator()(cups_file_t* file) const { cupsFileClose(file); }
};

LoadResult failure(std::string reason) { return {{}, std::move(reason)}; }

// libcups hands out what it could decompress of a cut-off gzip file and then
// reports a plain end of file. It still counts such a file as compressed
// (it clears that mark once a gzip stream has ended properly), and a whole
// gzip file ends with the size of its data modulo 2^32, which the data of a
// truncated one almost never matches.
bool gzipSizeMatches(int fd, std::size_t size) {
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return true;
  unsigned char tail[4];
  if (info.st_size < 18 ||
      pread(fd, tail, sizeof tail, info.st_size - 4) != sizeof tail) {
    return false;
  }
  const std::uint32_t stored = tail[0] | tail[1] << 8 | tail[2] << 16 |
                               static_cast<std::uint32_t>(tail[3]) << 24;
  return stored == static_cast<std::uint32_t>(size);
}

}  // namespace

LoadResult QVCFStringCreateWithPPDFile(const char* path) {
  errno = 0;
  std::unique_ptr<cups_file_t, FileCloser> file(cupsFileOpen(path, "r"));
  if (!file) {
    return failure(errno != 0 ? std::strerror(errno) : "cannot open file");
  }

  // Grow the text by one zero-filled chunk at a time and read into it, until
  // a read delivers less than a whole chunk. Room for a plain file's whole
  // size is taken at once, so its bytes are never copied.
  std::string text;
  std::size_t size = 0;
  try {
    struct stat info;
    if (cupsFileCompression(file.get()) == CUPS_FILE_NONE &&
        fstat(cupsFileNumber(file.get()), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<std::uintmax_t>(info.st_size) < text.max_size() - kChunk) {
      text.reserve(static_cast<std::size_t>(info.st_size) + kChunk);
    }
    for (;;) {
      if (size > text.max_size() - kChunk) return failure("file too large to load");
      text.resize(size + kChunk);
      // libcups reports the end of the file and an error alike as -1; only
      // errno tells them apart.
      errno = 0;
      const ssize_t got = cupsFileRead(file.get(), text.data() + size, kChunk);
      if (got < 0 && errno != 0) return failure(std::strerror(errno));
      if (got > 0) size += static_cast<std::size_t>(got);
      if (got != static_cast<ssize_t>(kChunk)) break;
    }
  } catch (const std::bad_alloc&) {
    return failure("not enough memory to load the file");
  }
  text.resize(size);

  if (size == 0) return failure("file is empty");
  if (cupsFileCompression(file.get()) != CUPS_FILE_NONE &&
      !gzipSizeMatches(cupsFileNumber(file.get()), size)) {
    return failure("compressed data is truncated or damaged");
  }
  const std::string_view bytes = text;
  if (const std::size_t nul = bytes.find('\0'); nul != bytes.npos) {
    return failure("holds a NUL byte at offset " + std::to_string(nul) +
                   "; a PPD file is text");
  }
  return {std::move(text), {}};
}
