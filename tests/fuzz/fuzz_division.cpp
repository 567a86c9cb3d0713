// The division reader and writers on arbitrary bytes: every mode either
// raises a ZelfinError or writes files that hold exactly the faces of their
// names, every corner naming a v, vt or vn line of the same file, and no
// file lands anywhere but the output folder.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "division/divide_file.h"
#include "division/obj_model.h"
#include "division/selected_groups.h"
#include "fuzz/fuzz_util.h"
#include "platform/errors.h"
#include "platform/heartbeat.h"
#include "platform/text_file.h"
#include "support/model_faces.h"

namespace {

using zelfin::fuzz::Check;

std::string g_root, g_input, g_out;

// The output written for a set of names: header, then the v, vt and vn lines
// (in that order), then per name its keyword line and its faces. Returns the
// face lines per keyword line.
std::vector<size_t> CheckOutputFile(const std::string& path, const std::string& header,
                                    std::string_view keyword) {
  const std::string text = zelfin::fuzz::ReadFile(path);
  const std::vector<std::string_view> lines = zelfin::fuzz::CrLfLines(text, path);
  Check(!lines.empty() && lines[0] == header, path + ": header line missing");
  int64_t count[3] = {0, 0, 0};
  int last_kind = 0;
  std::vector<size_t> faces_per_name;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::string where = path + " line " + std::to_string(i + 1);
    int kind = -1;
    if (line.starts_with("v ")) kind = 0;
    if (line.starts_with("vt ")) kind = 1;
    if (line.starts_with("vn ")) kind = 2;
    if (kind >= 0) {
      Check(faces_per_name.empty() && kind >= last_kind, where + ": element line out of place");
      last_kind = kind;
      ++count[kind];
      continue;
    }
    if (line.starts_with(keyword)) {
      faces_per_name.push_back(0);
      continue;
    }
    Check(line == "f" || line.starts_with("f "), where + ": unexpected line");
    Check(!faces_per_name.empty(), where + ": face before its name line");
    ++faces_per_name.back();
    // Corners: " " then up to three parts joined by "/", each empty or a
    // number of a line of that kind in this file.
    size_t pos = 1;
    while (pos < line.size()) {
      Check(line[pos] == ' ', where + ": corners not separated by one space");
      size_t end = line.find(' ', pos + 1);
      if (end == std::string_view::npos) end = line.size();
      const std::string_view corner = line.substr(pos + 1, end - pos - 1);
      int part = 0;
      size_t start = 0;
      for (;;) {
        Check(part < 3, where + ": more than three parts in a corner");
        const size_t slash = corner.find('/', start);
        const std::string_view piece =
            corner.substr(start, slash == std::string_view::npos ? corner.npos : slash - start);
        if (!piece.empty()) {
          const int64_t n = zelfin::fuzz::ParseCount(piece);
          Check(n >= 1 && n <= count[part],
                where + ": corner " + std::string(corner) + " names a line the file lacks");
        }
        if (slash == std::string_view::npos) break;
        start = slash + 1;
        ++part;
      }
      pos = end;
    }
  }
  return faces_per_name;
}

// Every entry of the output folder is a regular file of an expected name; the
// scratch root holds nothing but the input and output folders.
std::vector<std::string> CheckFolder(const std::set<std::string>& expected) {
  std::vector<std::string> names = zelfin::test::FolderNames(g_out);
  for (const std::string& name : names) {
    Check(expected.count(name) == 1, "unexpected file in the output folder: " + name);
    Check(zelfin::fuzz::IsRegularFile(g_out + "/" + name), name + " is not a regular file");
  }
  Check(zelfin::test::FolderNames(g_root).size() == 2, "something was written beside the folder");
  Check(zelfin::test::FolderNames(g_root + "/in").size() == 1,
        "something was written beside the input");
  return names;
}

// The same division keeping materials writes the same files with mtllib lines
// and (by group) usemtl lines added, and nothing else changed.
void CheckKeptMaterials(int32_t DivIndex, bool failed, const std::vector<std::string>& written) {
  std::vector<std::string> plain;
  for (const std::string& file : written)
    plain.push_back(zelfin::fuzz::ReadFile(g_out + "/" + file));
  zelfin::fuzz::EmptyFolder(g_out);
  bool kept_failed = false;
  try {
    zelfin::SilentProgress silent;
    zelfin::DivideFile(g_input, g_out + "/", DivIndex, silent, true);
  } catch (const zelfin::ZelfinError&) {
    kept_failed = true;
  }
  Check(kept_failed == failed, "keeping materials changed whether the division fails");
  Check(zelfin::test::FolderNames(g_out) == written, "keeping materials wrote other files");
  for (size_t i = 0; i < written.size(); ++i) {
    const std::string text = zelfin::fuzz::ReadFile(g_out + "/" + written[i]);
    std::string without;
    for (const std::string_view line : zelfin::fuzz::CrLfLines(text, written[i])) {
      if (line.starts_with("mtllib ")) continue;
      if (DivIndex != zelfin::kDivMaterial && line.starts_with("usemtl ")) continue;
      without.append(line);
      without.append("\r\n");
    }
    Check(without == plain[i], written[i] + ": keeping materials changed more than its lines");
  }
  zelfin::fuzz::EmptyFolder(g_out);
}

