// SPDX-License-Identifier: Apache-2.0
// Classifying the printer through libcups' PPD parser.
//
// libcups marks its whole PPD interface deprecated; every call into it is
// kept in this file, which alone is built without deprecation warnings.
#include <cups/ppd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

#include "policy/policy.h"

namespace policy {

namespace {

// The parser's own entry point, which libcups exports (Debian tracks it in
// libcups2's symbols file) but declares only in a private header. ppdOpen2
// calls it to keep the translations of the process's language; sorting
// those costs time quadratic in their number, and the tool reads none of
// them, so the parse here asks for none.
extern "C" ppd_file_t* _ppdOpen(cups_file_t* fp, int localization);
constexpr int kNoTranslations = 2;  // _PPD_LOCALIZATION_NONE

struct FileCloser {
  void operator()(cups_file_t* file) const { cupsFileClose(file); }
};
struct PpdCloser {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};

[[noreturn]] void throwErrno() {
  throw std::system_error(errno, std::generic_category(),
                          "cannot hand the PPD to the parser");
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t wrote = write(fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      if (wrote == 0) errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

// An anonymous memory file holding `bytes`, positioned at its start, opened
// by libcups. The parser reads only through a cups_file_t, and this way it
// reads exactly the text the tool edits, whatever the input was: a pipe, a
// terminal or a file replaced since.
std::unique_ptr<cups_file_t, FileCloser> openInMemory(std::string_view bytes) {
  const int fd = memfd_create("ppd", MFD_CLOEXEC);
  if (fd < 0) throwErrno();
  if (!writeAll(fd, bytes) || lseek(fd, 0, SEEK_SET) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    throwErrno();
  }
  cups_file_t* file = cupsFileOpenFd(fd, "r");
  if (file == nullptr) {
    close(fd);
    throw std::bad_alloc();  // libcups fails here only for want of memory
  }
  return std::unique_ptr<cups_file_t, FileCloser>(file);
}

struct OptionsFree {
  int count;
  void operator()(cups_option_t* options) const {
    cupsFreeOptions(count, options);
  }
};

// The options, with their choices, that libcups finds in conflict when
// `option` takes `choice` and every other option keeps its marked choice.
std::vector<std::pair<std::string, std::string>> conflictsOf(
    ppd_file_t* ppd, const char* option, const char* choice) {
  cups_option_t* found = nullptr;
  const int count = cupsGetConflicts(ppd, option, choice, &found);
  const std::unique_ptr<cups_option_t, OptionsFree> owner(found, {count});
  std::vector<std::pair<std::string, std::string>> conflicts;
  conflicts.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    conflicts.emplace_back(found[i].name, found[i].value);
  }
  std::ranges::sort(conflicts);
  return conflicts;
}

// Whether `choice` as the choice of `option` conflicts with the marked
// choices in a way they do not already.
bool addsConflicts(ppd_file_t* ppd, const char* option, const char* choice) {
  const auto withChoice = conflictsOf(ppd, option, choice);
  if (withChoice.empty()) return false;
  // An option without a default (or no such option) is taken as off.
  const ppd_choice_t* marked = ppdFindMarkedChoice(ppd, option);
  const auto asIs =
      conflictsOf(ppd, option, marked != nullptr ? marked->choice : "None");
  return !std::ranges::includes(asIs, withChoice);
}

// Whether `name` holds `part`, without regard to ASCII letter case.
bool mentions(const char* name, std::string_view part) {
  const std::size_t size = std::strlen(name);
  for (std::size_t at = 0; at + part.size() <= size; ++at) {
    if (strncasecmp(name + at, part.data(), part.size()) == 0) return true;
  }
  return false;
}

// The options whose defaults the tool may change, as parts of option names
// so that AP_FIRSTPAGE_ and Custom forms count as well.
constexpr std::string_view kChangedOptions[] = {"Duplex", "PageSize",
                                                "PageRegion"};

bool namesChangedOption(const char* text) {
  return std::ranges::any_of(kChangedOptions, [&](std::string_view option) {
    return mentions(text, option);
  });
}

// Drops the constraints that name none of the options whose defaults the
// tool may change. libcups looks up the choices of every constraint with a
// linear search when it first tests one, which costs time quadratic in the
// size of a PPD with many constraints on one large option; whether a new
// default adds a conflict depends only on the constraints naming it.
void keepConstraintsOnChangedOptions(ppd_file_t* ppd) {
  const auto named = [](const ppd_const_t& constraint) {
    return namesChangedOption(constraint.option1) ||
           namesChangedOption(constraint.option2);
  };
  ppd_const_t* const end =
      std::stable_partition(ppd->consts, ppd->consts + ppd->num_consts, named);
  ppd->num_consts = static_cast<int>(end - ppd->consts);
  if (ppd->num_consts == 0) {
    // ppdClose frees the array only while it counts some constraint.
    std::free(ppd->consts);  // NOLINT(cppcoreguidelines-no-malloc)
    ppd->consts = nullptr;
  }
  for (ppd_attr_t* attr = ppdFindAttr(ppd, "cupsUIConstraints", nullptr);
       attr != nullptr;
       attr = ppdFindNextAttr(ppd, "cupsUIConstraints", nullptr)) {
    // A value without "*" is no constraint to libcups.
    if (attr->value != nullptr && !namesChangedOption(attr->value)) {
      attr->value[0] = '\0';
    }
  }
}

// How much resolving the tool asks of libcups at most: sets to resolve
// times constraints, each resolution testing every constraint. Real PPDs
// with resolvers stay far below it (a few dozen sets, a few hundred
// constraints).
constexpr std::size_t kMostResolutionWork = 2'000'000;

// How many constraints libcups tests: `*UIConstraints`, `*NonUIConstraints`
// and `*cupsUIConstraints` lines.
std::size_t constraintCount(ppd_file_t* ppd) {
  std::size_t count = static_cast<std::size_t>(ppd->num_consts);
  for (ppd_attr_t* attr = ppdFindAttr(ppd, "cupsUIConstraints", nullptr);
       attr != nullptr;
       attr = ppdFindNextAttr(ppd, "cupsUIConstraints", nullptr)) {
    ++count;
  }
  return count;
}

// Whether some constraint names `option`: only then can a new default of
// it make a set unresolvable.
bool constraintsName(ppd_file_t* ppd, std::string_view option) {
  for (int i = 0; i < ppd->num_consts; ++i) {
    if (mentions(ppd->consts[i].option1, option) ||
        mentions(ppd->consts[i].option2, option))
      return true;
  }
  for (ppd_attr_t* attr = ppdFindAttr(ppd, "cupsUIConstraints", nullptr);
       attr != nullptr;
       attr = ppdFindNextAttr(ppd, "cupsUIConstraints", nullptr)) {
    if (attr->value != nullptr && mentions(attr->value, option)) return true;
  }
  return false;
}

using OptionList = std::vector<std::pair<std::string, std::string>>;

// The choices of each `*cupsUIConstraints` set, named after a resolver or
// not, as cupstestppd puts them together to ask libcups whether the set can
// be resolved: each option with its choice, or with its first choice that
// is not None, Off or False; options and choices the PPD lacks are left
// out.
std::vector<OptionList> resolverSets(ppd_file_t* ppd) {
  std::vector<OptionList> sets;
  for (ppd_attr_t* attr = ppdFindAttr(ppd, "cupsUIConstraints", nullptr);
       attr != nullptr;
       attr = ppdFindNextAttr(ppd, "cupsUIConstraints", nullptr)) {
    if (attr->value == nullptr || std::strchr(attr->value, '*') == nullptr)
      continue;
    OptionList set;
    std::string_view rest = attr->value;
    while (true) {
      const std::size_t star = rest.find('*');
      if (star == std::string_view::npos) break;
      rest.remove_prefix(star + 1);
      const auto word = [&rest] {
        std::size_t end = 0;
        while (end < rest.size() && !isspace(rest[end] & 255)) ++end;
        std::string taken(rest.substr(0, end));
        rest.remove_prefix(end);
        while (!rest.empty() && isspace(rest.front() & 255))
          rest.remove_prefix(1);
        return taken;
      };
      std::string option = word();
      std::string choice = !rest.empty() && rest.front() != '*' ? word() : "";
      if (strncasecmp(option.c_str(), "Custom", 6) == 0 &&
          strcasecmp(choice.c_str(), "True") == 0) {
        option.erase(0, 6);
        choice = "Custom";
      }
      ppd_option_t* found = ppdFindOption(ppd, option.c_str());
      if (found == nullptr) continue;
      if (choice.empty()) {
        for (int i = 0; i < found->num_choices; ++i) {
          const char* name = found->choices[i].choice;
          if (strcasecmp(name, "None") != 0 && strcasecmp(name, "Off") != 0 &&
              strcasecmp(name, "False") != 0) {
            set.emplace_back(option, name);
            break;
          }
        }
      } else if (ppdFindChoice(found, choice.c_str()) != nullptr) {
        set.emplace_back(option, choice);
      }
    }
    sets.push_back(std::move(set));
  }
  return sets;
}

// For each set, whether libcups resolves it against the marked choices.
std::vector<bool> resolvable(ppd_file_t* ppd,
                             const std::vector<OptionList>& sets) {
  std::vector<bool> answers;
  answers.reserve(sets.size());
  for (const OptionList& set : sets) {
    cups_option_t* options = nullptr;
    int count = 0;
    for (const auto& [option, choice] : set) {
      count = cupsAddOption(option.c_str(), choice.c_str(), count, &options);
    }
    answers.push_back(
        cupsResolveConflicts(ppd, nullptr, nullptr, &count, &options) != 0);
    cupsFreeOptions(count, options);
  }
  return answers;
}

// Whether a set resolvable in `before` is not in `after`.
bool losesResolution(const std::vector<bool>& before,
                     const std::vector<bool>& after) {
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] && !after[i]) return true;
  }
  return false;
}

