// SPDX-License-Identifier: Apache-2.0
// The command-line tool: loading the PPD, learning the user's country,
// adapting the text and writing it out. Only this layer prints or decides the
// exit status.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "policy/policy.h"

namespace cli {

/// The exit statuses of ppdregion.
enum ExitStatus : int {
  kExitSuccess = 0,  ///< the PPD text was written
  kExitFailure = 1,  ///< the PPD could not be loaded, adapted or written
  kExitUsage = 2,    ///< wrong arguments
};

/// What a command line asks ppdregion to do.
enum class Action { Run, Help, Version, Usage };

/// A command line, read.
struct Invocation {
  Action action = Action::Run;
  std::string country;        ///< from --country, upper case; else empty
  bool defaultPaper = false;  ///< --default-paper
  bool verbose = false;       ///< --verbose
  std::string path;           ///< the PPD ("-": standard input)
  std::string error;          ///< for Action::Usage: what is wrong
};

/// Reads the arguments after the program's name:
///   [--country CC | --country=CC] [--default-paper] [--verbose] [--]
///   NAME PPD [EXTRA]
/// Options come before NAME, in any order (a later --country wins); "--"
/// ends them, and so does any other word, which is NAME. --help, -h and
/// --version count only as the single argument. A missing or bad country
/// code, NAME or PPD, or more than EXTRA, is Action::Usage with the reason.
///   {"--country=fr", "x", "a.ppd"} gives Run, FR, path a.ppd
///   {"--country", "FR", "a.ppd"} gives Usage, "missing PPD"
Invocation readArguments(std::span<const char* const> args);

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

/// Writes `bytes` to standard output, then flushes and closes it. Returns 0,
/// or the errno of the failed write.
int writeToStdout(std::string_view bytes);

/// Writes the text and one LF to standard output in one write, as
/// writeToStdout does. Writes nothing for an empty text.
int writePpd(std::string& text);

/// Reports a failed write to standard output on standard error.
void printWriteError(int error);

/// `code` as a country: two ASCII letters in either case, in upper case
/// ("fr" gives "FR"); empty for anything else.
std::string countryCode(std::string_view code);

/// The country of a locale name such as "fr_FR.UTF-8": the territory after
/// the first "_", up to a "." or "@", in upper case when it is exactly two
/// ASCII letters; otherwise empty ("C", "POSIX", "es_419").
std::string countryFromLocaleName(std::string_view name);

/// The system's locale files, in the order they count.
inline constexpr const char* kSystemLocaleFiles[] = {"/etc/locale.conf",
                                                     "/etc/default/locale"};

/// The locale that governs paper: the first non-empty value of LC_ALL,
/// LC_PAPER and LANG in the environment, read directly so that a locale that
/// is not installed still gives its country. Empty when none is set.
std::string paperLocaleFromEnvironment();

/// The same from the text of a locale file: `KEY=value` lines, each
/// optionally after `export `, the value optionally in single or double
/// quotes, `#` comments; a later line sets a variable again. Empty when the
/// text sets none of the three.
std::string paperLocaleFromText(std::string_view text);

/// The same from the first of the files at `paths` that sets one of the
/// three variables, each read by readSmallFile. A missing file is skipped;
/// so is one that cannot be read or is not a regular file of at most
/// kMaxSmallFileSize bytes, adding "PATH: reason" to `ignored` when given.
std::string paperLocaleFromFiles(std::span<const char* const> paths,
                                 std::vector<std::string>* ignored = nullptr);

/// The country of paperLocaleFromEnvironment().
std::string countryFromEnvironment();

/// The country of the user: that of the locale in the environment, or, when
/// LC_ALL, LC_PAPER and LANG are all unset or empty, that of the locale in
/// the files at `systemLocaleFiles`. Empty when neither names one.
std::string countryOfUser(std::span<const char* const> systemLocaleFiles);

/// The country of the user (countryOfUser) and where it came from, such as
/// "LC_PAPER=fr_FR.UTF-8" or "/etc/default/locale".
struct UserCountry {
  std::string country;
  std::string source;
};
UserCountry userCountry(std::span<const char* const> systemLocaleFiles);

/// Adapts the PPD text to `country`: classifies the printer from exactly this
/// text and applies the paper-size, duplex and country-code rules, and with
/// `settings.defaultPaper` the default paper. Leaves the text unchanged and
/// returns false when the PPD parser refuses it. Where `notes` is given, adds
/// a line for each decision. Throws std::bad_alloc when memory runs out and
/// std::system_error when the parser cannot read the text.
bool adaptPpd(std::string& text, std::string_view country,
              const policy::Settings& settings = {},
              std::vector<std::string>* notes = nullptr);

/// One whole run on the PPD at `path` ("-": standard input): loads, adapts
/// it to `country` (with `settings`) and writes it, printing any failure to
/// standard error, and each decision there too with `verbose`, after the
/// country and `countrySource`. Returns the exit status.
ExitStatus runPpdregion(const char* path, std::string_view country,
                        const policy::Settings& settings = {},
                        bool verbose = false,
                        std::string_view countrySource = {});

}  // namespace cli
