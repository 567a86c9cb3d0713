// cgal_gh: a peer of `zelfin-cli -m simplify --refined` on real models, as a
// whole program: CGAL's Garland-Heckbert edge collapse (plane quadrics,
// placement that refuses a collapse turning a face over), the way CGAL's own
// documentation sets it up. Built only where CMake finds CGAL.
//
//   cgal_gh IN.obj OUT.obj TRIANGLES
//
// Reads the v and f lines of IN.obj (polygons cut into fans) as a polygon
// soup, repairs and orients it into a surface mesh (CGAL duplicates the
// vertices of non-manifold places and drops degenerate faces), collapses
// edges until at most TRIANGLES faces remain, and writes the result's vertices
// (exactly, in the input's frame) and triangles as v and f lines. Exit status
// 1 on failure, 2 for bad usage.
#include <CGAL/Polygon_mesh_processing/orient_polygon_soup.h>
#include <CGAL/Polygon_mesh_processing/polygon_soup_to_polygon_mesh.h>
#include <CGAL/Polygon_mesh_processing/repair_polygon_soup.h>
#include <CGAL/Simple_cartesian.h>
#include <CGAL/Surface_mesh.h>
#include <CGAL/Surface_mesh_simplification/Policies/Edge_collapse/Bounded_normal_change_placement.h>
#include <CGAL/Surface_mesh_simplification/Policies/Edge_collapse/GarlandHeckbert_plane_policies.h>
#include <CGAL/Surface_mesh_simplification/edge_collapse.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/obj_reader.h"

namespace {

using Kernel = CGAL::Simple_cartesian<double>;
using Point = Kernel::Point_3;
using Mesh = CGAL::Surface_mesh<Point>;
namespace PMP = CGAL::Polygon_mesh_processing;
namespace SMS = CGAL::Surface_mesh_simplification;

// Stops once the mesh has no more than the target's faces (each collapse
// removes one face at a border, two elsewhere).
class FaceCountStop {
 public:
  FaceCountStop(const Mesh& mesh, size_t faces) : mesh_(mesh), faces_(faces) {}

  template <class Cost, class Profile>
  bool operator()(const Cost&, const Profile&, size_t, size_t) const {
    return mesh_.number_of_faces() <= faces_;
  }

 private:
  const Mesh& mesh_;
  size_t faces_;
};

bool ReadMesh(const char* path, Mesh& mesh, std::string& error) {
  zelfin::bench::ObjMesh<double> obj;
  if (!zelfin::bench::ReadObj(path, obj, error)) return false;
  std::vector<Point> points;
  for (size_t i = 0; i < obj.xyz.size(); i += 3) {
    points.emplace_back(obj.xyz[i], obj.xyz[i + 1], obj.xyz[i + 2]);
  }
  std::vector<std::array<size_t, 3>> faces;
  for (size_t i = 0; i < obj.tri.size(); i += 3) {
    faces.push_back({obj.tri[i], obj.tri[i + 1], obj.tri[i + 2]});
  }
  PMP::repair_polygon_soup(points, faces);
  PMP::orient_polygon_soup(points, faces);
  PMP::polygon_soup_to_polygon_mesh(points, faces, mesh);
  if (CGAL::is_empty(mesh)) error = std::string(path) + ": no faces left after repair";
  return error.empty();
}

void Simplify(Mesh& mesh, size_t triangles) {
  using Policies = SMS::GarlandHeckbert_plane_policies<Mesh, Kernel>;
  Policies policies(mesh);
  const SMS::Bounded_normal_change_placement<Policies::Get_placement> placement(
      policies.get_placement());
  SMS::edge_collapse(mesh, FaceCountStop(mesh, triangles),
                     CGAL::parameters::get_cost(policies.get_cost()).get_placement(placement));
  mesh.collect_garbage();
}

void Number(std::string& out, double x) {
  char digits[64];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, x).ptr);
}

bool Write(const Mesh& mesh, const char* path) {
  std::string text;
  for (Mesh::Vertex_index v : mesh.vertices()) {
    const Point& p = mesh.point(v);
    text += "v";
    for (int a = 0; a < 3; ++a) {
      text += ' ';
      Number(text, p[a]);
    }
    text += '\n';
  }
  for (Mesh::Face_index f : mesh.faces()) {
    text += "f";
    for (Mesh::Vertex_index v : mesh.vertices_around_face(mesh.halfedge(f))) {
      text += ' ' + std::to_string(static_cast<size_t>(v) + 1);
    }
    text += '\n';
  }
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  size_t triangles = 0;
  const char* count = argc == 4 ? argv[3] : "";
  const auto parsed = std::from_chars(count, count + std::strlen(count), triangles);
  if (argc != 4 || parsed.ec != std::errc() || *parsed.ptr != '\0' || triangles == 0) {
    std::fprintf(stderr, "usage: %s IN.obj OUT.obj TRIANGLES\n", argv[0]);
    return 2;
  }
  Mesh mesh;
  std::string error;
  if (!ReadMesh(argv[1], mesh, error)) {
    std::fprintf(stderr, "cgal_gh: %s\n", error.c_str());
    return 1;
  }
  Simplify(mesh, triangles);
  if (!Write(mesh, argv[2])) {
    std::fprintf(stderr, "cgal_gh: cannot write %s: %s\n", argv[2], std::strerror(errno));
    return 1;
  }
  return 0;
}
