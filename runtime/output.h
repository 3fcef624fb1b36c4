// SPDX-License-Identifier: Apache-2.0
// Writing to standard output, and the exit statuses of both programs.
#pragma once

#include <string>
#include <string_view>

namespace runtime {

/// The exit statuses of ppdregion and of its driver program.
enum ExitStatus : int {
  kExitSuccess = 0,  ///< the PPD text was written
  kExitFailure = 1,  ///< the PPD could not be loaded, adapted or written
  kExitUsage = 2,    ///< wrong arguments (the command only)
};

/// Writes `bytes` to standard output, then flushes and closes it. Returns 0,
/// or the errno of the failed write.
int writeToStdout(std::string_view bytes);

/// Writes the text and one LF to standard output in one write, as
/// writeToStdout does. Writes nothing for an empty text.
int writePpd(std::string& text);

}  // namespace runtime
