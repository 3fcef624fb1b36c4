// SPDX-License-Identifier: Apache-2.0
// Loading a PPD: the whole input, read once, decompressed when it is gzip.
//
// An input that is refused must not take more memory than the limit it is
// refused for: text is gathered in chunks, each looked at as it arrives, in a
// buffer that never holds its bytes twice, and compressed data is
// decompressed as it is read.
#include "runtime/input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
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

// How much is read, decompressed or handed over at a time.
constexpr std::size_t kChunk = std::size_t{256} * 1024;

// The most text a buffer takes: one byte past the limit shows the input is
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

std::size_t pageSize() {
  static const std::size_t size =
      static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

std::size_t roundToPages(std::size_t bytes) {
  return (bytes + pageSize() - 1) / pageSize() * pageSize();
}

// Text gathered a chunk at a time, up to kMostHeld bytes, never held twice.
// When its size is known and at most half the limit (a regular file, a
// plausible gzip length) it goes straight into a string reserved for it and
// the LF the writer adds. Otherwise it goes into an anonymous mapping, which
// grows by remapping (no byte moves) and is handed over into a string a chunk
// at a time, each chunk unmapped once copied. A string that proves too small
// is moved into a mapping once: at most half the limit, held twice.
class TextBuffer {
 public:
  /// `expected`: the size the text will likely have, or 0 when unknown.
  explicit TextBuffer(std::size_t expected) {
    if (expected > 0 && expected <= kMaxPpdSize / 2) {
      string_.reserve(expected + 1);
    } else {
      map(std::max(expected + 1, kChunk));
    }
  }
  ~TextBuffer() { unmap(); }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  std::string_view view() const {
    return {mapping_ != nullptr ? mapping_ : string_.data(), size_};
  }
  std::size_t size() const { return size_; }

  /// Room for at most `most` more bytes: never empty while size() is at most
  /// kMaxPpdSize. Throws std::bad_alloc when memory runs out.
  std::span<char> room(std::size_t most) {
    if (mapping_ == nullptr) {
      if (string_.size() == size_) {
        if (size_ == string_.capacity()) {
          moveIntoMapping(most);
          return room(most);
        }
        string_.resize(size_ + std::min(most, string_.capacity() - size_));
      }
      return {string_.data() + size_, std::min(most, string_.size() - size_)};
    }
    if (size_ == mapped_ && mapped_ < kMostHeld) {
      remap(std::max(2 * mapped_, size_ + most));
    }
    return {mapping_ + size_,
            std::min(most, std::min(mapped_, kMostHeld) - size_)};
  }

  /// Counts `count` bytes written into the room as text.
  void add(std::size_t count) { size_ += count; }

  /// The text, as a string with room for one byte more.
  std::string release() {
    if (mapping_ == nullptr) {
      string_.resize(size_);
      return std::move(string_);
    }
    // The unused pages go first, then each chunk once it is copied.
    const std::size_t used = roundToPages(size_);
    if (used < mapped_) munmap(mapping_ + used, mapped_ - used);
    mapped_ = used;
    if (mapped_ == 0) mapping_ = nullptr;
    std::string text;
    text.reserve(size_ + 1);
    for (std::size_t at = 0; at < size_; at += kChunk) {
      const std::size_t count = std::min(kChunk, size_ - at);
      text.append(mapping_ + at, count);
      munmap(mapping_ + at, roundToPages(count));
    }
    mapping_ = nullptr;
    mapped_ = 0;
    size_ = 0;
    return text;
  }

 private:
  void map(std::size_t bytes) {
    bytes = roundToPages(std::min(bytes, kMostHeld));
    void* const at = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (at == MAP_FAILED) throw std::bad_alloc();
    mapping_ = static_cast<char*>(at);
    mapped_ = bytes;
  }

  void remap(std::size_t bytes) {
    bytes = roundToPages(std::min(bytes, kMostHeld));
    void* const at = mremap(mapping_, mapped_, bytes, MREMAP_MAYMOVE);
    if (at == MAP_FAILED) throw std::bad_alloc();
    mapping_ = static_cast<char*>(at);
    mapped_ = bytes;
  }

  void moveIntoMapping(std::size_t most) {
    map(std::max(2 * size_, size_ + most));
    std::memcpy(mapping_, string_.data(), size_);
    std::string().swap(string_);
  }

  void unmap() {
    if (mapping_ != nullptr) munmap(mapping_, mapped_);
  }

  std::string string_;  // the text while mapping_ is null
  char* mapping_ = nullptr;
  std::size_t mapped_ = 0;  // bytes mapped, a whole number of pages
  std::size_t size_ = 0;    // bytes of text
};

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

// Reads from `fd` into `text` until it holds the two bytes that tell whether
// it is compressed, or the input ends (then sets `ended`); at most one chunk.
// Returns the reason it failed, or an empty string.
std::string readStart(const Input& fd, TextBuffer& text, bool& ended) {
  while (text.size() < 2) {
    const std::span<char> room = text.room(kChunk - text.size());
    const ssize_t got = readSome(fd, room.data(), room.size());
    if (got < 0) return std::strerror(errno);
    ended = got == 0;
    if (ended) break;
    text.add(static_cast<std::size_t>(got));
  }
  return {};
}

// Reads the rest of the plain text from `fd` into `text`, looking at each
// chunk for a NUL as it comes, so that /dev/zero or a file of zeros is refused
// at once. A terminal is not read again once it has ended. Returns the reason
// it failed, or an empty string.
std::string readText(const Input& fd, TextBuffer& text, bool ended) {
  std::size_t checked = 0;
  for (;;) {
    const std::string_view bytes = text.view();
    if (const void* nul =
            std::memchr(bytes.data() + checked, 0, bytes.size() - checked)) {
      return nulReason(static_cast<std::size_t>(static_cast<const char*>(nul) -
                                                bytes.data()));
    }
    checked = bytes.size();
    if (ended) return {};
    const std::span<char> room = text.room(kChunk);
    const ssize_t got = readSome(fd, room.data(), room.size());
    if (got < 0) return std::strerror(errno);
    ended = got == 0;
    text.add(static_cast<std::size_t>(got));
    if (text.size() > kMaxPpdSize) return kTooLarge;
  }
}

// The size of the text of the gzip file `fd`, `fileSize` bytes long, as the
// length at its end states it, when that is plausible; else 0. It is the last
// member's length modulo 2^32, and may lie: it only sizes the buffer.
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
                       TextBuffer& text) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) throw std::bad_alloc();
  const std::unique_ptr<z_stream, InflateEnd> end(&stream);
  const auto input = std::make_unique_for_overwrite<char[]>(kChunk);
  std::memcpy(input.get(), start.data(), start.size());  // at most one chunk
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
    const std::span<char> room = text.room(kChunk);
    stream.next_out = reinterpret_cast<Bytef*>(room.data());
    stream.avail_out = static_cast<uInt>(room.size());
    const int status = inflate(&stream, Z_NO_FLUSH);
    const std::size_t produced = room.size() - stream.avail_out;
    if (const void* nul = std::memchr(room.data(), 0, produced)) {
      return nulReason(text.size() +
                       static_cast<std::size_t>(static_cast<const char*>(nul) -
                                                room.data()));
    }
    text.add(produced);
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
  // A regular file's bytes go straight into the string that is returned.
  std::optional<TextBuffer> text(std::in_place, fileSize);
  bool ended = false;
  std::string error = readStart(input, *text, ended);
  if (error.empty() && isGzip(text->view())) {
    const std::string start(text->view());
    text.emplace(regular ? statedTextSize(fd, fileSize) : 0);
    error = inflateAll(input, start, *text);
  } else if (error.empty()) {
    error = readText(input, *text, ended);
  }
  if (!error.empty()) return failure(std::move(error));
  return {text->release(), {}};
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
