// SPDX-License-Identifier: Apache-2.0
// The entries of the PPD text that name a page keyword, found in one scan;
// used by the size deletion (delete.cc) and its tests only.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ppdtext {

/// How an entry's first line names a keyword K.
enum class Kind : std::uint8_t {
  MainLine,     ///< begins with `*K` and blanks
  Translation,  ///< holds `.K` and blanks (`*de.PageSize B5/...`)
  Default,      ///< a `*DefaultK:` keyword line
  Other,        ///< holds `*K` and blanks elsewhere: a constraint, a value
};

/// An entry that names a page keyword.
struct Entry {
  std::size_t begin;     ///< first byte of its first line
  std::size_t lineEnd;   ///< end of its first line, terminator included
  std::size_t end;       ///< its end in the text before any deletion
  std::size_t at;        ///< the "*" or "." before the keyword
  std::size_t option;    ///< where the option begins, after the blanks
  std::uint8_t keyword;  ///< index into the keywords searched for
  Kind kind;
};

/// The entry whose first line holds `at`, as entryEnd reads it.
Entry entryAt(std::string_view text, std::size_t at, std::size_t option,
              std::size_t keyword, Kind kind);

/// Whether `name` stands at `pos` in any ASCII letter case.
bool startsWithIgnoringCase(std::string_view text, std::size_t pos,
                            std::string_view name);

/// What findEntries finds: for each name, the entries whose option begins
/// with it in any letter case; and the default lines; each in text order.
struct Entries {
  std::vector<std::vector<Entry>> byName;
  std::vector<Entry> defaults;
  /// For each byte: whether a name may begin with it, in any letter case.
  std::array<bool, 256> mayBeginName{};

  /// Notes the entry where keyword k is spelled at `pos` after a "*", a "."
  /// or a line's "*Default", if it is one of those.
  void note(std::string_view text, std::span<const std::string_view> names,
            std::string_view keyword, std::size_t k, std::size_t pos);
};

/// One scan of the text, one search for each first letter of `keywords`:
/// the entries naming each of `names` after one of them, and the default
/// lines of each of them.
Entries findEntries(std::string_view text,
                    std::span<const std::string_view> keywords,
                    std::span<const std::string_view> names);

}  // namespace ppdtext
