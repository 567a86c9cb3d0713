#include "platform/collation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <vector>

#include "platform/errors.h"

namespace zelfin {

std::string UserCollationLocale() {
  const char* value = nullptr;
  for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) {
      value = v;
      break;
    }
  }
  if (!value) return "";
  std::string locale(value);
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale == "C" || locale == "POSIX") return "";
  return locale;
}

struct NameCollator::Impl {
  UCollator* collator = nullptr;
};

NameCollator::NameCollator(const std::string& locale) : impl_(std::make_unique<Impl>()) {
  UErrorCode status = U_ZERO_ERROR;
  impl_->collator = ucol_open(locale.c_str(), &status);
  if (U_FAILURE(status)) {
    // An unknown locale name falls back to the root order rather than failing the run.
    status = U_ZERO_ERROR;
    impl_->collator = ucol_open("", &status);
  }
  if (U_FAILURE(status) || !impl_->collator) {
    throw ZelfinError(std::string("Cannot set up the name collation: ") + u_errorName(status));
  }
  ucol_setStrength(impl_->collator, UCOL_IDENTICAL);
}

NameCollator::~NameCollator() {
  if (impl_ && impl_->collator) ucol_close(impl_->collator);
}

std::string NameCollator::SortKey(std::string_view name) const {
  // To UTF-16; ill-formed input is kept apart below, after the collation part.
  std::vector<UChar> utf16(name.size() + 1);
  int32_t len = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(utf16.data(), static_cast<int32_t>(utf16.size()), &len, name.data(),
                static_cast<int32_t>(name.size()), &status);
  const bool valid = U_SUCCESS(status);
  if (!valid) {
    status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(utf16.data(), static_cast<int32_t>(utf16.size()), &len, name.data(),
                         static_cast<int32_t>(name.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) len = 0;
  }

  // Case folding can lengthen a string (German sharp s folds to "ss").
  std::vector<UChar> folded(static_cast<size_t>(len) * 3 + 1);
  status = U_ZERO_ERROR;
  int32_t folded_len = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()),
                                     utf16.data(), len, U_FOLD_CASE_DEFAULT, &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    folded.resize(static_cast<size_t>(folded_len) + 1);
    status = U_ZERO_ERROR;
    folded_len = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()), utf16.data(),
                               len, U_FOLD_CASE_DEFAULT, &status);
  }
  if (U_FAILURE(status)) {
    throw ZelfinError(std::string("Cannot fold the letter case of a name: ") + u_errorName(status));
  }

  std::string key(static_cast<size_t>(folded_len) * 4 + 16, '\0');
  int32_t key_len =
      ucol_getSortKey(impl_->collator, folded.data(), folded_len,
                      reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
  if (key_len > static_cast<int32_t>(key.size())) {
    key.resize(static_cast<size_t>(key_len));
    key_len =
        ucol_getSortKey(impl_->collator, folded.data(), folded_len,
                        reinterpret_cast<uint8_t*>(key.data()), static_cast<int32_t>(key.size()));
  }
  key.resize(static_cast<size_t>(key_len));  // ends in its 0 terminator, holds no other 0
  if (!valid) {
    // A byte string that is not UTF-8 equals no other byte string: it sorts
    // right after the valid names of its collation class, by its bytes.
    key += '\x01';
    key.append(name);
  }
  return key;
}

int NameCollator::Compare(std::string_view a, std::string_view b) const {
  return SortKey(a).compare(SortKey(b));
}

}  // namespace zelfin
