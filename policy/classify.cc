// SPDX-License-Identifier: Apache-2.0
// Classifying the printer through libcups' PPD parser.
//
// libcups marks its whole PPD interface deprecated; every call into it is
// kept in this file, which alone is built without deprecation warnings.
#include <cups/ppd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>
#include <system_error>

#include "policy/policy.h"

namespace policy {

namespace {

struct FileCloser {
  void operator()(cups_file_t* file) const { cupsFileClose(file); }
};
struct PpdCloser {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};

[[noreturn]] void throwErrno() {
  throw std::system_error(errno, std::generic_category(),
                          "cannot hand the PPD to the parser");
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t wrote = write(fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

// An anonymous memory file holding `bytes`, positioned at its start, opened
// by libcups. The parser reads only through a cups_file_t, and this way it
// reads exactly the text the tool edits, whatever the input was: a pipe, a
// terminal or a file replaced since.
std::unique_ptr<cups_file_t, FileCloser> openInMemory(std::string_view bytes) {
  const int fd = memfd_create("ppd", MFD_CLOEXEC);
  if (fd < 0) throwErrno();
  if (!writeAll(fd, bytes) || lseek(fd, 0, SEEK_SET) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    throwErrno();
  }
  cups_file_t* file = cupsFileOpenFd(fd, "r");
  if (file == nullptr) {
    close(fd);
    throw std::bad_alloc();  // libcups fails here only for want of memory
  }
  return std::unique_ptr<cups_file_t, FileCloser>(file);
}

}  // namespace

std::optional<Printer> classifyPrinter(std::string_view ppd) {
  const auto file = openInMemory(ppd);
  const std::unique_ptr<ppd_file_t, PpdCloser> parsed(ppdOpen2(file.get()));
  if (!parsed) {
    // Only a refusal for what the text says leaves it to be written out
    // unchanged; running out of memory or failing to read is an error.
    int line = 0;
    switch (ppdLastError(&line)) {
      case PPD_ALLOC_ERROR:
        throw std::bad_alloc();
      case PPD_FILE_OPEN_ERROR:
      case PPD_NULL_FILE:
        throw std::system_error(EIO, std::generic_category(),
                                "the PPD parser could not read the text");
      default:
        return std::nullopt;
    }
  }
  return Printer{parsed->color_device != 0 ? PrinterKind::ColorLaser
                                           : PrinterKind::MonoLaser,
                 parsed->model_number};
}

}  // namespace policy
