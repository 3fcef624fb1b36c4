// SPDX-License-Identifier: Apache-2.0
// The CUPS driver program: the names it offers PPDs by, its configuration,
// the PPD lists it reads from cups-driverd and other driver programs, and
// the children it runs. Only driver/main.cc prints or decides the exit
// status.
#pragma once

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

/// The scheme of this program's PPD names, and its file name in the driver
/// folder of CUPS.
inline constexpr std::string_view kScheme = "ppdregion";

/// The most bytes cups-driverd keeps of a PPD name.
inline constexpr std::size_t kMaxNameSize = 255;

/// The longest `cat` takes in all (its child, the adaptation and the
/// writing), and the longest each child of `list` takes: under the 30 s
/// cupsd waits for a PPD, so that every set-up CUPS finishes also finishes
/// through this program, and a stuck one ends with this program's reason.
inline constexpr std::chrono::seconds kTimeLimit{25};

/// When a child, or a whole command, must be done.
struct Deadline {
  std::chrono::steady_clock::time_point at;
  std::chrono::seconds limit;  ///< how long after its start, for messages

  /// The deadline `limit` from now.
  static Deadline in(std::chrono::seconds limit) {
    return {std::chrono::steady_clock::now() + limit, limit};
  }
};

/// A PPD name of this program, "ppdregion:CC/ORIGINAL": the PPD that CUPS
/// lists as ORIGINAL, adapted to the country CC.
struct RegionalName {
  std::string country;   ///< two upper-case ASCII letters
  std::string original;  ///< any name but another "ppdregion:" one
};

/// A RegionalName, or why the text is not one.
struct NameResult {
  RegionalName name;
  std::string error;  ///< empty on success, else a lower-case reason
};

/// Whether `original` is a model that lpinfo -m lists but cupsd makes
/// itself, without a PPD file from cups-driverd: "everywhere" and "raw".
bool isMadeByCups(std::string_view original);

/// Reads a PPD name of this program. The whole name must be printable ASCII
/// without `"`, at most kMaxNameSize bytes; CC two upper-case letters;
/// ORIGINAL not empty, not itself a "ppdregion:" name and not a model
/// cupsd makes itself (isMadeByCups).
///   "ppdregion:FR/lsb/usr/acme/laser.ppd" gives FR and lsb/usr/acme/laser.ppd
NameResult parseRegionalName(std::string_view name);

/// "ppdregion:" + country + "/" + original, or empty when that is not a
/// valid name (too long, a `"` or a byte that is not printable ASCII).
std::string regionalName(std::string_view country, std::string_view original);

/// What the configuration files say.
struct Configuration {
  std::string country;                ///< from the first Country line
  std::string countryOrigin;          ///< "FILE:LINE" of that line
  std::vector<std::string> patterns;  ///< the Offer patterns, in order
  std::vector<std::string> origins;   ///< "FILE:LINE" of each pattern
  std::vector<std::string> warnings;  ///< "FILE:LINE: reason" per ignored line
  /// Whether `cat` makes the region's office paper the default size: from
  /// the first DefaultPaper line, else yes.
  bool defaultPaper = true;
  std::string defaultPaperOrigin;  ///< "FILE:LINE" of that line
};

/// Adds the lines of one configuration file, `text` read from `fileName`, to
/// `configuration`: `Country CC` (the first one counts), `Offer PATTERN`,
/// `DefaultPaper Yes|No` (also On/Off, True/False; the first one counts),
/// blank lines and comments; keywords and Yes/No in any letter case. A value
/// ends at a comment, a `#` at the start of a line or after a blank; its blanks
/// inside count, those around it do not; written in double quotes it is taken
/// as it is, `#` and blanks included. Every line that has no effect adds a
/// warning saying why: an unknown line, a value that does not read, a
/// second Country or DefaultPaper line, an Offer pattern already given or one
/// that could never match what `list` offers (a `"`, a "ppdregion:" name,
/// "everywhere" or "raw").
///   Offer Acme Laser *.ppd   # the pattern "Acme Laser *.ppd"
///   Offer "a #1.ppd"         # the pattern "a #1.ppd"
void readConfiguration(std::string_view text, std::string_view fileName,
                       Configuration& configuration);

/// Reads SERVERROOT/ppdregion.conf, then SERVERROOT/ppdregion.d/*.conf in
/// byte order of their names, each by runtime::readSmallFile. A missing file or
/// folder is no error; one that is not read (not a regular file, a link to
/// nothing, larger than 1 MiB, unreadable) adds a warning.
Configuration loadConfiguration(const std::string& serverRoot);

/// Whether `original` matches one of the Offer patterns (fnmatch, where `*`
/// also matches `/`). Never true for a "ppdregion:" name.
bool isOffered(const Configuration& configuration, std::string_view original);

