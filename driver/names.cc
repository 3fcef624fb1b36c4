// SPDX-License-Identifier: Apache-2.0
// The PPD names this program offers: "ppdregion:CC/ORIGINAL".
#include "driver/driver.h"

namespace driver {

namespace {

bool isUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

// What cups-driverd can carry in a quoted field of a list line, and what
// lpadmin and every log line show as it is.
bool isPrintableName(std::string_view name) {
  for (char c : name) {
    if (c < ' ' || c > '~' || c == '"') return false;
  }
  return true;
}

std::string prefix() { return std::string(kScheme) + ":"; }

}  // namespace

bool isMadeByCups(std::string_view original) {
  return original == "everywhere" || original == "raw";
}

NameResult parseRegionalName(std::string_view name) {
  const auto fail = [](std::string reason) {
    return NameResult{{}, std::move(reason)};
  };
  if (name.size() > kMaxNameSize) {
    return fail("the PPD name is longer than " + std::to_string(kMaxNameSize) +
                " bytes");
  }
  if (!isPrintableName(name)) {
    return fail(
        "the PPD name holds a character that is not printable ASCII, or a \"");
  }
  const std::string quoted = "\"" + std::string(name) + "\"";
  if (!name.starts_with(prefix())) {
    return fail(quoted + " does not begin with " + prefix());
  }
  const std::string_view rest = name.substr(prefix().size());
  if (rest.size() < 3 || !isUpperLetter(rest[0]) || !isUpperLetter(rest[1]) ||
      rest[2] != '/') {
    return fail(quoted + " does not name a country in upper case (" + prefix() +
                "CC/ORIGINAL, CC such as FR)");
  }
  const std::string_view original = rest.substr(3);
  if (original.empty()) return fail(quoted + " names no original PPD");
  if (original.starts_with(prefix())) {
    return fail(quoted + " names another " + prefix() + " PPD as its original");
  }
  if (isMadeByCups(original)) {
    return fail(
        quoted + ": CUPS makes " + std::string(original) +
        " queues itself, without a PPD file from cups-driverd; use -m " +
        std::string(original));
  }
  return NameResult{{std::string(rest.substr(0, 2)), std::string(original)},
                    {}};
}

std::string regionalName(std::string_view country, std::string_view original) {
  std::string name =
      prefix() + std::string(country) + "/" + std::string(original);
  if (name.size() > kMaxNameSize || !isPrintableName(name)) return {};
  return name;
}

}  // namespace driver
