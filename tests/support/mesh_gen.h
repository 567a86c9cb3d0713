#pragma once
// Generated test meshes: shapes as plain vertex and polygon arrays, and a
// writer that prints them as OBJ text in many dialects (index forms, negative
// indices, tabs and commas, welded copies, stray lines). Everything is a pure
// function of its seed: the random numbers come from our own splitmix64, and
// numbers are printed with std::to_chars, so the text is the same on every
// machine and library version.
#include <cstdint>
#include <string>
#include <vector>

namespace zelfin::gen {

// splitmix64.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  double Uniform();  // [0, 1), 53 random bits
  double Range(double lo, double hi);
  uint32_t Below(uint32_t n);  // [0, n), n > 0
  bool Chance(double p) { return Uniform() < p; }

 private:
  uint64_t state_;
};

// Positions (x, y, z per vertex) and polygons (corner counts and 0-based
// corner indices, concatenated).
struct GenMesh {
  std::vector<double> xyz;
  std::vector<uint8_t> face_size;
  std::vector<uint32_t> corners;

  size_t VertexCount() const { return xyz.size() / 3; }
  size_t FaceCount() const { return face_size.size(); }
  size_t TriangleCount() const;  // after fan triangulation
  uint32_t AddVertex(double x, double y, double z);
  void AddFace(std::initializer_list<uint32_t> c);
  void AddFace(const std::vector<uint32_t>& c);
};

// Shapes. "noise" is a random displacement relative to the shape's size.
// Flat grid of (nx x ny) quads cut into two triangles each, on integer
// coordinates in the plane z = 0: every pair costs zero, every choice is a tie.
GenMesh FlatGrid(uint64_t seed, int nx, int ny);
// Open height field over (nx x ny) quads; quads=true keeps the quads whole.
GenMesh HeightField(uint64_t seed, int nx, int ny, double noise, bool quads);
// Closed UV sphere. polygons=true gives quad bands and one polygon of
// `segments` corners at each pole (pentagons with segments = 5).
GenMesh UvSphere(uint64_t seed, int rings, int segments, double noise, bool polygons);
// Closed torus of (nu x nv) quads, as triangles or as quads.
GenMesh Torus(uint64_t seed, int nu, int nv, double noise, bool quads);
// A strip of exactly n triangles between two noisy rows.
GenMesh TriangleStrip(uint64_t seed, int n);
// Adds `count` fins: a new triangle on an existing edge, so that edge is
// shared by three or more triangles.
void AddFins(GenMesh& mesh, uint64_t seed, int count);
// Scales about the origin, then moves.
void Transform(GenMesh& mesh, double scale, double dx, double dy, double dz);

// How WriteObj prints a mesh.
struct ObjStyle {
  // 0 "7", 1 "7/3", 2 "7//2", 3 "7/3/2", 4 a random mix of the four.
  int corner_form = 0;
  double relative_share = 0;         // references written as negative indices
  bool messy_blanks = false;         // tabs, blank runs, leading/trailing blanks, mixed line ends
  bool decimal_commas = false;       // "1,5" for 1.5
  bool per_corner_vertices = false;  // each face corner gets its own vertex line, just before it
  double duplicate_share = 0;        // vertices written twice, faces picking either copy
  bool jitter_duplicates = false;    // copies moved by up to 1.5e-8 of the half-extent per axis
  bool stray_lines = false;          // vt, vn, g, usemtl, comments, "V ..." lines, short faces
  double repeat_share = 0;           // faces given twice
  double collapsed_share = 0;        // extra triangles with a repeated corner
  bool extra_coordinates = false;    // "v x y z w" now and then
};

// The mesh as OBJ text. The vertex lines hold the same points in the same
// order (plus copies); the faces are the mesh's faces in order (plus extras).
std::string WriteObj(const GenMesh& mesh, const ObjStyle& style, uint64_t seed);

// Plain "v x y z" and "f a b c" lines with LF ends: the fast writer for big meshes.
std::string PlainObj(const GenMesh& mesh);

// A closed noisy torus of about `triangles` triangles (at least 2 x 3 x 3),
// built straight into arrays: the benchmark's input.
GenMesh LargeClosedMesh(uint64_t seed, int64_t triangles);

// A closed sphere of about `triangles` triangles (12 n^2: a cube's faces cut
// into n x n grids and pushed out onto the sphere) with smooth bumps of three
// sizes and a little noise: a stand-in for a scanned object, whose detail a
// simplification can keep or lose measurably.
GenMesh BumpySphere(uint64_t seed, int64_t triangles);

// A named generated OBJ text: the differential tests' catalogue.
struct GenCase {
  std::string name;
  std::string text;
};
// About `count` cases of 50..600 triangles, mixing every shape and dialect.
std::vector<GenCase> DifferentialCases(int count);

// A mesh with texture coordinates, normals and materials. Positions, texture
// coordinates and normals are numbered apart, and each triangle corner names
// one of each, as OBJ's "v/vt/vn" corners do.
struct TexturedMesh {
  std::vector<double> xyz;             // x, y, z per position
  std::vector<double> uv;              // u, v per texture coordinate
  std::vector<double> normal;          // x, y, z per normal
  std::vector<uint32_t> v, vt, vn;     // 0-based, per triangle corner; vt, vn may be empty
  std::vector<uint32_t> material;      // per triangle, a number in materials
  std::vector<std::string> materials;  // names

  size_t TriangleCount() const { return v.size() / 3; }
};

// BumpySphere's surface (the same bumps for the same seed, without its noise)
// of about `triangles` triangles (12 n^2, n even), textured as an artist's
// model would be:
// - two UV islands, the hemispheres z >= 0 and z <= 0, each a disk of radius
//   0.24 (Lambert's equal-area map from its pole) about (0.25, 0.5) for the
//   north and (0.75, 0.5) for the south, mirrored so that neither looks
//   mirrored from outside. The equator runs along mesh edges, and each of its
//   vertices is one position with two texture coordinates: the UV seam.
// - the smooth surface's own unit normal at every position, one per position.
// - materials "clay" (x <= 0) and "slate" (x >= 0), split along mesh edges on
//   the great circle x = 0, which crosses the seam twice.
// Positions are numbered as BumpySphere's vertices; texture coordinates and
// normals in the order the triangles (all clay ones first) first use them, as
// exporters number them, so that their numbers differ from the positions'.
TexturedMesh TexturedSphere(uint64_t seed, int64_t triangles);

// OBJ text: "mtllib <mtllib>" (none when empty), the v, vt and vn lines,
// "g sphere", then each run of triangles of one material after its "usemtl"
// line, with "v/vt/vn" corners ("v//vn", "v/vt" or "v" when the mesh has no
// texture coordinates or normals). Every position, texture coordinate and
// normal is written once.
std::string TexturedObj(const TexturedMesh& mesh, const std::string& mtllib);

// The material library for it: per material a newmtl, a diffuse colour and
// "map_Kd <name>.png".
std::string TexturedMtl(const TexturedMesh& mesh);

}  // namespace zelfin::gen