/// The driver program an Offer pattern names by its scheme, as
/// "gutenprint.5.3" for "gutenprint.5.3://*"; empty when the pattern begins
/// with no literal scheme, or names drv:, file: or this program.
std::string driverProgramOf(std::string_view pattern);

/// One PPD as cups-driverd lists it, every field as text.
struct PpdEntry {
  std::string name;
  std::string languages;  ///< comma-separated, as in a driver program's list
  std::string make;
  std::string makeAndModel;
  std::string deviceId;
  std::string product;
  std::string psVersion;
  std::string type;  ///< "postscript", "pdf", "raster", "fax" or "object"
};

/// Whether `line` is the header `cups-driverd dump` begins with.
bool isDumpHeader(std::string_view line);

/// A row of `cups-driverd dump`: four numbers, then nine fields in double
/// quotes (filename, name, languages0, products0, psversions0, make,
/// make_and_model, device_id, scheme), separated by commas. Empty for a row
/// that does not parse (a `"` inside a field, missing fields), and for the
/// rows of .drv files and archives themselves, which CUPS never lists.
std::optional<PpdEntry> parseDumpRow(std::string_view line);

/// A line of a driver program's `list` output, read as cups-driverd reads
/// it: `"name" languages "make" "make-and-model"`, then optionally
/// `"device-id" "product" "psversion" "type"`, each field not empty, at most
/// 255 bytes for the name and the device ID and 127 for the others; reading
/// stops at the first field that does not fit. Empty when fewer than the
/// first four fields are read: cups-driverd calls that a bad line.
std::optional<PpdEntry> parseListLine(std::string_view line);

/// The line this program's `list` writes to offer `original` adapted to
/// `country`: its name as a RegionalName, ", CC region" after its make and
/// model, its other fields repeated, an empty field written as a space
/// (cups-driverd stops reading a line at an empty one), every field cut to
/// what cups-driverd keeps. Empty when the entry cannot be offered: its name
/// does not fit, or its languages are empty.
std::string regionalListLine(const PpdEntry& original,
                             std::string_view country);

/// The entries read from a PPD list, and why parts of it were not read.
struct EntryList {
  std::vector<PpdEntry> entries;
  std::vector<std::string> warnings;
};

/// The entries of the output of `cups-driverd dump`: the header, then a row
/// per line (parseDumpRow), LF or CR LF. Rows that do not parse are left
/// out quietly (the .drv files and archives themselves are such rows); an
/// unknown header gives no entries and a warning.
EntryList readDump(std::string_view text);

/// The entries of the output of a driver program's `list`, `program` naming
/// it in warnings: a line each (parseListLine), LF or CR LF, blank lines
/// skipped. A bad line ends the list with a warning, as it ends the list in
/// cups-driverd.
EntryList readList(std::string_view text, std::string_view program);

/// What this program's `list` writes: the entries that an Offer pattern
/// matches, each once, as regionalListLine writes them.
class OfferList {
 public:
  OfferList(const Configuration& configuration, std::string country);

  /// Adds the line for `entry` when an Offer pattern matches its name and
  /// no entry of that name came before. Returns why an entry that is
  /// matched cannot be offered, else an empty string.
  std::string add(const PpdEntry& entry);

  /// The lines added, in the order added.
  const std::string& text() const { return text_; }

  /// A warning for each Offer pattern that no entry added so far matched.
  std::vector<std::string> unmatchedOffers() const;

 private:
  const Configuration& configuration_;
  std::string country_;
  std::set<std::string> names_;  // those added
  std::vector<bool> matched_;    // by pattern
  std::string text_;
};

/// What a child wrote to its standard output, or why it failed.
struct ChildOutput {
  std::string text;
  std::string error;  ///< empty on success, else a lower-case reason
};

/// Runs the program at `path` with the arguments `args` (args[0] included),
/// no shell, standard input /dev/null, standard error shared, in a process
/// group of its own, and reads its standard output whole by the reading
/// rules of the command (runtime::readPpd), every read waiting at most until
/// the deadline. Whatever ends the run (the end of its output, output that
/// is refused, the deadline) the child's whole group is killed once it is
/// not needed, at once, and then stopDescendants() stops what it left. Fails
/// when it cannot start, gives no answer by the deadline ("gave no answer
/// within 25 s and was stopped", even when a process in another session
/// holds the pipe), is killed, exits with a status other than 0, or writes
/// output that is refused (its own reason, such as a NUL byte).
ChildOutput runChild(const std::string& path,
                     const std::vector<std::string>& args,
                     const Deadline& deadline);

/// Kills every process that is this process's child, with its process
/// group, and waits for it; again for those that become its children then,
/// as long as any come. In a child subreaper (prctl PR_SET_CHILD_SUBREAPER),
/// which every orphaned descendant re-parents to, this reaches every
/// descendant: grandchildren in a session of their own too. Reads the
/// children from /proc and calls nothing but system calls: safe in a signal
/// handler. Meant for a program that runs one child at a time.
void stopDescendants();

}  // namespace driver
