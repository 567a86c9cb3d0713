#include "app/file_summary.h"

#include <charconv>
#include <cmath>

#include "platform/paths.h"

namespace zelfin {

namespace {

constexpr const char* kArrow = " \u2192 ";

std::string NameOf(const std::string& path) {
  return std::string(ExtractFileName(path));
}

std::string Seconds(double seconds) {
  char buf[32];
  const auto end = std::to_chars(buf, buf + sizeof buf, seconds, std::chars_format::fixed, 2).ptr;
  return " in " + std::string(buf, end) + " s";
}

std::string DeviationText(const SimplifyResult& s) {
  if (s.unmeasured) return "; deviation not measured (out of memory)";
  if (!s.deviation) return "";
  const Deviation& d = *s.deviation;
  const auto share = [&](double x) { return TwoDigits(d.diagonal > 0 ? 100 * x / d.diagonal : 0); };
  return "; deviation max " + share(d.max) + "%, mean " + share(d.mean) + "% of the size (max " +
         TwoDigits(d.max) + " units)";
}

std::string NothingWritten(const FileResult& result) {
  switch (result.mode) {
    case DivMode::kMaterial:
      return "no materials";
    case DivMode::kGroup:
      return "no groups";
    default:
      return "cancelled";
  }
}

}  // namespace

std::string GroupedThousands(int64_t n) {
  const std::string digits = std::to_string(n);
  const size_t sign = n < 0 ? 1 : 0;
  std::string out = digits.substr(0, sign);
  for (size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string TwoDigits(double x) {
  if (!(x > 0)) return "0";
  char buf[64];
  char* end;
  if (x >= 10) {
    end = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 0).ptr;
  } else {
    const int lead = static_cast<int>(std::floor(std::log10(x)));
    end = lead >= -6
              ? std::to_chars(buf, buf + sizeof buf, x, std::chars_format::fixed, 1 - lead).ptr
              : std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 1).ptr;
  }
  return std::string(buf, end);
}

std::string SummaryLine(const std::string& path, const FileResult& result) {
  if (result.written.empty()) return path + ": " + NothingWritten(result) + "; nothing written";
  std::string line = path + kArrow;
  line += result.written.size() == 1
              ? NameOf(result.written.front())
              : GroupedThousands(static_cast<int64_t>(result.written.size())) + " files";
  if (result.simplified) {
    const SimplifyResult& s = *result.simplified;
    line += ": " + GroupedThousands(s.triangles_in) + kArrow + GroupedThousands(s.triangles_out) +
            " triangles" + Seconds(result.seconds) + DeviationText(s);
  } else if (result.mode == DivMode::kGroupOption) {
    if (result.ticked == 0) return line + ": no group ticked (only the header line)";
    line += ": " + GroupedThousands(static_cast<int64_t>(result.ticked)) +
            (result.ticked == 1 ? " group" : " groups") + Seconds(result.seconds);
  } else {
    line += Seconds(result.seconds);
  }
  return line;
}

std::string ShortfallNotice(const std::string& path, const FileResult& result) {
  if (!result.simplified || !result.simplified->ShortOfTarget()) return "";
  const SimplifyResult& s = *result.simplified;
  return path + ": reached " + GroupedThousands(s.triangles_out) +
         (s.triangles_out == 1 ? " triangle, not " : " triangles, not ") +
         GroupedThousands(s.target) + ": " +
         (s.method == SimplifyMethod::kRefined ? "no further contraction keeps the surface sound"
                                               : "no edge is left to contract");
}

}  // namespace zelfin
