// SPDX-License-Identifier: Apache-2.0
// Loading a PPD: the whole input, read once, decompressed when it is gzip.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "cli/cli.h"

namespace cli {

namespace {

// The step by which a buffer of unknown final size starts growing.
constexpr std::size_t kChunk = 64 * 1024;

std::string nulReason(std::size_t offset) {
  return "holds a NUL byte at offset " + std::to_string(offset) +
         "; a PPD file is text";
}

const char kTooLarge[] = "larger than 256 MiB; not a PPD file";

bool isGzip(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] == '\x1F' && bytes[1] == '\x8B';
}

// Gives `buffer` room past its first `used` bytes when it has none: up to the
// capacity reserved for it, else twice as much, but never more than one byte
// past kMaxPpdSize, so that an input too large shows without taking more.
void makeRoom(std::string& buffer, std::size_t used) {
  if (used < buffer.size()) return;
  buffer.resize(std::min(std::max({buffer.capacity(), 2 * used, kChunk}),
                         kMaxPpdSize + 1));
}

// Reads everything `fd` delivers into `bytes`. Returns the reason it failed,
// or an empty string.
std::string readAll(int fd, std::string& bytes) {
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxPpdSize)
      return kTooLarge;
    // The whole file fits at once, and the read that finds its end too.
    bytes.reserve(static_cast<std::size_t>(info.st_size) + 1);
  }
  std::size_t size = 0;
  std::size_t checked = 0;  // bytes looked at for a NUL
  // Plain text is looked at as it comes, so that /dev/zero is refused at
  // once. Compressed data holds NUL bytes of its own; its text is looked at
  // as it is decompressed.
  const auto firstNul = [&]() -> std::size_t {
    if (isGzip({bytes.data(), size})) return std::string::npos;
    const void* nul = std::memchr(bytes.data() + checked, 0, size - checked);
    checked = size;
    return nul == nullptr ? std::string::npos
                          : static_cast<std::size_t>(
                                static_cast<const char*>(nul) - bytes.data());
  };
  for (;;) {
    makeRoom(bytes, size);
    const ssize_t got = read(fd, bytes.data() + size, bytes.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::strerror(errno);
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
    if (size > kMaxPpdSize) return kTooLarge;
    if (size < 2) continue;  // not yet known whether it is compressed
    if (const std::size_t nul = firstNul(); nul != std::string::npos) {
      return nulReason(nul);
    }
  }
  bytes.resize(size);
  if (const std::size_t nul = firstNul(); nul != std::string::npos) {
    return nulReason(nul);
  }
  return {};
}

struct InflateEnd {
  void operator()(z_stream* stream) const { inflateEnd(stream); }
};

// Decompresses the gzip data `compressed` into `text` as zcat does: every
// member in turn, zero bytes after the last one ignored. zlib checks each
// member's CRC and length. Returns the reason it failed, or an empty string.
std::string inflateAll(std::string_view compressed, std::string& text) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
  const std::unique_ptr<z_stream, InflateEnd> end(&stream);
  stream.next_in =
      reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());  // <= kMaxPpdSize

  // A gzip member ends with the size of its text modulo 2^32: for the usual
  // single member that is the room the whole text needs.
  if (compressed.size() >= 18) {
    const auto* tail = reinterpret_cast<const unsigned char*>(
        compressed.data() + compressed.size() - 4);
    const std::uint32_t stored = tail[0] | tail[1] << 8 | tail[2] << 16 |
                                 static_cast<std::uint32_t>(tail[3]) << 24;
    if (stored <= kMaxPpdSize) text.reserve(stored + 1);
  }

  std::size_t size = 0;
  for (;;) {
    makeRoom(text, size);
    stream.next_out = reinterpret_cast<Bytef*>(text.data() + size);
    stream.avail_out = static_cast<uInt>(text.size() - size);
    const int status = inflate(&stream, Z_NO_FLUSH);
    const std::size_t produced = text.size() - size - stream.avail_out;
    if (std::memchr(text.data() + size, 0, produced) != nullptr) {
      return nulReason(text.find('\0', size));
    }
    size += produced;
    if (size > kMaxPpdSize) return kTooLarge;
    switch (status) {
      case Z_OK:
        continue;
      case Z_STREAM_END: {
        const std::string_view rest(
            reinterpret_cast<const char*>(stream.next_in), stream.avail_in);
        if (rest.find_first_not_of('\0') == rest.npos) {
          text.resize(size);
          return {};
        }
        if (!isGzip(rest)) return "compressed data is followed by other data";
        inflateReset(&stream);
        continue;
      }
      case Z_BUF_ERROR:  // there is always room, so the input ran out
        return "compressed data is truncated";
      case Z_MEM_ERROR:
        throw std::bad_alloc();
      default:
        return std::string("compressed data is damaged") +
               (stream.msg != nullptr ? std::string(" (") + stream.msg + ")"
                                      : "");
    }
  }
}

LoadResult failure(std::string reason) { return {{}, std::move(reason)}; }

}  // namespace

std::string inputName(const char* path) {
  return std::string_view(path) == "-" ? "standard input" : path;
}

LoadResult readPpd(int fd) {
  std::string bytes;
  std::string error = readAll(fd, bytes);
  if (!error.empty()) return failure(std::move(error));
  if (isGzip(bytes)) {
    std::string text;
    error = inflateAll(bytes, text);
    if (!error.empty()) return failure(std::move(error));
    bytes = std::move(text);
  }
  return {std::move(bytes), {}};
}

LoadResult loadPpd(const char* path) {
  const bool standardInput = std::string_view(path) == "-";
  const int fd =
      standardInput ? STDIN_FILENO : open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failure(std::strerror(errno));
  struct Closer {
    int fd;
    bool owned;
    ~Closer() {
      if (owned) close(fd);
    }
  } closer{fd, !standardInput};
  LoadResult loaded = readPpd(fd);
  if (loaded.error.empty() && loaded.text.empty())
    return failure(standardInput ? "input is empty" : "file is empty");
  return loaded;
}

}  // namespace cli
