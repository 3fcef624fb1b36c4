// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/cli.h"

namespace {

TEST(CountryFromLocaleName, Territory) {
  struct Case {
    const char* name;
    const char* country;
  };
  const Case cases[] = {
      {"fr_FR.UTF-8", "FR"}, {"sr_RS@latin", "RS"}, {"de_de", "DE"},
      {"ja_JP", "JP"},       {"en_GB.ISO-8859-1@euro", "GB"},
      {"C", ""},             {"POSIX", ""},          {"C.UTF-8", ""},
      {"es_419", ""},        {"en_USA", ""},         {"en_U", ""},
      {"en_", ""},           {"", ""},               {"_FR", "FR"},
      {"de_1A", ""},         {"de_\xC3\x84X", ""},
      {"xx_FR\"\n*Evil: 1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cli::countryFromLocaleName(c.name), c.country);
  }
}

TEST(CountryFromEnvironment, FirstNonEmptyOfLcAllLcPaperLang) {
  struct Case {
    const char* lcAll;
    const char* lcPaper;
    const char* lang;
    const char* country;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", "fr_FR", "it_IT", "DE"},
      {"", "fr_FR", "it_IT", "FR"},
      {nullptr, nullptr, "it_IT", "IT"},
      {"C", "fr_FR", "it_IT", ""},
      {nullptr, nullptr, nullptr, ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.lcAll ? c.lcAll : "-") << " "
                                      << (c.lcPaper ? c.lcPaper : "-") << " "
                                      << (c.lang ? c.lang : "-"));
    const auto set = [](const char* name, const char* value) {
      value ? setenv(name, value, 1) : unsetenv(name);
    };
    set("LC_ALL", c.lcAll);
    set("LC_PAPER", c.lcPaper);
    set("LANG", c.lang);
    EXPECT_EQ(cli::countryFromEnvironment(), c.country);
  }
  unsetenv("LC_ALL");
  unsetenv("LC_PAPER");
  unsetenv("LANG");
}

}  // namespace
