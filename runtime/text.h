// SPDX-License-Identifier: Apache-2.0
// Lines and blanks of the small text files and outputs the programs read:
// locale files, configuration files, the lists of cups-driverd and driver
// programs. Lines end at LF, CR or CR LF, as in a PPD; blanks are those of
// a PPD too (space, tab, vertical tab, form feed), never a line end.
#pragma once

#include <string_view>

namespace runtime {

/// Whether `c` is a blank: a space, tab, vertical tab or form feed.
inline bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

/// `text` without the blanks at either end.
std::string_view trimmed(std::string_view text);

/// Takes the first line off `text` and returns it without its terminator
/// (LF, CR or CR LF).
///   "a\r\nb" gives "a" and leaves "b"; "a" gives "a" and leaves ""
std::string_view takeLine(std::string_view& text);

}  // namespace runtime