// The PageSize choices with their dimensions, in the PPD's order.
std::vector<PaperSize> paperSizesOf(ppd_file_t* ppd) {
  std::vector<PaperSize> sizes;
  const ppd_option_t* pageSize = ppdFindOption(ppd, "PageSize");
  if (pageSize == nullptr) return sizes;
  std::unordered_set<std::string> choices;
  for (int i = 0; i < pageSize->num_choices; ++i) {
    std::string name = pageSize->choices[i].choice;
    for (char& c : name) c = static_cast<char>(tolower(c & 255));
    choices.insert(std::move(name));
  }
  for (int i = 0; i < ppd->num_sizes; ++i) {
    const ppd_size_t& size = ppd->sizes[i];
    std::string name = size.name;
    for (char& c : name) c = static_cast<char>(tolower(c & 255));
    if (choices.contains(name)) {
      sizes.push_back({size.name, size.width, size.length});
    }
  }
  return sizes;
}

// The duplex option whose default the duplex rule sets, or null: Duplex,
// else the vendor's copy, where it offers DuplexNoTumble and that choice
// adds no conflict.
const char* longEdgeOption(ppd_file_t* ppd, const Printer& printer) {
  for (std::size_t i = 0; i < std::size(kDuplexOptions); ++i) {
    const std::string name(kDuplexOptions[i]);
    ppd_option_t* option = ppdFindOption(ppd, name.c_str());
    if (option == nullptr) continue;
    if (printer.longEdgeConflicts[i] ||
        ppdFindChoice(option, "DuplexNoTumble") == nullptr) {
      return nullptr;
    }
    return kDuplexOptions[i].data();
  }
  return nullptr;
}

