// SPDX-License-Identifier: Apache-2.0
// How fast the paper sizes of a region are deleted from a large PPD text.
//
// The text is synthetic and made here, deterministically, so the benchmark
// needs no files: a colour printer whose removable sizes are named by many
// translation lines in many languages, by UIConstraints lines on either side,
// by multi-line quoted entries, amid many more lines that stay. Every
// iteration deletes the colour list for France and model number 10 from a
// fresh copy of the text; the copy is made with the timer paused
// (BM_CopyOnly times it by itself).
//
// The work is meant to be linear in the size of the text, so the time per MB
// (the `s_per_MB` counter, seconds per MiB) should stay flat from 1 to 64 MB.
// The same text with CR LF and with CR-only line ends is timed at 1 and 8 MB.
// Each benchmark is repeated 7 times; read the fastest: the `_min` row for
// the time and s_per_MB, the `_max` row for bytes_per_second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ppdtext/ppdtext.h"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// The sizes deleted for a colour printer of model number 10 in France, in
// the order the tool deletes them ("B6" twice).
constexpr std::array<std::string_view, 10> kRemoved = {
    "210x270mm", "195x270mm", "184x260mm", "197x273mm", "B6",
    "Postcard",  "EnvYou4",   "EnvChou3",  "B6",        "B5"};

// Sizes named below that must survive, some of them prefixes or extensions
// of removed names.
constexpr std::array<std::string_view, 9> kKept = {
    "Letter", "Legal",        "A4",
    "A5",     "Executive",    "EnvDL",
    "Env10",  "B5.Fullbleed", "Postcard.Fullbleed"};

// The sizes listed in the main keyword sections, each once.
constexpr std::array<std::string_view, 9> kRemovable = {
    "210x270mm", "195x270mm", "184x260mm", "197x273mm", "B6",
    "Postcard",  "EnvYou4",   "EnvChou3",  "B5"};

constexpr std::string_view kLanguages[] = {
    "de", "fr", "it",    "es",    "pt", "nl", "sv", "da", "fi", "nb",
    "pl", "cs", "sk",    "hu",    "ro", "bg", "el", "tr", "ru", "uk",
    "ja", "ko", "zh_CN", "zh_TW", "ca", "hr", "sl", "et", "lv", "lt"};
constexpr std::size_t kLanguageCount = std::size(kLanguages);

constexpr int kOptions = 40;  // QVOpt0 .. QVOpt39, 6 choices each

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  Writer& operator<<(std::string_view s) {
    out_ += s;
    return *this;
  }
  Writer& operator<<(std::size_t n) {
    out_ += std::to_string(n);
    return *this;
  }
  Writer& operator<<(int n) {
    out_ += std::to_string(n);
    return *this;
  }

 private:
  std::string& out_;
};

void writeHeader(std::string& out) {
  Writer w(out);
  w << "*PPD-Adobe: \"4.3\"\n"
       "*% Synthetic colour laser printer for the deletion benchmark.\n"
       "*FormatVersion: \"4.3\"\n"
       "*FileVersion: \"1.0\"\n"
       "*LanguageVersion: English\n"
       "*LanguageEncoding: ISOLatin1\n"
       "*PCFileName: \"QVBENCH.PPD\"\n"
       "*Manufacturer: \"Quillvale\"\n"
       "*Product: \"(Quillvale Bench)\"\n"
       "*ModelName: \"Quillvale Bench\"\n"
       "*ShortNickName: \"Quillvale Bench\"\n"
       "*NickName: \"Quillvale Bench PS\"\n"
       "*PSVersion: \"(3010.000) 0\"\n"
       "*ColorDevice: True\n"
       "*ISOCountryCode: \"US\"\n"
       "*cupsModelNumber: 10\n"
       "*DefaultDuplex: None\n";
  for (std::string_view keyword : {"PageSize", "PageRegion"}) {
    w << "*OpenUI *" << keyword << "/Media Size: PickOne\n"
      << "*Default" << keyword << ": A4\n";
    int n = 0;
    for (std::string_view size : kKept) {
      w << "*" << keyword << " " << size << "/" << size
        << ": \"<</PageSize [595 842]>>setpagedevice\"\n";
    }
    for (std::string_view size : kRemovable) {
      if (++n % 2 == 0) {  // every other one as a multi-line entry
        w << "*" << keyword << " " << size << "/" << size << ": \"<<\n"
          << "  /PageSize [516 729] /ImagingBBox null\n"
          << ">> setpagedevice\"\n*End\n";
      } else {
        w << "*" << keyword << " " << size << "/" << size
          << ": \"<</PageSize [516 729]>>setpagedevice\"\n";
      }
    }
    w << "*CloseUI: *" << keyword << "\n";
  }
  for (std::string_view keyword : {"ImageableArea", "PaperDimension"}) {
    w << "*Default" << keyword << ": A4\n";
    for (std::string_view size : kKept) {
      w << "*" << keyword << " " << size << "/" << size
        << ": \"12 12 583 830\"\n";
    }
    for (std::string_view size : kRemovable) {
      w << "*" << keyword << " " << size << "/" << size
        << ": \"12 12 504 717\"\n";
    }
  }
  for (int o = 0; o < kOptions; ++o) {
    w << "*OpenUI *QVOpt" << o << "/Option " << o << ": PickOne\n"
      << "*DefaultQVOpt" << o << ": C0\n";
    for (int c = 0; c < 6; ++c) {
      w << "*QVOpt" << o << " C" << c << "/Choice " << c << ": \"<</QVOpt" << o
        << " " << c << ">>setpagedevice\"\n";
    }
    w << "*CloseUI: *QVOpt" << o << "\n";
  }
}

