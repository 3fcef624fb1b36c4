// SPDX-License-Identifier: Apache-2.0
#include "fixture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fixture {

std::string lines(std::initializer_list<std::string_view> lines,
                  std::string_view eol) {
  std::string out;
  for (std::string_view line : lines) {
    out += line;
    out += eol;
  }
  return out;
}

std::string ppd(std::string_view body) {
  return lines({"*PPD-Adobe: \"4.3\"", "*FormatVersion: \"4.3\"",
                "*LanguageVersion: English", "*LanguageEncoding: ISOLatin1",
                "*ModelName: \"Test Printer\"",
                "*NickName: \"Test Printer\""}) +
         std::string(body);
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "ppdregion-test-XXXXXX")
          .string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::write(std::string_view name,
                                     std::string_view contents) const {
  std::filesystem::path file = path_ / name;
  std::ofstream(file, std::ios::binary) << contents;
  return file;
}

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env,
              const std::string& stdoutPath) {
  TempDir scratch;
  const std::string outPath =
      stdoutPath.empty() ? (scratch.path() / "stdout").string() : stdoutPath;
  const std::string errPath = (scratch.path() / "stderr").string();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);

  std::vector<std::string> argStrings = {program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<std::string> envStrings = {"PATH=/usr/bin:/bin"};
  for (const auto& [name, value] : env)
    envStrings.push_back(name + "=" + value);
  const auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  };
  std::vector<char*> argv = pointers(argStrings);
  std::vector<char*> envp = pointers(envStrings);

  pid_t pid = 0;
  RunResult result;
  if (posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(),
                   envp.data()) == 0) {
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.peakKib = usage.ru_maxrss;
  }
  posix_spawn_file_actions_destroy(&actions);
  if (stdoutPath.empty()) result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

RunResult runTool(const std::filesystem::path& ppd, const std::string& lang) {
  std::map<std::string, std::string> env;
  if (!lang.empty()) env["LANG"] = lang;
  return run(PPDREGION_BINARY, {"printer", ppd.string()}, env);
}

void expectRuns(std::initializer_list<ArgumentsCase> cases,
                const std::map<std::string, std::string>& env) {
  for (const ArgumentsCase& c : cases) {
    std::string trace;
    for (const std::string& arg : c.args) trace += "[" + arg + "] ";
    SCOPED_TRACE(trace);
    const RunResult result = run(kTool, c.args, env);
    EXPECT_EQ(result.status, c.status);
    EXPECT_TRUE(result.out == c.out);  // a PPD: no diff of it in the log
    EXPECT_EQ(result.err, c.err);
  }
}

bool passesCupstestppd(const std::filesystem::path& ppd) {
  return run("cupstestppd", {"-q", ppd.string()}).status == 0;
}

}  // namespace fixture