std::string nameOf(OfficePaper paper) {
  return paper == OfficePaper::Letter ? "Letter" : "A4";
}

// Whether any constraint is left for libcups to test.
bool hasConstraints(ppd_file_t* ppd) {
  if (ppd->num_consts > 0) return true;
  for (ppd_attr_t* attr = ppdFindAttr(ppd, "cupsUIConstraints", nullptr);
       attr != nullptr;
       attr = ppdFindNextAttr(ppd, "cupsUIConstraints", nullptr)) {
    if (attr->value != nullptr && attr->value[0] != '\0') return true;
  }
  return false;
}

// The default of `keyword` as libcups reads it: an option's default choice,
// else the value of the last `*Default<keyword>` line; empty when none.
std::string defaultOf(ppd_file_t* ppd, std::string_view keyword) {
  const std::string name(keyword);
  if (const ppd_option_t* option = ppdFindOption(ppd, name.c_str())) {
    return option->defchoice;
  }
  const std::string key = "Default" + name;
  std::string value;
  for (ppd_attr_t* attr = ppdFindAttr(ppd, key.c_str(), nullptr);
       attr != nullptr; attr = ppdFindNextAttr(ppd, key.c_str(), nullptr)) {
    if (attr->value != nullptr) value = attr->value;
  }
  return value;
}