// One block of the repeated body, in the language of block `k`.
void writeBlock(std::string& out, std::size_t k) {
  Writer w(out);
  const std::string_view base = kLanguages[k % kLanguageCount];
  // Past the first round, regional variants: de_AA, de_AB, ...
  std::string lang(base);
  if (const std::size_t round = k / kLanguageCount; round > 0) {
    lang += '_';
    lang += static_cast<char>('A' + (round / 26) % 26);
    lang += static_cast<char>('A' + round % 26);
  }
  const int o = static_cast<int>(k % kOptions);
  const int c = 1 + static_cast<int>(k % 5);  // never the default choice

  w << "*% ---- block " << k << " (" << lang << ") ----\n";
  w << "*" << lang << ".Translation PageSize/Paper size " << lang << ": \"\"\n";
  // Translations: every size, removable or not, for two keywords.
  for (std::string_view keyword : {"PageSize", "PageRegion"}) {
    for (std::string_view size : kRemovable) {
      w << "*" << lang << "." << keyword << " " << size << "/" << size << " ("
        << lang << "): \"\"\n";
    }
    for (std::string_view size : kKept) {
      w << "*" << lang << "." << keyword << " " << size << "/" << size << " ("
        << lang << "): \"\"\n";
    }
  }
  // A removable and a kept translation, each as a multi-line entry.
  const std::string_view removable = kRemovable[k % kRemovable.size()];
  const std::string_view kept = kKept[k % kKept.size()];
  w << "*" << lang << ".PageSize " << removable << "/" << removable
    << " long: \"<<\n  /PageSize [340 666]\n>>setpagedevice\"\n*End\n";
  w << "*" << lang << ".PageSize " << kept << "/" << kept
    << " long: \"<<\n  /PageSize [595 842]\n>>setpagedevice\"\n*End\n";
  w << "*" << lang << ".ImageableArea " << removable << "/" << removable
    << ": \"\"\n";

  // Constraints naming removable sizes, on either side and at line end.
  for (std::size_t i = 0; i < 4; ++i) {
    const std::string_view size = kRemovable[(k + i * 2) % kRemovable.size()];
    w << "*UIConstraints: *PageSize " << size << " *QVOpt" << o << " C" << c
      << "\n";
    w << "*UIConstraints: *QVOpt" << o << " C" << c << " *PageSize " << size
      << "\n";
    w << "*UIConstraints: *PageRegion " << size << " *QVOpt" << o << " C" << c
      << "\n";
  }
  w << "*cupsUIConstraints q" << k << ": \"*PageSize " << removable << " *QVOpt"
    << o << " C" << c << "\"\n";

  // Constraints that stay.
  for (std::string_view size :
       {std::string_view("A4"), std::string_view("Letter"),
        std::string_view("B5.Fullbleed"),
        std::string_view("Postcard.Fullbleed")}) {
    w << "*UIConstraints: *PageSize " << size << " *QVOpt" << o << " C" << c
      << "\n";
    w << "*UIConstraints: *QVOpt" << o << " C" << c << " *PageSize " << size
      << "\n";
  }
  w << "*UIConstraints: *QVOpt" << o << " C" << c << " *Duplex DuplexTumble\n";

  // Translations of the other options, a note and a multi-line entry.
  w << "*" << lang << ".Translation QVOpt" << o << "/Option " << o << " ("
    << lang << "): \"\"\n";
  for (int choice = 0; choice < 6; ++choice) {
    w << "*" << lang << ".QVOpt" << o << " C" << choice << "/Choice " << choice
      << " (" << lang << "): \"\"\n";
  }
  w << "*% The " << lang
    << " strings above name B5 and *PageSize B5 in text.\n";
  w << "*QVNote" << k << ": \"Paper sizes for " << lang << "\"\n";
  w << "*QVSetup" << k << ": \"<<\n  /QVOpt" << o
    << " true\n  /Note (Postcard B6 B5)\n>> setpagedevice\"\n*End\n";
}

std::string makePpd(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 8192);
  writeHeader(text);
  for (std::size_t k = 0; text.size() < bytes; ++k) writeBlock(text, k);
  text += "*% End of the synthetic PPD\n";
  return text;
}

