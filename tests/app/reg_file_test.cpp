#include "app/reg_file.h"

#include <gtest/gtest.h>

#include "platform/errors.h"

namespace zelfin {
namespace {

constexpr std::string_view kKey = "HKEY_CURRENT_USER\\Software\\A";

RegValue Find(const RegFile& file, std::string_view name) {
  return FindRegValue(file, kKey, name);
}

TEST(RegFile, ReadsEachKindOfValue) {
  const RegFile file = ParseRegFile(
      "Windows Registry Editor Version 5.00\r\n"
      "[hkey_current_user\\software\\a]\r\n"
      "\"Text\"=\"a\\\\b\\\"c\\d\"\r\n"
      "\"Short\"=dword:aB\r\n"
      "\"Full\"=dword:FFFFFFFE\r\n"
      "\"Bin\"=hex:01,02,\\\r\n  03,04\r\n"
      "\"Wide\"=hex(1):41,00,0a,00,3d,d8,00,de,00,00\r\n"
      "@=\"default\"\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"gone\"=-\r\n"
      "\"Twice\"=\"first\"\r\n"
      "[HKEY_CURRENT_USER\\Software\\B]\r\n"
      "\"Twice\"=\"elsewhere\"\r\n"
      "[HKEY_CURRENT_USER\\Software\\A]\r\n"
      "\"TWICE\"=dword:2\r\n",
      "f.reg");
  EXPECT_EQ(Find(file, "text").kind, RegKind::Text);
  EXPECT_EQ(Find(file, "text").text, "a\\b\"c\\d");  // an unknown escape stays as it is
  EXPECT_EQ(Find(file, "Short").dword, 0xABu);
  EXPECT_EQ(Find(file, "Full").dword, 0xFFFFFFFEu);
  EXPECT_EQ(Find(file, "Bin").kind, RegKind::Other);
  EXPECT_EQ(Find(file, "Wide").text, "A\n\xf0\x9f\x98\x80");
  EXPECT_EQ(Find(file, "").text, "default");
  EXPECT_EQ(Find(file, "Gone").kind, RegKind::Missing);
  EXPECT_EQ(Find(file, "Nothing").kind, RegKind::Missing);
  EXPECT_EQ(Find(file, "Twice").kind, RegKind::Dword);  // the last line wins
  EXPECT_EQ(FindRegValue(file, "HKEY_CURRENT_USER\\Software\\B", "twice").text, "elsewhere");
}

TEST(RegFile, BrokenFilesNameTheFileAndLine) {
  const std::string head = "Windows Registry Editor Version 5.00\n[K]\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", "line 1 is not the header \"Windows Registry Editor Version 5.00\" (\"\")"},
      {"REGEDIT5\n", "line 1 is not the header"},
      {"REGEDIT4\n\"A\"=\"b\"\n", "line 2 is not a key (\"\"A\"=\"b\"\")"},
      {head + "[unclosed\n", "line 3 is not a key"},
      {head + "garbage\n", "line 3 is not a value (\"garbage\")"},
      {head + "\"A\"\n", "line 3 is not a value"},
      {head + "\"A\"=qword:1\n", "line 3 is not a value"},
      {head + "\"A\"=\"b\" c\n", "line 3 is not a value"},
      {head + "\"A\"=\"open\n\"B\"=\"x\"\n", "line 3 has an unterminated string"},
      {head + "\"A=1\n", "line 3 has an unterminated string"},
      {head + "\"A\"=dword:\n", "line 3 has a bad dword"},
      {head + "\"A\"=dword:123456789\n", "line 3 has a bad dword"},
      {head + "\"A\"=dword:12g4\n", "line 3 has a bad dword"},
      {head + "\"A\"=hex:1,zz\n", "line 3 has bad hex data"},
      {head + "\"A\"=hex:123\n", "line 3 has bad hex data"},
      {head + "\"A\"=hex(x):00\n", "line 3 is not a value"},
  };
  for (const auto& [text, expected] : cases) {
    try {
      ParseRegFile(text, "/c/ZELFIN.reg");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ZelfinError& e) {
      const std::string what = e.what();
      EXPECT_EQ(
          what.rfind("The settings file \"/c/ZELFIN.reg\" is not a registry file: " + expected, 0),
          0u)
          << what;
    }
  }
  const std::string long_line(100, 'x');
  try {
    ParseRegFile(head + long_line, "f");
  } catch (const ZelfinError& e) {
    EXPECT_NE(std::string(e.what()).find("(\"" + long_line.substr(0, 60) + "...\")"),
              std::string::npos);
  }
}

TEST(RegFile, UnchangedFileIsWrittenBackLineForLine) {
  const std::string text =
      "REGEDIT4  \n; comment\n\n[K]  \n  \"A\" = \"b\"\t\n@=-\n\"H\"=hex(2):41,\\\n   00,\\\n  "
      "00,\n\n"
      "\"T\"=hex:\n[Other]\r\"x\"=dword:0";
  const RegFile file = ParseRegFile(text, "f");
  std::string crlf;
  for (char c : text) crlf += c == '\n' || c == '\r' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(FormatRegFile(file), crlf + "\r\n");
  EXPECT_EQ(FindRegValue(file, "k", "a").text, "b");
}

TEST(RegFile, SetReplacesInPlaceOrAppendsAfterTheSectionsLastValue) {
  RegFile file = ParseRegFile(
      "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"bin\"=hex:01,\\\n  02\n; note\n\n[B]\n",
      "f");
  SetRegValue(file, kKey, "BIN", {RegKind::Dword, "", 0x1234});
  SetRegValue(file, kKey, "New", {RegKind::Text, "q\"\\", 0});
  SetRegValue(file, "HKEY_CURRENT_USER\\Software\\C", "N", {RegKind::Dword, "", 7});
  EXPECT_EQ(FormatRegFile(file),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n\"bin\"=dword:00001234\r\n"
            "\"New\"=\"q\\\"\\\\\"\r\n; note\r\n\r\n[B]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\C]\r\n\"N\"=dword:00000007\r\n");
  EXPECT_EQ(Find(ParseRegFile(FormatRegFile(file), "f"), "new").text, "q\"\\");

  // A file that ends inside a value's data: the value ends there, and what
  // is written after it stays a value of its own.
  file = ParseRegFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\A]\n\"bin\"=hex:01,02,\\ ", "f");
  SetRegValue(file, kKey, "N", {RegKind::Dword, "", 7});
  EXPECT_EQ(FormatRegFile(file),
            "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\A]\r\n\"bin\"=hex:01,02,\r\n"
            "\"N\"=dword:00000007\r\n");
  EXPECT_EQ(Find(ParseRegFile(FormatRegFile(file), "f"), "n").dword, 7u);
}

}  // namespace
}  // namespace zelfin
