// SPDX-License-Identifier: Apache-2.0
// Lines and blanks of small text files.
#include "runtime/text.h"

namespace runtime {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view takeLine(std::string_view& text) {
  const std::size_t end = text.find_first_of("\r\n");
  const std::string_view line = text.substr(0, end);
  std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
  if (end != std::string_view::npos && text[end] == '\r' &&
      next < text.size() && text[next] == '\n') {
    ++next;
  }
  text.remove_prefix(next);
  return line;
}

}  // namespace runtime
