// SPDX-License-Identifier: Apache-2.0
// The PPD lists: rows of `cups-driverd dump`, lines of a driver program's
// `list`, and the lines this program's `list` writes.
#include <fnmatch.h>

#include <cctype>
#include <charconv>

#include "driver/driver.h"
#include "runtime/text.h"

namespace driver {

namespace {

// cups-driverd's ppd-type names, by the number ppds.dat stores; 5 and 6 are
// the .drv files and archives themselves.
constexpr const char* kPpdTypes[] = {"postscript", "pdf", "raster", "fax",
                                     "object"};

constexpr char kDumpHeader[] =
    "mtime,size,model_number,type,filename,name,languages0,products0,"
    "psversions0,make,make_and_model,device_id,scheme";

// What cups-driverd keeps of each field of a list line.
constexpr std::size_t kMaxFieldSize = 127;
constexpr std::size_t kMaxDeviceIdSize = 255;

bool isListBlank(char c) { return c == ' ' || c == '\t'; }

// Reads a number of the dump up to the next comma.
bool readNumber(std::string_view& text, long& number) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, number);
  if (error != std::errc() || stop == end || *stop != ',') return false;
  text.remove_prefix(static_cast<std::size_t>(stop - text.data()) + 1);
  return true;
}

// Reads a field of the dump, "text", and the comma after it unless `last`.
bool readDumpField(std::string_view& text, std::string& field, bool last) {
  if (text.empty() || text.front() != '"') return false;
  const std::size_t close = text.find('"', 1);
  if (close == text.npos) return false;
  field = text.substr(1, close - 1);
  text.remove_prefix(close + 1);
  if (last) return text.empty();
  if (text.empty() || text.front() != ',') return false;
  text.remove_prefix(1);
  return true;
}

// cups-driverd's "%N[^\"]" between quotes: one to `limit` bytes up to the
// closing quote. False when the field is empty, longer or not closed;
// `field` then holds what cups-driverd would have kept of it, if anything.
bool readListField(std::string_view& text, std::size_t limit,
                   std::string& field) {
  if (text.empty() || text.front() != '"') return false;
  text.remove_prefix(1);
  std::size_t size = 0;
  while (size < text.size() && size < limit && text[size] != '"') ++size;
  if (size == 0) return false;
  field = text.substr(0, size);
  text.remove_prefix(size);
  if (text.empty() || text.front() != '"') return false;
  text.remove_prefix(1);
  return true;
}

// The start of `text`, at most `limit` bytes, not cut inside a UTF-8
// sequence.
std::string_view cut(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t size = limit;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80)
    --size;
  return text.substr(0, size);
}

// Calls `handle` with each line of `text` that is not empty, without its
// terminator, until it returns false.
template <typename Handle>
void forEachLine(std::string_view text, Handle handle) {
  while (!text.empty()) {
    const std::string_view line = runtime::takeLine(text);
    if (!line.empty() && !handle(line)) return;
  }
}

// A field as a list line carries it: never empty, which would end the line.
std::string listField(std::string_view text, std::size_t limit) {
  const std::string_view kept = cut(text, limit);
  return "\"" + (kept.empty() ? std::string(" ") : std::string(kept)) + "\"";
}

}  // namespace

bool isDumpHeader(std::string_view line) { return line == kDumpHeader; }

std::optional<PpdEntry> parseDumpRow(std::string_view line) {
  long mtime = 0, size = 0, modelNumber = 0, type = 0;
  if (!readNumber(line, mtime) || !readNumber(line, size) ||
      !readNumber(line, modelNumber) || !readNumber(line, type)) {
    return std::nullopt;
  }
  PpdEntry entry;
  std::string filename, scheme;
  std::string* const fields[] = {
      &filename,           &entry.name,      &entry.languages,
      &entry.product,      &entry.psVersion, &entry.make,
      &entry.makeAndModel, &entry.deviceId,  &scheme};
  for (std::string* field : fields) {
    if (!readDumpField(line, *field, field == &scheme)) return std::nullopt;
  }
  if (type < 0 || type >= static_cast<long>(std::size(kPpdTypes)))
    return std::nullopt;
  entry.type = kPpdTypes[type];
  if (entry.name.empty()) return std::nullopt;
  return entry;
}

