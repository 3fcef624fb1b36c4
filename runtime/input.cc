// Loading a PPD: the whole input, read once, decompressed when it is gzip.
//
// An input that is refused must not take more memory than the limit it is
// refused for: the text is read, or decompressed, a chunk at a time straight
// into the string it is returned in, each chunk looked at as it arrives.
#include "runtime/input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <utility>

namespace runtime {

namespace {

// How much is read or decompressed at a time.
constexpr std::size_t kChunk = std::size_t{256} * 1024;

// The most text a string takes: one byte past the limit shows the input is
// too large.
constexpr std::size_t kMostHeld = kMaxPpdSize + 1;

// Deflate turns at most two bits into a 258-byte match, so compressed data
// expands at most about 1032 times.
constexpr std::size_t kMostExpansion = 1032;

std::string nulReason(std::size_t offset) {
  return "holds a NUL byte at offset " + std::to_string(offset) +
         "; a PPD file is text";
}

const char kTooLarge[] = "larger than 256 MiB; not a PPD file";
const char kSmallFileTooLarge[] = "larger than 1 MiB";

bool isGzip(std::string_view bytes) {
  return bytes.size() >= 2 && bytes[0] == '\x1F' && bytes[1] == '\x8B';
}

// The capacity to give a string that is to hold `bytes`. Growing a string
// copies it, old and new held at once, so no string past half the limit
// grows: it takes the whole limit at once, its pages untouched until read.
std::size_t capacityFor(std::size_t bytes) {
  return bytes <= kMaxPpdSize / 2 ? bytes : kMostHeld;
}

// An empty string with room for text of `expected` bytes (0 when unknown)
// and the LF the writer may add.
std::string reservedText(std::size_t expected) {
  std::string text;
  text.reserve(capacityFor(expected > 0 ? expected + 1 : kChunk));
  return text;
}

// Lengthens `text` by at most a chunk, doubling its capacity when it is full,
// and returns the new bytes, for what is read next. The caller cuts it back
// to what was read.
std::span<char> extend(std::string& text) {
  const std::size_t size = text.size();
  if (size == text.capacity()) text.reserve(capacityFor(2 * size));
  text.resize(size + std::min(kChunk, text.capacity() - size));
  return {text.data() + size, text.size() - size};
}

// An open input, and the time by which each read must have its bytes.
struct Input {
  int fd;
  std::optional<std::chrono::steady_clock::time_point> deadline;
};

// Waits until `input` has bytes, or has ended, before its deadline; false
// with errno ETIMEDOUT once the deadline has passed.
bool awaitBytes(const Input& input) {
  if (!input.deadline) return true;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        *input.deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{input.fd, POLLIN, 0};
    const int count =
        poll(&ready, 1,
             static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
    if (count > 0) return true;  // bytes, the end, or an error read() tells
    if (count < 0 && errno != EINTR) return false;
  }
  errno = ETIMEDOUT;
  return false;
}

// Reads at most `length` bytes from `input` into `into`. Returns their count,
// 0 at the end of the input, or -1 with errno set.
ssize_t readSome(const Input& input, char* into, std::size_t length) {
  for (;;) {
    if (!awaitBytes(input)) return -1;
    const ssize_t got = read(input.fd, into, length);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// Reads the next bytes of `input`, at most a chunk, onto the end of `text`.
// Returns their count, 0 at the end of the input, or -1 with errno set.
ssize_t readMore(const Input& input, std::string& text) {
  const std::span<char> room = extend(text);
  const ssize_t got = readSome(input, room.data(), room.size());
  text.resize(text.size() - room.size() +
              static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
  return got;
}

// Reads the rest of the plain text from `input` onto the end of `text`,
// looking at each chunk for a NUL as it comes, so that /dev/zero or a file of
// zeros is refused at once. A terminal is not read again once it has ended.
// Returns the reason it failed, or an empty string.
std::string readText(const Input& input, std::string& text, bool ended) {
  std::size_t checked = 0;
  for (;;) {
    if (const std::size_t nul = text.find('\0', checked);
        nul != std::string::npos) {
      return nulReason(nul);
    }
    checked = text.size();
    if (ended) return {};
    const ssize_t got = readMore(input, text);
    if (got < 0) return std::strerror(errno);
    ended = got == 0;
    if (text.size() > kMaxPpdSize) return kTooLarge;
  }
}

// The size of the text of the gzip file `fd`, `fileSize` bytes long, as the
// length at its end states it, when that is plausible; else 0. It is the last
// member's length modulo 2^32, and may lie: it only sizes the string.
std::size_t statedTextSize(int fd, std::size_t fileSize) {
  unsigned char tail[4];
  if (fileSize < 18 ||
      pread(fd, tail, sizeof tail, static_cast<off_t>(fileSize - 4)) != 4) {
    return 0;
  }
  const std::size_t stated = tail[0] | tail[1] << 8 | tail[2] << 16 |
                             static_cast<std::size_t>(tail[3]) << 24;
  return stated <= kMaxPpdSize && stated <= kMostExpansion * fileSize ? stated
                                                                      : 0;
}

struct InflateEnd {
  void operator()(z_stream* stream) const { inflateEnd(stream); }
};

// Decompresses the gzip data that starts with `start` and goes on in `fd`
// into `text`, as zcat does: every member in turn, zero bytes after the last
// one ignored. zlib checks each member's CRC and length. The compressed data
// is read a chunk at a time, and counts towards the limit as the text does.
// Returns the reason it failed, or an empty string.
std::string inflateAll(const Input& fd, std::string_view start,
                       std::string& text) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
  const std::unique_ptr<z_stream, InflateEnd> end(&stream);
  const auto input = std::make_unique_for_overwrite<char[]>(kChunk);
  std::memcpy(input.get(), start.data(), start.size());
  stream.next_in = reinterpret_cast<Bytef*>(input.get());
  stream.avail_in = static_cast<uInt>(start.size());
  std::size_t read = start.size();
  bool ended = false;  // the input has no more bytes

  // Reads until zlib has `least` bytes of input or the input ends.
  const auto refill = [&](std::size_t least) -> std::string {
    while (!ended && stream.avail_in < least) {
      std::memmove(input.get(), stream.next_in, stream.avail_in);
      stream.next_in = reinterpret_cast<Bytef*>(input.get());
      const ssize_t got =
          readSome(fd, input.get() + stream.avail_in, kChunk - stream.avail_in);
      if (got < 0) return std::strerror(errno);
      ended = got == 0;
      stream.avail_in += static_cast<uInt>(got);
      read += static_cast<std::size_t>(got);
      if (read > kMaxPpdSize) return kTooLarge;
    }
    return {};
  };
  const auto rest = [&] {
    return std::string_view(reinterpret_cast<const char*>(stream.next_in),
                            stream.avail_in);
  };

  for (;;) {
    if (std::string error = refill(1); !error.empty()) return error;
    const std::span<char> room = extend(text);
    stream.next_out = reinterpret_cast<Bytef*>(room.data());
    stream.avail_out = static_cast<uInt>(room.size());
    const int status = inflate(&stream, Z_NO_FLUSH);
    const std::size_t before = text.size() - room.size();
    text.resize(before + room.size() - stream.avail_out);
    if (const std::size_t nul = text.find('\0', before);
        nul != std::string::npos) {
      return nulReason(nul);
    }
    if (text.size() > kMaxPpdSize) return kTooLarge;
    switch (status) {
      case Z_OK:
        continue;
      case Z_STREAM_END:
        if (std::string error = refill(2); !error.empty()) return error;
        if (isGzip(rest())) {
          inflateReset(&stream);
          continue;
        }
        // Zero bytes to the end are padding.
        for (;;) {
          if (rest().find_first_not_of('\0') != std::string_view::npos) {
            return "compressed data is followed by other data";
          }
          if (ended) return {};
          stream.avail_in = 0;
          if (std::string error = refill(1); !error.empty()) return error;
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

LoadResult readPpd(
    int fd, std::optional<std::chrono::steady_clock::time_point> deadline) {
  const Input input{fd, deadline};
  struct stat info;
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (regular && static_cast<std::uintmax_t>(info.st_size) > kMaxPpdSize) {
    return failure(kTooLarge);
  }
  const std::size_t fileSize =
      regular ? static_cast<std::size_t>(info.st_size) : 0;
  // The first two bytes tell whether the input is compressed.
  char start[2];
  std::size_t started = 0;
  bool ended = false;
  while (started < sizeof start && !ended) {
    const ssize_t got =
        readSome(input, start + started, sizeof start - started);
    if (got < 0) return failure(std::strerror(errno));
    ended = got == 0;
    started += static_cast<std::size_t>(got);
  }
  const std::string_view first(start, started);
  std::string text;
  std::string error;
  if (isGzip(first)) {
    text = reservedText(regular ? statedTextSize(fd, fileSize) : 0);
    error = inflateAll(input, first, text);
  } else {
    // A regular file's bytes go straight into the string that is returned.
    text = reservedText(fileSize);
    text.append(first);
    error = readText(input, text, ended);
  }
  if (!error.empty()) return failure(std::move(error));
  return {std::move(text), {}};
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

SmallFile readSmallFile(const char* path) {
  SmallFile file;
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    const int error = errno;
    struct stat link;
    if (error == ENOENT && lstat(path, &link) == 0) {
      file.error = "a link to nothing";
    } else if (error == ENOENT) {
      file.missing = true;
    } else {
      file.error = std::strerror(error);
    }
    return file;
  }
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
  struct stat info;
  if (fstat(fd, &info) != 0) {
    file.error = std::strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    file.error = "a folder, not a file";
  } else if (!S_ISREG(info.st_mode)) {
    file.error = S_ISFIFO(info.st_mode)   ? "a FIFO, not a file"
                 : S_ISSOCK(info.st_mode) ? "a socket, not a file"
                                          : "a device, not a file";
  } else if (static_cast<std::uintmax_t>(info.st_size) > kMaxSmallFileSize) {
    file.error = kSmallFileTooLarge;
  }
  if (!file.error.empty()) return file;
  // One byte more than the limit shows a file that grew meanwhile.
  file.text.resize(kMaxSmallFileSize + 1);
  std::size_t size = 0;
  while (size < file.text.size()) {
    const ssize_t got =
        read(fd, file.text.data() + size, file.text.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      file.error = std::strerror(errno);
      break;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  if (file.error.empty() && size > kMaxSmallFileSize)
    file.error = kSmallFileTooLarge;
  file.text.resize(file.error.empty() ? size : 0);
  file.text.shrink_to_fit();
  return file;
}

}  // namespace runtime