void DivideByNames(int32_t DivIndex) {
  zelfin::ObjModel model;
  try {
    model = zelfin::LoadOBJ(g_input, DivIndex);
  } catch (const zelfin::ZelfinError&) {
    bool raised = false;
    try {
      zelfin::DivideFile(g_input, g_out + "/", DivIndex);
    } catch (const zelfin::ZelfinError&) {
      raised = true;
    }
    Check(raised, "the division accepted a file its reader refused");
    Check(zelfin::test::FolderNames(g_out).empty(), "a refused file left output");
    return;
  }
  std::set<std::string> expected;
  for (const std::string& name : model.ElementNames) expected.insert("m_" + name + ".obj");
  bool failed = false;
  try {
    zelfin::DivideFile(g_input, g_out + "/", DivIndex);
  } catch (const zelfin::ZelfinError&) {
    failed = true;  // an unsafe or overlong name: the files before it stand
  }
  const std::vector<std::string> written = CheckFolder(expected);
  if (!failed) Check(written.size() == expected.size(), "a name got no file");
  const std::string_view keyword = DivIndex == zelfin::kDivMaterial ? "usemtl " : "g ";
  for (size_t i = 0; i < model.ElementNames.size(); ++i) {
    const std::string file = "m_" + model.ElementNames[i] + ".obj";
    const std::string path = g_out + "/" + file;
    if (!zelfin::fuzz::IsRegularFile(path)) continue;
    const std::vector<size_t> faces = CheckOutputFile(path, "#m_" + model.ElementNames[i], keyword);
    Check(faces.size() == 1 && faces[0] == zelfin::test::FacesOf(model, i).size(),
          file + ": faces lost or added");
  }
  CheckKeptMaterials(DivIndex, failed, written);
}

void WriteSelected(uint8_t mask) {
  std::vector<size_t> ticked_faces;
  const zelfin::GroupChooser chooser = [&](const std::vector<std::string>& names,
                                           std::vector<bool>& selection) {
    Check(selection.size() == names.size(), "selection and names differ in size");
    for (size_t i = 0; i < names.size(); ++i) selection[i] = (mask >> (i % 8)) & 1;
    return true;
  };
  zelfin::ObjModel model;
  try {
    model = zelfin::LoadOBJ(g_input, zelfin::kDivGroupOption);
  } catch (const zelfin::ZelfinError&) {
  }
  for (size_t i = 0; i < model.ElementNames.size(); ++i) {
    if ((mask >> (i % 8)) & 1) ticked_faces.push_back(zelfin::test::FacesOf(model, i).size());
  }
  bool failed = false;
  try {
    zelfin::WriteSelectedGroups(g_input, g_out + "/", chooser);
  } catch (const zelfin::ZelfinError&) {
    failed = true;
  }
  const std::vector<std::string> written = CheckFolder({"m_Selected.obj"});
  if (failed) {
    Check(written.empty(), "a failed selection wrote a file");
    return;
  }
  Check(written.size() == 1, "the selection wrote no file");
  const std::vector<size_t> faces = CheckOutputFile(g_out + "/m_Selected.obj", "#m_Selected", "g ");
  Check(faces == ticked_faces, "m_Selected.obj: faces lost or added");
  zelfin::fuzz::EmptyFolder(g_out);
}

// The text read in two pieces, cut where the input's second byte says, gives
// the model (or the error) of the text read whole.
void CompareCutModel(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const zelfin::NameCollator collator("");
  zelfin::SilentProgress silent;
  zelfin::Heartbeat heartbeat(silent);
  const auto parse = [&](size_t cut, zelfin::ObjModel& model) -> std::string {
    try {
      model = zelfin::ParseOBJ(zelfin::FileText::FromString(text), zelfin::kDivMaterial, collator,
                               "m.obj", heartbeat, cut);
    } catch (const zelfin::ZelfinError& e) {
      return e.what();
    }
    return "";
  };
  zelfin::ObjModel whole, cut;
  const std::string whole_error = parse(0, whole);
  const size_t at = size > 1 ? 1 + data[1] * size / 256 : 0;
  Check(parse(at, cut) == whole_error, "a cut text gives another error");
  Check(cut.VLines == whole.VLines && cut.VTLines == whole.VTLines && cut.VNLines == whole.VNLines,
        "a cut text gives other element lines");
  Check(cut.ElementNames == whole.ElementNames, "a cut text gives other names");
  for (uint32_t i = 0; i < whole.ElementNames.size(); ++i) {
    Check(zelfin::test::FacesOf(cut, i) == zelfin::test::FacesOf(whole, i),
          "a cut text gives other faces");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("LC_ALL", "C", 1);
  g_root = zelfin::fuzz::MakeScratchFolder("fuzz-division");
  zelfin::fuzz::MakeFolder(g_root + "/in");
  zelfin::fuzz::MakeFolder(g_root + "/out");
  g_input = g_root + "/in/m.obj";
  g_out = g_root + "/out";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zelfin::fuzz::WriteFile(g_input, data, size);
  DivideByNames(zelfin::kDivMaterial);
  DivideByNames(zelfin::kDivGroup);
  WriteSelected(size > 0 ? data[0] : 0);
  CompareCutModel(data, size);
  return 0;
}
