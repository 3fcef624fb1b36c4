// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "fixture.h"
#include "runtime/input.h"

namespace {

namespace fs = std::filesystem;

// `size` bytes of PPD-like ASCII lines.
std::string textOfSize(std::size_t size) {
  std::string text;
  while (text.size() < size)
    text += "*Line" + std::to_string(text.size()) + ": x\n";
  text.resize(size);
  return text;
}

// Reads `bytes` through a pipe, written in pieces that end at `cuts` with a
// pause after each, so that reads mostly end there too.
runtime::LoadResult readFromPipe(std::string_view bytes,
                                 std::vector<std::size_t> cuts) {
  int ends[2];
  if (pipe(ends) != 0) throw std::runtime_error("pipe");
  cuts.push_back(bytes.size());
  std::thread writer([&] {
    // A reader that stops early makes writes fail, not the test die.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
      cut = std::min(cut, bytes.size());
      while (from < cut) {
        const ssize_t written = write(ends[1], bytes.data() + from, cut - from);
        if (written <= 0) break;
        from += static_cast<std::size_t>(written);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close(ends[1]);
  });
  runtime::LoadResult loaded = runtime::readPpd(ends[0]);
  close(ends[0]);
  writer.join();
  return loaded;
}

// Around the 256 KiB chunks the input is read in, from a file (read into a
// string of its size) and from a pipe (read into a string that doubles as it
// fills, from one chunk).
TEST(LoadPpdFile, WholeFileAtChunkBoundaries) {
  fixture::TempDir dir;
  constexpr std::size_t kChunk = std::size_t{256} * 1024;
  for (std::size_t size : {std::size_t{1}, kChunk - 1, kChunk, kChunk + 1,
                           2 * kChunk + 1, std::size_t{1000000}}) {
    SCOPED_TRACE(size);
    const std::string text = textOfSize(size);
    const runtime::LoadResult loaded =
        runtime::loadPpd(dir.write("f.ppd", text).c_str());
    EXPECT_EQ(loaded.error, "");
    EXPECT_TRUE(loaded.text == text);
    const runtime::LoadResult piped =
        readFromPipe(text, {1, kChunk - 1, kChunk + 1});
    EXPECT_EQ(piped.error, "");
    EXPECT_TRUE(piped.text == text);
  }
}

// gzip data is decompressed as it comes: a member, its trailer, the next
// member's first two bytes or the zero padding may each be split between
// two reads.
TEST(LoadPpdFile, GzipLoadsAsPlainText) {
  fixture::TempDir dir;
  const std::string text = textOfSize(200000) +
                           "*Gr\xC3\xB6\xC3\x9F"
                           "e: 1\n";
  const std::string tail = textOfSize(1000);
  const auto gzip = [&](const char* name, const std::string& plain) {
    const auto path = dir.write(name, plain);
    EXPECT_EQ(fixture::run("gzip", {"-n", path.string()}).status, 0);
    return fixture::readFile(path.string() + ".gz");
  };
  const std::string first = gzip("f.ppd", text);
  const std::string second = gzip("g.ppd", tail);
  const std::string padded = first + second + std::string(4096, '\0');
  const std::size_t end = first.size();
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::size_t> cuts;
    std::string text;
  };
  const Case cases[] = {
      {"one member, a byte at first", first, {1, 2, end - 4}, text},
      {"second member's magic split", first + second, {end + 1}, text + tail},
      {"trailer split, then padding",
       padded,
       {end - 1, end + second.size() + 1},
       text + tail},
      {"whole padding alone", padded, {end + second.size()}, text + tail},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const runtime::LoadResult loaded = readFromPipe(c.bytes, c.cuts);
    EXPECT_EQ(loaded.error, "");
    EXPECT_TRUE(loaded.text == c.text);
  }
  const runtime::LoadResult loaded =
      runtime::loadPpd((dir.path() / "f.ppd.gz").c_str());
  EXPECT_EQ(loaded.error, "");
  EXPECT_TRUE(loaded.text == text);
}

TEST(LoadPpdFile, Refusals) {
  fixture::TempDir dir;
  struct Case {
    const char* name;
    std::string path;
    std::string error;
  };
  const fs::path huge = dir.write("huge.ppd", "*PPD-Adobe: \"4.3\"\n");
  fs::resize_file(huge, runtime::kMaxPpdSize + 1);  // sparse: takes no room
  const Case cases[] = {
      {"larger than the limit", huge.string(),
       "larger than 256 MiB; not a PPD file"},
      {"empty", dir.write("empty.ppd", "").string(), "file is empty"},
      {"NUL byte",
       dir.write("nul.ppd", std::string("*A: 1\n\0*B: 2\n", 13)).string(),
       "holds a NUL byte at offset 6; a PPD file is text"},
      {"missing", (dir.path() / "missing.ppd").string(),
       "No such file or directory"},
      {"directory", dir.path().string(), "Is a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const runtime::LoadResult loaded = runtime::loadPpd(c.path.c_str());
    EXPECT_EQ(loaded.error, c.error);
    EXPECT_EQ(loaded.text, "");
  }
}

}  // namespace
