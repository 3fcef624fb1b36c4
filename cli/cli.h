// The command-line tool: loading the PPD file as text, learning the user's
// country, adapting the text and writing it out. Only this layer prints or
// decides the exit status.
#pragma once

#include <string>
#include <string_view>

/// The exit statuses of ppdregion.
enum ExitStatus : int {
  kExitSuccess = 0,  ///< the PPD text was written
  kExitFailure = 1,  ///< the file could not be loaded or the output written
  kExitUsage = 2,    ///< wrong arguments
};

/// The text of a PPD file, or why it could not be loaded.
struct LoadResult {
  std::string text;
  std::string error;  ///< empty on success, else a lower-case reason
};

/// Reads the whole file at `path` through libcups' file interface (which
/// also reads gzip-compressed files as their plain text) in 65535-byte
/// chunks. Fails when the file cannot be opened or read, is empty, holds a
/// NUL byte. Text in any encoding is taken as bytes.
LoadResult QVCFStringCreateWithPPDFile(const char* path);

/// Writes `bytes` to standard output, then flushes and closes it. Returns 0,
/// or the errno of the failed write.
int writeToStdout(std::string_view bytes);

/// Writes the text and one LF to standard output in one write, as
/// writeToStdout does. Writes nothing for an empty text.
int CFStringOutputPPD(std::string& text);

/// Reports a failed write to standard output on standard error.
void printWriteError(int error);

/// The country of a locale name such as "fr_FR.UTF-8": the territory after
/// the first "_", up to a "." or "@", in upper case when it is exactly two
/// ASCII letters; otherwise empty ("C", "POSIX", "es_419").
std::string countryFromLocaleName(std::string_view name);

/// The country of the locale that governs paper: the first non-empty value of
/// LC_ALL, LC_PAPER and LANG, read directly so that a locale that is not
/// installed still gives its country. Empty when none is set.
std::string countryFromEnvironment();

/// Adapts the loaded text of the PPD at `path` to `country`: parses the file,
/// classifies the printer and applies the paper-size, duplex and country-code
/// rules. Leaves the text unchanged when the PPD parser refuses the file.
void adaptPpdText(std::string& text, const char* path, std::string_view country);

/// One whole run on the PPD at `path`: loads, adapts and writes it, printing
/// any failure to standard error. Returns the exit status.
ExitStatus setupPPD(const char* path);
