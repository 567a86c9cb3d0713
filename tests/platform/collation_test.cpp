#include "platform/collation.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/scoped_env.h"

namespace zelfin {
namespace {

TEST(Collation, LocaleFromEnvironment) {
  test::ScopedEnv all("LC_ALL", "de_DE.UTF-8");
  EXPECT_EQ(UserCollationLocale(), "de_DE");
  {
    test::ScopedEnv none("LC_ALL", "");
    test::ScopedEnv coll("LC_COLLATE", "sv_SE@euro");
    EXPECT_EQ(UserCollationLocale(), "sv_SE");
    test::ScopedEnv c("LC_COLLATE", "C.UTF-8");
    test::ScopedEnv lang("LANG", "fr_FR");
    EXPECT_EQ(UserCollationLocale(), "");
  }
  test::ScopedEnv posix("LC_ALL", "POSIX");
  EXPECT_EQ(UserCollationLocale(), "");
}

TEST(Collation, EqualExactlyWhenLetterCaseAloneDiffers) {
  NameCollator c("");
  EXPECT_EQ(c.Compare("Wood", "WOOD"), 0);
  EXPECT_EQ(c.Compare("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"), 0);  // Été, éTÉ
  EXPECT_NE(c.Compare("wood", "wood2"), 0);
  EXPECT_NE(c.Compare("e", "\xC3\xA9"), 0);                 // accents matter
  EXPECT_NE(c.Compare("\xE3\x81\x8B", "\xE3\x82\xAB"), 0);  // hiragana ka, katakana ka
  EXPECT_NE(c.Compare("A", "\xEF\xBC\xA1"), 0);             // full-width A
  // Byte strings that are not UTF-8 never merge, with each other or with valid text.
  EXPECT_NE(c.Compare("caf\xE9", "caf\xE8"), 0);
  EXPECT_NE(c.Compare("caf\xE9", "caf\xEF\xBF\xBD"), 0);
  EXPECT_EQ(c.Compare("caf\xE9", "caf\xE9"), 0);
}

TEST(Collation, OrderFollowsTheLocaleAndIsTotal) {
  NameCollator root("");
  std::vector<std::string> names = {"red",   "Blue",  "apple", "\xC3\xA4pfel",
                                    "zebra", "x\xFF", "x\xFE", "x"};
  std::sort(names.begin(), names.end(),
            [&](const std::string& a, const std::string& b) { return root.Compare(a, b) < 0; });
  // Case does not split names apart; ä sorts as a in the root order.
  EXPECT_EQ(names[0], "\xC3\xA4pfel");
  EXPECT_EQ(names[1], "apple");
  EXPECT_EQ(names[2], "Blue");
  EXPECT_EQ(names[3], "red");
  for (size_t i = 0; i + 1 < names.size(); ++i) {
    EXPECT_LT(root.Compare(names[i], names[i + 1]), 0) << i;
  }
  // In Swedish, ä is a letter of its own after z.
  NameCollator sv("sv_SE");
  EXPECT_LT(sv.Compare("zebra", "\xC3\xA4pfel"), 0);
  EXPECT_GT(root.Compare("zebra", "\xC3\xA4pfel"), 0);
  // Sort keys agree with Compare.
  EXPECT_LT(root.SortKey("apple"), root.SortKey("Blue"));
  EXPECT_EQ(root.SortKey("BLUE"), root.SortKey("blue"));
}

}  // namespace
}  // namespace zelfin