// Whether `keyword` offers the paper size `choice`.
bool offersSize(ppd_file_t* ppd, std::string_view keyword,
                const std::string& choice) {
  const std::string name(keyword);
  if (ppd_option_t* option = ppdFindOption(ppd, name.c_str())) {
    return ppdFindChoice(option, choice.c_str()) != nullptr;
  }
  const ppd_size_t* size = ppdPageSize(ppd, choice.c_str());
  if (size == nullptr) return false;
  if (keyword == "PaperDimension") return size->width > 0 && size->length > 0;
  return size->right > size->left && size->top > size->bottom;
}

OfficePaper officePaperNamed(ppd_file_t* ppd, const std::string& name) {
  const ppd_size_t* size = ppdPageSize(ppd, name.c_str());
  return size != nullptr ? officePaperOfSize(size->width, size->length)
                         : OfficePaper::None;
}

// Decides Printer::paper with the PPD's defaults and the new duplex default
// marked (where `constrained`; else nothing can conflict).
template <typename ResolvedBefore>
PaperDefault decidePaper(ppd_file_t* ppd, const Printer& printer,
                         std::string_view country, bool constrained,
                         const std::vector<OptionList>& sets,
                         const ResolvedBefore& resolvedBefore) {
  PaperDefault decided;
  const auto keep = [&](std::string reason) {
    decided.reason = std::move(reason);
    std::ranges::fill(decided.changes, false);
    return decided;
  };
  const OfficePaper region = officePaperOf(country);
  if (region == OfficePaper::None) return keep("no country");
  const OfficePaper other =
      region == OfficePaper::A4 ? OfficePaper::Letter : OfficePaper::A4;
  for (std::size_t i = 0; i < std::size(kPaperKeywords); ++i) {
    decided.was[i] = defaultOf(ppd, kPaperKeywords[i]);
  }
  const std::string& current = decided.was[0];
  if (current.empty()) return keep("the PPD has no default PageSize");
  const OfficePaper currentPaper = officePaperNamed(ppd, current);
  if (currentPaper == region) {
    return keep(current + " is already " + nameOf(region) + " paper");
  }
  if (currentPaper != other) {
    return keep(current + " is not " + nameOf(other) + " paper");
  }
  const PaperSize* choice = regionalPaperChoice(printer.sizes, region);
  if (choice == nullptr)
    return keep("the PPD has no " + nameOf(region) + " size");
  for (const std::string_view removed : paperSizesToRemove(printer, country)) {
    if (sameName(removed, choice->name)) {
      return keep(choice->name + " is one of the sizes removed in " +
                  std::string(country));
    }
  }
  if (constrained && addsConflicts(ppd, "PageSize", choice->name.c_str())) {
    return keep(choice->name + " conflicts with the other defaults");
  }
  if (!sets.empty()) {
    const std::vector<bool>& before = resolvedBefore();  // before marking
    ppdMarkOption(ppd, "PageSize", choice->name.c_str());
    const bool loses = losesResolution(before, resolvable(ppd, sets));
    ppdMarkOption(ppd, "PageSize", current.c_str());
    if (loses) {
      return keep(choice->name +
                  " leaves a *cupsUIConstraints set unresolvable");
    }
  }
  decided.choice = choice->name;
  for (std::size_t i = 0; i < std::size(kPaperKeywords); ++i) {
    decided.changes[i] = !decided.was[i].empty() &&
                         officePaperNamed(ppd, decided.was[i]) == other &&
                         offersSize(ppd, kPaperKeywords[i], choice->name);
  }
  return decided;
}

}  // namespace

