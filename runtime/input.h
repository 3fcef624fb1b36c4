// SPDX-License-Identifier: Apache-2.0
// Reading what the programs are given: a whole PPD from a path, standard
// input or a child's pipe, and the small text files they are configured by.
// Shared by the command and the driver program; nothing here prints.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace runtime {

/// The most a PPD may hold, compressed or not: far above any real one (the
/// largest are a few MiB), low enough that an endless input is refused long
/// before it takes the machine's memory.
inline constexpr std::size_t kMaxPpdSize = std::size_t{256} << 20;

/// The text of a PPD, or why it could not be loaded.
struct LoadResult {
  std::string text;
  std::string error;  ///< empty on success, else a lower-case reason
};

/// Reads the whole PPD at `path`, or standard input when `path` is "-", once:
/// a file, pipe, FIFO, terminal or character device, read to its end. A gzip
/// stream is decompressed as zcat does it, every member in turn, zero bytes
/// after the last ignored. The text is taken as bytes, in whatever encoding
/// it is. Fails when the input cannot be opened or read, is empty, holds a
/// NUL byte (refused as soon as it is read), is larger than kMaxPpdSize, or
/// is compressed data that is truncated or damaged. The input is read, and
/// decompressed, a chunk at a time, each chunk looked at as it comes:
/// refusing an input takes at most kMaxPpdSize bytes and one chunk.
LoadResult loadPpd(const char* path);

/// Reads everything the open descriptor `fd` delivers, by the rules of
/// loadPpd, without closing it. An empty input gives an empty text and no
/// error. With a `deadline`, every read first waits for bytes with poll()
/// until then at most, and the read fails (strerror(ETIMEDOUT)) once it
/// has passed, whoever else holds the other end of a pipe.
LoadResult readPpd(
    int fd, std::optional<std::chrono::steady_clock::time_point> deadline = {});

/// The most a configuration or locale file may hold: such a file is a few
/// lines.
inline constexpr std::size_t kMaxSmallFileSize = std::size_t{1} << 20;

/// The text of a small file, such as a configuration or locale file.
struct SmallFile {
  std::string text;
  std::string error;     ///< empty when read or missing, else a reason
  bool missing = false;  ///< nothing at the path (a link to nothing is
                         ///< an error, not missing)
};

/// Reads the file at `path` when it is, links followed, a regular file of at
/// most kMaxSmallFileSize bytes. Never waits and never reads past the limit:
/// the file is opened without blocking and judged by its open descriptor, so
/// that a FIFO, a device (a link to /dev/zero), a folder, a link to nothing
/// or a larger file gives a lower-case reason ("a FIFO, not a file") and no
/// text.
SmallFile readSmallFile(const char* path);

/// How messages name the input at `path`: "standard input" for "-".
std::string inputName(const char* path);

}  // namespace runtime
