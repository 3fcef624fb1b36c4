// SPDX-License-Identifier: Apache-2.0
// Writing to standard output, every failure caught.
#include "runtime/output.h"

#include <cerrno>
#include <cstdio>

namespace runtime {

int writeToStdout(std::string_view bytes) {
  // A full disk may only show when the buffered rest is flushed or the
  // stream closed; neither may go unchecked.
  errno = 0;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
      std::fflush(stdout) == 0;
  const int writeError = errno;
  const bool closed = std::fclose(stdout) == 0;
  const int closeError = errno;
  if (written && closed) return 0;
  const int error = written ? closeError : writeError;
  return error != 0 ? error : EIO;
}

int writePpd(std::string& text) {
  if (text.empty()) return 0;
  text.push_back('\n');  // so that text and LF go out in one write
  const int error = writeToStdout(text);
  text.pop_back();
  return error;
}

}  // namespace runtime