std::optional<Printer> classifyPrinter(std::string_view ppd,
                                       std::string_view country,
                                       const Settings& settings) {
  const auto file = openInMemory(ppd);
  const std::unique_ptr<ppd_file_t, PpdCloser> parsed(
      _ppdOpen(file.get(), kNoTranslations));
  if (!parsed) {
    // Only a refusal for what the text says leaves it to be written out
    // unchanged; running out of memory or failing to read is an error.
    int line = 0;
    switch (ppdLastError(&line)) {
      case PPD_ALLOC_ERROR:
        throw std::bad_alloc();
      case PPD_FILE_OPEN_ERROR:
      case PPD_NULL_FILE:
        throw std::system_error(EIO, std::generic_category(),
                                "the PPD parser could not read the text");
      default:
        return std::nullopt;
    }
  }
  Printer printer{parsed->color_device != 0 ? PrinterKind::ColorLaser
                                            : PrinterKind::MonoLaser,
                  parsed->model_number};
  const bool duplexRule = getsLongEdgeDuplex(printer, country);
  if (settings.defaultPaper) printer.sizes = paperSizesOf(parsed.get());
  // Marking the defaults and testing the constraints cost as much as a
  // tenth of the parse on PPDs with many options: only where it counts.
  if (!duplexRule && !settings.defaultPaper) return printer;
  ppd_file_t* const ppdFile = parsed.get();
  // Whether a set stays resolvable may depend on any constraint; only
  // without resolvers can the others go.
  std::vector<OptionList> sets = resolverSets(ppdFile);
  // Asking libcups to resolve every set tests every constraint each time:
  // past a bound the sets are not asked, and a new default that some
  // constraint names stays instead (its option is then Unchecked).
  const bool checkable =
      sets.size() * constraintCount(ppdFile) <= kMostResolutionWork;
  if (!checkable) sets.clear();
  const bool unchecked = !checkable;
  if (sets.empty()) keepConstraintsOnChangedOptions(ppdFile);
  // Without constraints nothing can conflict, and marking is not needed.
  const bool constrained = !sets.empty() || hasConstraints(ppdFile);
  if (constrained) ppdMarkDefaults(ppdFile);
  // Whether each set resolves against the PPD's own defaults: asked once,
  // and only when a new default is to be tried.
  std::optional<std::vector<bool>> resolvedBefore;
  const auto before = [&]() -> const std::vector<bool>& {
    if (!resolvedBefore) resolvedBefore = resolvable(ppdFile, sets);
    return *resolvedBefore;
  };
  if (duplexRule) {
    for (std::size_t i = 0; i < std::size(kDuplexOptions); ++i) {
      const std::string option(kDuplexOptions[i]);
      if (constrained && ppdFindOption(ppdFile, option.c_str()) != nullptr) {
        printer.longEdgeConflicts[i] =
            addsConflicts(ppdFile, option.c_str(), "DuplexNoTumble");
      }
    }
    const char* option = longEdgeOption(ppdFile, printer);
    if (unchecked && option != nullptr && constraintsName(ppdFile, option)) {
      const auto at = std::ranges::find(kDuplexOptions, option);
      printer.longEdgeConflicts[at - std::begin(kDuplexOptions)] = true;
    } else if (constrained && option != nullptr) {
      if (!sets.empty()) before();  // asked before the new default is marked
      ppdMarkOption(ppdFile, option, "DuplexNoTumble");
      if (!sets.empty() &&
          losesResolution(before(), resolvable(ppdFile, sets))) {
        const auto at = std::ranges::find(kDuplexOptions, option);
        printer.longEdgeConflicts[at - std::begin(kDuplexOptions)] = true;
        ppdMarkDefaults(ppdFile);
      }
    }
  }
  if (settings.defaultPaper) {
    printer.paper =
        decidePaper(ppdFile, printer, country, constrained, sets, before);
    if (unchecked && !printer.paper.choice.empty() &&
        (constraintsName(ppdFile, "PageSize") ||
         constraintsName(ppdFile, "PageRegion"))) {
      printer.paper = {{},
                       "too many *cupsUIConstraints sets to check whether " +
                           printer.paper.choice + " leaves one unresolvable"};
    }
  }
  return printer;
}

}  // namespace policy
