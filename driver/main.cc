// SPDX-License-Identifier: Apache-2.0
// The ppdregion driver program of CUPS: cups-driverd runs it as
//
//   ppdregion list             the PPDs it offers, one line each
//   ppdregion cat NAME         the PPD named "ppdregion:CC/ORIGINAL"
//
// `cat` has cups-driverd copy ORIGINAL and writes it adapted to CC; `list`
// offers the PPDs that ppdregion.conf names, adapted to its country. Lines
// on standard error begin with ERROR:, WARNING: or DEBUG:, for cupsd's log.
//
// Nothing it starts outlives it: it is a child subreaper, so that whatever
// its children leave behind, in a session of its own too, re-parents to it
// and is stopped, when each child ends and when it ends by a signal.
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "driver/driver.h"
#include "policy/policy.h"
#include "runtime/country.h"
#include "runtime/input.h"
#include "runtime/output.h"

#ifndef PPDREGION_CUPS_SERVERBIN
#error "PPDREGION_CUPS_SERVERBIN must be defined by the build"
#endif
#ifndef PPDREGION_CUPS_SERVERROOT
#error "PPDREGION_CUPS_SERVERROOT must be defined by the build"
#endif

namespace {

void report(const char* level, const std::string& message) {
  std::fprintf(stderr, "%s: [ppdregion] %s\n", level, message.c_str());
}

int fail(const std::string& reason) {
  report("ERROR", reason);
  return runtime::kExitFailure;
}

// A folder of CUPS as the scheduler names it to its children, else as built.
std::string cupsFolder(const char* variable, const char* built) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0' ? value : built;
}

std::string driverd() {
  return cupsFolder("CUPS_SERVERBIN", PPDREGION_CUPS_SERVERBIN) +
         "/daemon/cups-driverd";
}

// The lines the signal handlers write, composed beforehand.
char signalLine[] = "ERROR: [ppdregion] stopped by a signal\n";
char deadlineLine[512];

void writeLine(const char* line) {
  const ssize_t ignored = write(STDERR_FILENO, line, std::strlen(line));
  static_cast<void>(ignored);
}

// SIGTERM, SIGINT, SIGHUP: the children and what they left go too, then
// this program ends by the signal (SA_RESETHAND: its default action).
extern "C" void stopBySignal(int number) {
  driver::stopDescendants();
  writeLine(signalLine);
  raise(number);
}

// The deadline of `cat` passed while adapting or writing: no read is
// waiting to give a better reason.
extern "C" void stopAtDeadline(int) {
  driver::stopDescendants();
  writeLine(deadlineLine);
  _exit(runtime::kExitFailure);
}

void handle(int number, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigfillset(&action.sa_mask);
  action.sa_flags = flags;
  sigaction(number, &action, nullptr);
}

void stopChildrenOnSignals() {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  for (int number : {SIGTERM, SIGINT, SIGHUP})
    handle(number, stopBySignal, SA_RESETHAND);
}

// Ends the program at the deadline wherever it is; the reads of its child
// end at the deadline itself, with their own reason, so this comes a little
// after.
void stopAt(const driver::Deadline& deadline, const std::string& what) {
  const std::string line = "ERROR: [ppdregion] " + what + ": not done within " +
                           std::to_string(deadline.limit.count()) +
                           " s; stopped\n";
  const std::size_t size = std::min(line.size(), sizeof deadlineLine - 1);
  std::memcpy(deadlineLine, line.data(), size);
  deadlineLine[size] = '\0';
  handle(SIGALRM, stopAtDeadline, 0);
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
      deadline.at - std::chrono::steady_clock::now() +
      std::chrono::milliseconds(300));
  itimerval timer{};
  timer.it_value.tv_sec = static_cast<time_t>(left.count() / 1000000);
  timer.it_value.tv_usec = static_cast<suseconds_t>(left.count() % 1000000);
  setitimer(ITIMER_REAL, &timer, nullptr);
}

std::string serverRoot() {
  return cupsFolder("CUPS_SERVERROOT", PPDREGION_CUPS_SERVERROOT);
}

// The configuration files, each line that has no effect said as a warning.
driver::Configuration loadConfiguration() {
  driver::Configuration configuration = driver::loadConfiguration(serverRoot());
  for (const std::string& warning : configuration.warnings)
    report("WARNING", warning);
  return configuration;
}

