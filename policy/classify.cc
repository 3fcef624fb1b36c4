// SPDX-License-Identifier: Apache-2.0
// Classifying the printer through libcups' PPD parser.
//
// libcups marks its whole PPD interface deprecated; every call into it is
// kept in this file, which alone is built without deprecation warnings.
#include <cups/ppd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "policy/policy.h"

namespace policy {

namespace {

// The parser's own entry point, which libcups exports (Debian tracks it in
// libcups2's symbols file) but declares only in a private header. ppdOpen2
// calls it to keep the translations of the process's language; sorting
// those costs time quadratic in their number, and the tool reads none of
// them, so the parse here asks for none.
extern "C" ppd_file_t* _ppdOpen(cups_file_t* fp, int localization);
constexpr int kNoTranslations = 2;  // _PPD_LOCALIZATION_NONE

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

struct OptionsFree {
  int count;
  void operator()(cups_option_t* options) const {
    cupsFreeOptions(count, options);
  }
};

// The options, with their choices, that libcups finds in conflict when
// `option` takes `choice` and every other option keeps its marked choice.
std::vector<std::pair<std::string, std::string>> conflictsOf(
    ppd_file_t* ppd, const char* option, const char* choice) {
  cups_option_t* found = nullptr;
  const int count = cupsGetConflicts(ppd, option, choice, &found);
  const std::unique_ptr<cups_option_t, OptionsFree> owner(found, {count});
  std::vector<std::pair<std::string, std::string>> conflicts;
  conflicts.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    conflicts.emplace_back(found[i].name, found[i].value);
  }
  std::ranges::sort(conflicts);
  return conflicts;
}

// Whether DuplexNoTumble as the choice of `option` conflicts with the
// marked defaults in a way the defaults do not already.
bool longEdgeConflicts(ppd_file_t* ppd, const char* option) {
  const auto withLongEdge = conflictsOf(ppd, option, "DuplexNoTumble");
  if (withLongEdge.empty()) return false;
  // An option without a default (or no such option) is taken as off.
  const ppd_choice_t* marked = ppdFindMarkedChoice(ppd, option);
  const auto asIs =
      conflictsOf(ppd, option, marked != nullptr ? marked->choice : "None");
  return !std::ranges::includes(asIs, withLongEdge);
}

}  // namespace

std::optional<Printer> classifyPrinter(std::string_view ppd,
                                       std::string_view country) {
  const auto file = openInMemory(ppd);
  const std::unique_ptr<ppd_file_t, PpdCloser> parsed(
      _ppdOpen(file.get(), kNoTranslations));
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
  Printer printer{parsed->color_device != 0 ? PrinterKind::ColorLaser
                                            : PrinterKind::MonoLaser,
                  parsed->model_number};
  // Marking the defaults and testing the constraints cost as much as a
  // tenth of the parse on PPDs with many options: only where it counts.
  if (!getsLongEdgeDuplex(printer, country)) return printer;
  ppdMarkDefaults(parsed.get());
  for (std::size_t i = 0; i < std::size(kDuplexOptions); ++i) {
    const std::string option(kDuplexOptions[i]);
    if (ppdFindOption(parsed.get(), option.c_str()) != nullptr) {
      printer.longEdgeConflicts[i] =
          longEdgeConflicts(parsed.get(), option.c_str());
    }
  }
  return printer;
}

}  // namespace policy