// The same text with every LF replaced by `eol` (CR LF or a lone CR).
std::string withLineEnds(const std::string& text, std::string_view eol) {
  if (eol == "\n") return text;
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') {
      out += eol;
    } else {
      out += c;
    }
  }
  return out;
}

// The text of about `mib` MiB with line ends `eol`, made once.
const std::string& ppdOf(std::size_t mib, std::string_view eol) {
  static std::map<std::pair<std::size_t, std::string>, std::string> cache;
  auto [it, added] = cache.try_emplace({mib, std::string(eol)});
  if (added) it->second = withLineEnds(makePpd(mib * kMiB), eol);
  return it->second;
}

void setCounters(benchmark::State& state, std::size_t size) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(size));
  // Inverted rate: seconds per MiB of input.
  state.counters["s_per_MB"] =
      benchmark::Counter(static_cast<double>(size) / static_cast<double>(kMiB),
                         benchmark::Counter::kIsIterationInvariantRate |
                             benchmark::Counter::kInvert);
  state.counters["MB"] = static_cast<double>(size) / static_cast<double>(kMiB);
}

// Times deleting kRemoved from fresh copies of `source`.
void timeDeletion(benchmark::State& state, const std::string& source) {
  std::string text;
  std::size_t kept = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    state.PauseTiming();
    text = source;  // same capacity every time: no allocation after the first
    state.ResumeTiming();
    ppdtext::deletePaperSizes(text, kRemoved);
    benchmark::DoNotOptimize(text.data());
    kept = text.size();
  }
  // The run is pointless if nothing went.
  if (kept == 0 || kept >= source.size()) {
    state.SkipWithError("the text lost nothing");
    return;
  }
  setCounters(state, source.size());
  state.counters["removed_pct"] = 100.0 *
                                  static_cast<double>(source.size() - kept) /
                                  static_cast<double>(source.size());
}

void BM_DeletePaperSizes(benchmark::State& state, std::string_view eol) {
  timeDeletion(state, ppdOf(static_cast<std::size_t>(state.range(0)), eol));
}

// A text shaped like the large real PPDs (Gutenprint's with every
// translation): a hundred sizes, each translated into thirty languages, of
// which only B6 and Postcard go, about 0.5% of the bytes.
std::string makeRealShapedPpd(std::size_t bytes) {
  std::string text;
  text.reserve(bytes + 8192);
  writeHeader(text);
  Writer w(text);
  std::vector<std::string> sizes = {"B6", "Postcard"};
  for (int i = 0; i < 98; ++i)
    sizes.push_back("w" + std::to_string(200 + i) + "h420");
  for (std::size_t k = 0; text.size() < bytes; ++k) {
    const std::string_view lang = kLanguages[k % kLanguageCount];
    for (std::string_view keyword :
         {"PageSize", "PageRegion", "ImageableArea", "PaperDimension"}) {
      for (const std::string& size : sizes) {
        w << "*" << lang << "." << keyword << " " << size << "/" << size << " ("
          << lang << " " << k << "): \"\"\n";
      }
    }
  }
  return text;
}

void BM_DeletePaperSizesRealShape(benchmark::State& state) {
  static const std::string source =
      makeRealShapedPpd(static_cast<std::size_t>(state.range(0)) * kMiB);
  timeDeletion(state, source);
}

// The copy that BM_DeletePaperSizes leaves out of its time.
void BM_CopyOnly(benchmark::State& state) {
  const std::string& source =
      ppdOf(static_cast<std::size_t>(state.range(0)), "\n");
  std::string text;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    text = source;
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  setCounters(state, source.size());
}

// Fastest of the repetitions. For bytes_per_second the fastest is the
// largest, so "max" is reported too.
double fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}
double largest(const std::vector<double>& v) {
  return *std::max_element(v.begin(), v.end());
}

void repeat(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)
      ->Repetitions(7)
      ->ComputeStatistics("min", fastest)
      ->ComputeStatistics("max", largest)
      ->ReportAggregatesOnly(true);
}

// 1, 8 and 64 MiB with LF line ends; CR LF and CR-only files, which take
// other paths when entries are joined, at 1 and 8 MiB.
void sizes(benchmark::internal::Benchmark* b) {
  repeat(b->Arg(1)->Arg(8)->Arg(64));
}
void smallSizes(benchmark::internal::Benchmark* b) {
  repeat(b->Arg(1)->Arg(8));
}

BENCHMARK_CAPTURE(BM_DeletePaperSizes, lf, std::string_view("\n"))
    ->Apply(sizes);
BENCHMARK_CAPTURE(BM_DeletePaperSizes, crlf, std::string_view("\r\n"))
    ->Apply(smallSizes);
BENCHMARK_CAPTURE(BM_DeletePaperSizes, cr, std::string_view("\r"))
    ->Apply(smallSizes);
BENCHMARK(BM_DeletePaperSizesRealShape)->Arg(1)->Apply(repeat);
BENCHMARK(BM_CopyOnly)->Apply(sizes);

}  // namespace