int catPpd(std::string_view name) {
  const driver::Deadline deadline = driver::Deadline::in(driver::kTimeLimit);
  const driver::NameResult parsed = driver::parseRegionalName(name);
  if (!parsed.error.empty()) return fail(parsed.error);
  const std::string& original = parsed.name.original;
  const std::string what = "cups-driverd cat \"" + original + "\"";
  stopAt(deadline, "cat " + std::string(name));
  try {
    driver::ChildOutput ppd = driver::runChild(
        driverd(), {"cups-driverd", "cat", original}, deadline);
    if (!ppd.error.empty()) return fail(what + ": " + ppd.error);
    if (ppd.text.empty()) return fail(what + " gave no PPD");
    if (!ppd.text.starts_with("*PPD-Adobe")) {
      return fail(what + " gave no PPD file (no *PPD-Adobe header)");
    }
    const driver::Configuration configuration = loadConfiguration();
    const policy::Settings settings{.defaultPaper = configuration.defaultPaper};
    std::vector<std::string> notes = {"country: " + parsed.name.country +
                                      " (from the name)"};
    if (!policy::adaptPpd(ppd.text, parsed.name.country, settings, &notes))
      return fail(what + " gave a PPD file that libcups cannot read");
    // cupsd logs these at LogLevel debug: what a diff would not say.
    for (const std::string& note : notes) report("DEBUG", note);
    if (const int error = runtime::writePpd(ppd.text); error != 0) {
      return fail(std::string("standard output: ") + std::strerror(error));
    }
    return runtime::kExitSuccess;
  } catch (const std::bad_alloc&) {
    return fail(what + ": not enough memory");
  } catch (const std::system_error& error) {
    return fail(what + ": " + error.what());
  }
}

bool isProgram(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

// The country of the PPDs `list` offers: the configuration's, else the
// system's locale, else the client's language, which cupsd passes in LANG.
std::string listCountry(const driver::Configuration& configuration) {
  if (!configuration.country.empty()) return configuration.country;
  std::vector<std::string> ignored;
  std::string country =
      runtime::countryOfService(runtime::kSystemLocaleFiles, &ignored);
  for (const std::string& file : ignored) report("WARNING", file + ": ignored");
  return country;
}

// Offers the entries a child's output gave, with the warnings of both.
void offer(driver::OfferList& offers, const driver::EntryList& list) {
  for (const std::string& warning : list.warnings) report("WARNING", warning);
  for (const driver::PpdEntry& entry : list.entries) {
    if (const std::string why = offers.add(entry); !why.empty())
      report("WARNING", why);
  }
}

// The PPD files and .drv entries, as cups-driverd keeps them in ppds.dat.
void offerStaticPpds(driver::OfferList& offers) {
  const driver::ChildOutput dump =
      driver::runChild(driverd(), {"cups-driverd", "dump"},
                       driver::Deadline::in(driver::kTimeLimit));
  if (!dump.error.empty()) {
    report("WARNING", "cups-driverd dump: " + dump.error);
    return;
  }
  offer(offers, driver::readDump(dump.text));
}

// The PPDs of the other driver programs that an Offer names by their scheme.
void offerProgramPpds(driver::OfferList& offers,
                      const driver::Configuration& configuration) {
  std::set<std::string> programs;
  for (const std::string& pattern : configuration.patterns) {
    const std::string scheme = driver::driverProgramOf(pattern);
    if (scheme.empty() || !programs.insert(scheme).second) continue;
    const std::string path =
        cupsFolder("CUPS_SERVERBIN", PPDREGION_CUPS_SERVERBIN) + "/driver/" +
        scheme;
    if (!isProgram(path)) {
      report("WARNING", "Offer " + pattern + ": no driver program " + path);
      continue;
    }
    const driver::ChildOutput list = driver::runChild(
        path, {scheme, "list"}, driver::Deadline::in(driver::kTimeLimit));
    if (!list.error.empty()) {
      report("WARNING", path + " list: " + list.error);
      continue;
    }
    offer(offers, driver::readList(list.text, path));
  }
}

int listPpds() {
  const driver::Configuration configuration = loadConfiguration();
  if (configuration.patterns.empty()) return runtime::kExitSuccess;
  const std::string country = listCountry(configuration);
  if (country.empty()) {
    report("WARNING", "no country to offer PPDs for: set Country in " +
                          serverRoot() + "/ppdregion.conf");
    return runtime::kExitSuccess;
  }
  driver::OfferList offers(configuration, country);
  try {
    offerStaticPpds(offers);
    offerProgramPpds(offers, configuration);
  } catch (const std::bad_alloc&) {
    return fail("not enough memory");
  }
  for (const std::string& warning : offers.unmatchedOffers())
    report("WARNING", warning);
  if (const int error = runtime::writeToStdout(offers.text()); error != 0) {
    return fail(std::string("standard output: ") + std::strerror(error));
  }
  return runtime::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
  stopChildrenOnSignals();
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (argc == 2 && command == "list") return listPpds();
  if (argc == 3 && command == "cat") {
    const int status = catPpd(argv[2]);
    alarm(0);  // done: the deadline's timer has nothing left to stop
    return status;
  }
  return fail("usage: ppdregion list | ppdregion cat PPD-NAME");
}