std::optional<PpdEntry> parseListLine(std::string_view line) {
  PpdEntry entry;
  entry.type = "postscript";  // cups-driverd's default
  if (!readListField(line, kMaxNameSize, entry.name)) return std::nullopt;
  // "%127s": blanks skipped, then up to 127 bytes that are not blanks.
  while (!line.empty() &&
         std::isspace(static_cast<unsigned char>(line.front()))) {
    line.remove_prefix(1);
  }
  std::size_t size = 0;
  while (size < line.size() && size < kMaxFieldSize &&
         !std::isspace(static_cast<unsigned char>(line[size]))) {
    ++size;
  }
  if (size == 0) return std::nullopt;
  entry.languages = line.substr(0, size);
  line.remove_prefix(size);
  struct Field {
    std::string* value;
    std::size_t limit;
    bool required;
  };
  const Field fields[] = {
      {&entry.make, kMaxFieldSize, true},
      {&entry.makeAndModel, kMaxFieldSize, true},
      {&entry.deviceId, kMaxDeviceIdSize, false},
      {&entry.product, kMaxFieldSize, false},
      {&entry.psVersion, kMaxFieldSize, false},
      {&entry.type, kMaxFieldSize, false},
  };
  for (const Field& field : fields) {
    // "%*[ \t]" then the quoted field; reading stops at the first miss.
    std::size_t blanks = 0;
    while (blanks < line.size() && isListBlank(line[blanks])) ++blanks;
    line.remove_prefix(blanks);
    std::string value;
    const bool read = blanks > 0 && readListField(line, field.limit, value);
    if (!value.empty()) *field.value = value;
    if (!read) {
      if (field.required && value.empty()) return std::nullopt;
      break;
    }
  }
  return entry;
}

std::string regionalListLine(const PpdEntry& original,
                             std::string_view country) {
  const std::string name = regionalName(country, original.name);
  if (name.empty() || original.languages.empty()) return {};
  for (char c : original.languages) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == '"') return {};
  }
  const std::string region = ", " + std::string(country) + " region";
  const std::string makeAndModel =
      std::string(cut(original.makeAndModel, kMaxFieldSize - region.size())) +
      region;
  return "\"" + name + "\" " +
         std::string(cut(original.languages, kMaxFieldSize)) + " " +
         listField(original.make, kMaxFieldSize) + " " +
         listField(makeAndModel, kMaxFieldSize) + " " +
         listField(original.deviceId, kMaxDeviceIdSize) + " " +
         listField(original.product, kMaxFieldSize) + " " +
         listField(original.psVersion, kMaxFieldSize) + " " +
         listField(original.type, kMaxFieldSize) + "\n";
}

EntryList readDump(std::string_view text) {
  EntryList list;
  bool header = true;
  forEachLine(text, [&](std::string_view line) {
    if (header) {
      header = false;
      if (isDumpHeader(line)) return true;
      list.warnings.emplace_back(
          "cups-driverd dump: unknown header; its PPDs are not offered");
      return false;
    }
    if (std::optional<PpdEntry> entry = parseDumpRow(line))
      list.entries.push_back(std::move(*entry));
    return true;
  });
  return list;
}

EntryList readList(std::string_view text, std::string_view program) {
  EntryList list;
  forEachLine(text, [&](std::string_view line) {
    std::optional<PpdEntry> entry = parseListLine(line);
    if (!entry) {
      list.warnings.push_back(std::string(program) +
                              " list: bad line: " + std::string(line));
      return false;
    }
    list.entries.push_back(std::move(*entry));
    return true;
  });
  return list;
}

OfferList::OfferList(const Configuration& configuration, std::string country)
    : configuration_(configuration),
      country_(std::move(country)),
      matched_(configuration.patterns.size(), false) {}

std::string OfferList::add(const PpdEntry& entry) {
  if (!isOffered(configuration_, entry.name)) return {};
  for (std::size_t i = 0; i < matched_.size(); ++i) {
    if (!matched_[i] && fnmatch(configuration_.patterns[i].c_str(),
                                entry.name.c_str(), 0) == 0) {
      matched_[i] = true;
    }
  }
  if (!names_.insert(entry.name).second) return {};
  const std::string line = regionalListLine(entry, country_);
  if (line.empty()) {
    return "cannot offer \"" + entry.name +
           "\": its name is too long or not printable ASCII";
  }
  text_ += line;
  return {};
}

std::vector<std::string> OfferList::unmatchedOffers() const {
  std::vector<std::string> warnings;
  for (std::size_t i = 0; i < matched_.size(); ++i) {
    if (matched_[i]) continue;
    warnings.push_back(configuration_.origins[i] + ": Offer " +
                       configuration_.patterns[i] +
                       " matches no PPD that CUPS lists");
  }
  return warnings;
}

}  // namespace driver
