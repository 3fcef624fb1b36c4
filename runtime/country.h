// SPDX-License-Identifier: Apache-2.0
// The user's country: from a code given, the locale variables, or the
// system's locale files. Shared by the command and the driver program.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runtime {

/// `code` as a country: two ASCII letters in either case, in upper case
/// ("fr" gives "FR"); empty for anything else.
std::string countryCode(std::string_view code);

/// The country of a locale name such as "fr_FR.UTF-8": the territory after
/// the first "_", up to a "." or "@", in upper case when it is exactly two
/// ASCII letters; otherwise empty ("C", "POSIX", "es_419").
std::string countryFromLocaleName(std::string_view name);

/// The system's locale files, in the order they count.
inline constexpr const char* kSystemLocaleFiles[] = {"/etc/locale.conf",
                                                     "/etc/default/locale"};

/// The locale that governs paper: the first non-empty value of LC_ALL,
/// LC_PAPER and LANG in the environment, read directly so that a locale that
/// is not installed still gives its country. Empty when none is set.
std::string paperLocaleFromEnvironment();

/// The same from the text of a locale file: `KEY=value` lines, each
/// optionally after `export `, the value optionally in single or double
/// quotes, `#` comments; a later line sets a variable again. Empty when the
/// text sets none of the three.
std::string paperLocaleFromText(std::string_view text);

/// The same from the first of the files at `paths` that sets one of the
/// three variables, each read by readSmallFile. A missing file is skipped;
/// so is one that cannot be read or is not a regular file of at most
/// kMaxSmallFileSize bytes, adding "PATH: reason" to `ignored` when given.
std::string paperLocaleFromFiles(std::span<const char* const> paths,
                                 std::vector<std::string>* ignored = nullptr);

/// The country of paperLocaleFromEnvironment().
std::string countryFromEnvironment();

/// The country of the user: that of the locale in the environment, or, when
/// LC_ALL, LC_PAPER and LANG are all unset or empty, that of the locale in
/// the files at `systemLocaleFiles`. Empty when neither names one.
std::string countryOfUser(std::span<const char* const> systemLocaleFiles);

/// The country of a service that runs with its client's language, such as
/// the driver program's list, to which cupsd passes the client's message
/// language as LANG: that of the system's locale files (as
/// paperLocaleFromFiles reads them, adding what it skips to `ignored`)
/// first, then that of the environment. The system's country counts for
/// the queues it sets up, the client's language only failing that.
std::string countryOfService(std::span<const char* const> systemLocaleFiles,
                             std::vector<std::string>* ignored = nullptr);

/// The country of the user (countryOfUser) and where it came from, such as
/// "LC_PAPER=fr_FR.UTF-8" or "/etc/default/locale".
struct UserCountry {
  std::string country;
  std::string source;
};
UserCountry userCountry(std::span<const char* const> systemLocaleFiles);

}  // namespace runtime
