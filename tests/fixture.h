// SPDX-License-Identifier: Apache-2.0
// Helpers shared by the tests: PPD texts written inline, scratch files and
// runs of the real binary.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fixture {

/// The ppdregion under test, the example PPD and the usage line.
inline const std::string kTool = PPDREGION_BINARY;
inline const std::filesystem::path kExample =
    std::filesystem::path(PPDREGION_EXAMPLES) / "colorlaser.ppd";
inline const std::string kUsage =
    "usage: ppdregion [--country CC] [--default-paper] [--verbose] NAME PPD "
    "[EXTRA]\n";

/// Whether `text` holds `part`.
inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

/// The lines, each followed by `eol`.
std::string lines(std::initializer_list<std::string_view> lines,
                  std::string_view eol = "\n");

/// A small PPD that libcups' parser accepts, with `body` after its header.
std::string ppd(std::string_view body);

std::string readFile(const std::filesystem::path& path);

/// A scratch folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// Writes `contents` to `name` in the folder and returns its path.
  std::filesystem::path write(std::string_view name,
                              std::string_view contents) const;

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;  ///< exit status, or -1 when the program did not exit
  std::string out;
  std::string err;
  long peakKib = 0;  ///< the largest resident size of it and its children
};

/// Runs `program` with `args` in an environment holding only PATH and `env`.
/// Standard output goes to `stdoutPath` when given, else it is captured.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {},
              const std::string& stdoutPath = {});

/// Runs ppdregion as `ppdregion NAME <ppd>` with the locale `lang` in LANG
/// (none when empty).
RunResult runTool(const std::filesystem::path& ppd,
                  const std::string& lang = {});

/// A run of ppdregion with `args`, and the exit status, standard output and
/// standard error it must give.
struct ArgumentsCase {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
};

/// Runs ppdregion for each case, in an environment of PATH and `env`, and
/// checks what it gives.
void expectRuns(std::initializer_list<ArgumentsCase> cases,
                const std::map<std::string, std::string>& env = {});

/// Whether cupstestppd passes the file.
bool passesCupstestppd(const std::filesystem::path& ppd);

}  // namespace fixture
