#pragma once
// The order and equality of material and group names: an ICU collator of the
// user's locale applied to case-folded names, at identical strength. Two names
// are equal exactly when they differ in letter case alone.
#include <memory>
#include <string>
#include <string_view>

namespace zelfin {

// The locale of the user's collation: the first set of LC_ALL, LC_COLLATE,
// LANG, without its ".codeset" and "@modifier"; "" (the root locale) for C,
// POSIX or when none is set.
std::string UserCollationLocale();

class NameCollator {
 public:
  // locale: an ICU/POSIX locale name such as "de_DE"; "" for the root locale.
  explicit NameCollator(const std::string& locale);
  ~NameCollator();
  NameCollator(const NameCollator&) = delete;
  NameCollator& operator=(const NameCollator&) = delete;

  // A byte string whose plain byte order (std::string::compare) is the names'
  // order, and which is equal for two names exactly when they are equal.
  // Names that are not valid UTF-8 never equal any other byte string.
  std::string SortKey(std::string_view name) const;

  // <0, 0, >0 as SortKey(a) compares with SortKey(b).
  int Compare(std::string_view a, std::string_view b) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zelfin
