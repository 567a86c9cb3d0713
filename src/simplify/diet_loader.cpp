// The loader reads the text in two passes. The first reads every vertex and
// face line into flat arrays, pieces of the file on two threads; the second,
// in file order, normalises the vertices, welds them (on two threads) and
// cuts the faces into triangles. Errors are raised in the order in which one
// pass after another over the lines would meet them: first the counts, then
// the first vertex line that cannot be read, then what normalising and the
// faces meet.
#include "simplify/diet_loader.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/beside.h"
#include "platform/errors.h"
#include "platform/heartbeat.h"
#include "platform/huge_pages.h"
#include "platform/numbers.h"
#include "platform/obj_lexer.h"
#include "platform/text_file.h"
#include "simplify/diet_geometry.h"
#include "simplify/diet_point_grid.h"

namespace zelfin {

namespace {

constexpr int64_t kMaxIndex = std::numeric_limits<int32_t>::max();

enum class LineKind { kOther, kVertex, kFace };

// A trimmed line is a vertex or face line by the keyword rule.
LineKind KindOf(std::string_view line) {
  if (IsKeywordLine(line, "v")) return LineKind::kVertex;
  if (IsKeywordLine(line, "f")) return LineKind::kFace;
  return LineKind::kOther;
}

// Calls fn(kind, trimmed line, offset of the line's start) for every line of
// text[begin, end).
template <class Fn>
void ForEachKindOfLine(std::string_view text, size_t begin, size_t end, Fn&& fn) {
  ForEachLine(text.substr(begin, end - begin), [&](std::string_view raw) {
    const std::string_view line = TrimObjLine(raw);
    fn(KindOf(line), line, static_cast<size_t>(raw.data() - text.data()));
  });
}

// The number (from 1) of the line that starts at offset; only errors need it.
int64_t LineNumberAt(std::string_view text, size_t offset) {
  int64_t line_no = 1;
  ForEachLine(text.substr(0, offset), [&](std::string_view) { ++line_no; });
  return line_no;
}

// A face reference as stored: the number as written when it fits, kNoVertex
// for one that names nothing (0, or not a number), kFarAway for one beyond
// 32 bits, which names no vertex read before any line.
constexpr int32_t kNoVertex = 0;
constexpr int32_t kFarAway = std::numeric_limits<int32_t>::min();

// A comma in the token (read as a period on v lines) is no digit either way:
// the token is read as it stands.
int32_t StoredReference(std::string_view token) {
  int64_t a = 0;
  if (!ReadVertexReference(token, a)) return kNoVertex;
  if (a > kMaxIndex || a < -kMaxIndex) return kFarAway;
  return static_cast<int32_t>(a);
}

// Appends without ever moving what it holds: in chunks, so that growing a
// table of hundreds of megabytes neither copies it nor holds the window while
// a doubled table comes into being.
template <class T>
class Chunked {
 public:
  // Room for n more elements, all in one chunk.
  T* Extend(size_t n) {
    if (chunks_.empty() || chunks_.back().size() + n > chunks_.back().capacity()) {
      // Each chunk as large as those before it together, up to a bound: a
      // small file stays small, and a large one comes in chunks that are
      // worth huge pages.
      chunks_.emplace_back();
      ReserveHuge(chunks_.back(), std::max({kFirstChunk, n, std::min(size_, kLargestChunk)}));
    }
    std::vector<T>& chunk = chunks_.back();
    chunk.resize(chunk.size() + n);
    size_ += n;
    return chunk.data() + chunk.size() - n;
  }
  void push_back(const T& value) { *Extend(1) = value; }
  size_t size() const { return size_; }
  const std::vector<std::vector<T>>& chunks() const { return chunks_; }

 private:
  static constexpr size_t kFirstChunk = size_t{1} << 18;
  static constexpr size_t kLargestChunk = (size_t{64} << 20) / sizeof(T);
  std::vector<std::vector<T>> chunks_;
  size_t size_ = 0;
};

// What the first pass reads from one piece of the text.
struct PieceRead {
  size_t begin = 0, end = 0;
  AttributeReader* attributes = nullptr;  // the other lines and the faces' vt and vn
  Chunked<TDietVec> coords;               // the vertex lines' coordinates, in order
  double mn[3] = {0, 0, 0}, mx[3] = {0, 0, 0};
  // Per face line of three or more references: the count n, the number of
  // this piece's vertex lines before it, then the n stored references; each
  // line's words in one chunk.
  Chunked<int32_t> faces;
  int64_t vertex_lines = 0;
  int64_t face_lines = 0;             // those stored in faces
  int64_t triangles = 0;              // the fans' triangles, at most
  int64_t bad_offset = -1;            // the first vertex line that cannot be read
  size_t bad_tokens = 0;              // its token count
  bool precision = false;             // note how precisely each vertex line is written
  Chunked<LinePrecision> precisions;  // then per vertex line, in order
};

void ReadVertexLine(size_t offset, const std::vector<std::string_view>& tokens, PieceRead& piece) {
  double c[3] = {0, 0, 0};
  CoordinateRead read[3] = {};
  WrittenPrecision written[3];
  bool readable = tokens.size() >= 4;
  for (int a = 0; readable && a < 3; ++a) {
    read[a] = ReadCleanCoordinate(tokens[1 + a], c[a], piece.precision ? &written[a] : nullptr);
    readable = read[a] != CoordinateRead::kOverflow;
  }
  if (!readable) {
    piece.bad_offset = static_cast<int64_t>(offset);
    piece.bad_tokens = tokens.size();
    return;
  }
  for (int a = 0; a < 3; ++a) {
    if (piece.vertex_lines == 0) {
      piece.mn[a] = piece.mx[a] = c[a];
    } else {
      if (c[a] < piece.mn[a]) piece.mn[a] = c[a];
      if (c[a] > piece.mx[a]) piece.mx[a] = c[a];
    }
  }
  piece.coords.push_back({c[0], c[1], c[2]});
  ++piece.vertex_lines;
  if (!piece.precision) return;
  int decimals = 0, digits = 0;
  for (int a = 0; a < 3; ++a) {
    // What does not read as a number says its precision by PrecisionOf's rules.
    const WrittenPrecision p =
        read[a] == CoordinateRead::kNumber ? written[a] : PrecisionOf(tokens[1 + a]);
    decimals = std::max(decimals, p.decimals);
    digits = std::max(digits, p.digits);
  }
  piece.precisions.push_back(
      {static_cast<uint8_t>(std::min(decimals, 255)), static_cast<uint8_t>(std::min(digits, 255))});
}

void ReadFaceLine(const std::vector<std::string_view>& tokens, PieceRead& piece) {
  const size_t n = tokens.size() - 1;
  if (n < 3) return;  // adds nothing, stores nothing
  int32_t* words = piece.faces.Extend(2 + n);
  words[0] = static_cast<int32_t>(n);
  words[1] = static_cast<int32_t>(piece.vertex_lines);
  for (size_t r = 1; r <= n; ++r) words[1 + r] = StoredReference(tokens[r]);
  ++piece.face_lines;
  piece.triangles += static_cast<int64_t>(n) - 2;
}

// The first pass over one piece. It stops at the first vertex line that
// cannot be read: nothing after it can change the error.
void ReadPiece(std::string_view text, PieceRead& piece, Heartbeat& heartbeat) {
  std::vector<std::string_view> tokens;
  std::string scratch;
  ForEachKindOfLine(text, piece.begin, piece.end,
                    [&](LineKind kind, std::string_view line, size_t at) {
                      heartbeat.Beat();
                      if (piece.bad_offset >= 0) return;
                      if (kind == LineKind::kOther) {
                        if (piece.attributes) piece.attributes->Line(line);
                        return;
                      }
                      SplitObjTokens(line, tokens, scratch);
                      if (kind == LineKind::kVertex) {
                        ReadVertexLine(at, tokens, piece);
                      } else {
                        ReadFaceLine(tokens, piece);
                        if (piece.attributes && tokens.size() >= 4) piece.attributes->Face(tokens);
                      }
                    });
}

// The pieces: lines of the text, in order, the first pass over each made on
// either of two threads, whichever is free. Pieces of one kind of line read
// faster than others (a vertex line costs less per byte than a face line),
// and most files hold their vertex lines first: with two halves, one thread
// waited for the other for a sixth (10M triangles) to a third (1M) of the pass.
std::vector<PieceRead> PiecesOf(std::string_view text, bool precision) {
  constexpr size_t kWorthAThread = size_t{1} << 20, kPieceBytes = size_t{8} << 20;
  constexpr size_t kMostPieces = 8;
  const size_t n = text.size() < kWorthAThread
                       ? 1
                       : std::clamp<size_t>(text.size() / kPieceBytes, 2, kMostPieces);
  std::vector<PieceRead> pieces(n);
  for (size_t i = 0; i < n; ++i) {
    pieces[i].begin = i == 0 ? 0 : pieces[i - 1].end;
    pieces[i].end = i + 1 == n ? text.size() : LineStartFrom(text, text.size() / n * (i + 1));
    pieces[i].end = std::max(pieces[i].end, pieces[i].begin);
    pieces[i].precision = precision;
  }
  return pieces;
}

// Each later piece's attributes (the material and group in force, the count
// of vt and vn lines before a face) take what the pieces before it leave in
// force when they are joined, in order.
void ReadPieces(std::string_view text, std::vector<PieceRead>& pieces, ProgressSink& progress,
                AttributeReader* attributes) {
  Heartbeat heartbeat(progress);
  pieces[0].attributes = attributes;
  if (pieces.size() == 1) return ReadPiece(text, pieces[0], heartbeat);
  std::vector<AttributeReader> later(attributes ? pieces.size() - 1 : 0);
  for (size_t i = 0; i < later.size(); ++i) {
    later[i].StartLater();
    pieces[i + 1].attributes = &later[i];
  }
  std::atomic<size_t> next{0};
  const auto take = [&](const Lane& lane) {
    for (size_t i = next++; i < pieces.size(); i = next++)
      ReadPiece(text, pieces[i], lane.heartbeat);
  };
  RunBeside(heartbeat, take, take);
  for (AttributeReader& reader : later) attributes->Join(std::move(reader));
}

std::string Where(int64_t line_no, const std::string& path) {
  return " on line " + std::to_string(line_no) + " of " + Quoted(path);
}

[[noreturn]] void RaiseOverflow() {
  throw ZelfinError("Floating point overflow");
}

// The counts, then the first vertex line that cannot be read, in file order.
int64_t Triangles(const std::vector<PieceRead>& pieces) {
  int64_t n = 0;
  for (const PieceRead& piece : pieces) n += piece.triangles;
  return n;
}

size_t VertexCount(const std::vector<PieceRead>& pieces) {
  size_t n = 0;
  for (const PieceRead& piece : pieces) n += piece.coords.size();
  return n;
}

void CheckFirstPass(std::string_view text, const std::vector<PieceRead>& pieces,
                    const std::string& path) {
  int64_t vertices = 0;
  for (const PieceRead& piece : pieces) vertices += piece.vertex_lines;
  const int64_t triangles = Triangles(pieces);
  if (vertices > kMaxIndex || triangles > kMaxIndex) {
    throw ZelfinError("The file " + Quoted(path) +
                      " holds more vertices or triangles than can be simplified");
  }
  for (const PieceRead& piece : pieces) {
    if (piece.bad_offset < 0) continue;
    const int64_t line_no = LineNumberAt(text, static_cast<size_t>(piece.bad_offset));
    if (piece.bad_tokens < 4) {
      throw ZelfinError("List index out of bounds (" + std::to_string(piece.bad_tokens) + ")" +
                        Where(line_no, path));
    }
    throw ZelfinError("Floating point overflow" + Where(line_no, path));
  }
}

// The offsets and scale that map the box of all vertex lines into [-1, 1].
// Each piece's box joins the box of those before it with the same strict
// comparisons, so it is the box of one pass in file order.
Normalisation NormalisationOf(const std::vector<PieceRead>& pieces) {
  double mn[3] = {0, 0, 0}, mx[3] = {0, 0, 0};
  bool any = false;
  for (const PieceRead& piece : pieces) {
    if (piece.vertex_lines == 0) continue;
    for (int a = 0; a < 3; ++a) {
      if (!any || piece.mn[a] < mn[a]) mn[a] = piece.mn[a];
      if (!any || piece.mx[a] > mx[a]) mx[a] = piece.mx[a];
    }
    any = true;
  }
  Normalisation n;
  double h[3];
  for (int a = 0; a < 3; ++a) {
    const double extent = mx[a] - mn[a];
    if (!std::isfinite(extent)) RaiseOverflow();
    h[a] = extent / 2;
  }
  n.s = h[0];
  if (h[1] > n.s) n.s = h[1];
  if (h[2] > n.s) n.s = h[2];
  for (int a = 0; a < 3; ++a) {
    // The offset is half the missing extent, so shorter axes are not centred.
    n.m[a] = mn[a] - (n.s - h[a]) / 2;
    if (!std::isfinite(n.m[a])) RaiseOverflow();
  }
  return n;
}

// The vertex lines in normalised coordinates. Returns how many could be
// normalised: all of them, or the index of the first whose error ends the
// load once no face error comes before it in the file.
int64_t Normalise(const std::vector<PieceRead>& pieces, const Normalisation& norm, DietRun& run,
                  Heartbeat& heartbeat) {
  // All points at one place: every normalisation would be 0 / 0.
  if (norm.s == 0) return 0;
  for (const PieceRead& piece : pieces) {
    for (const std::vector<TDietVec>& chunk : piece.coords.chunks()) {
      for (const TDietVec& c : chunk) {
        double p[3] = {c.X, c.Y, c.Z};
        for (int a = 0; a < 3; ++a) {
          if (!std::isfinite(p[a] - norm.m[a])) return static_cast<int64_t>(run.pos.size());
          p[a] = Normalised(norm, a, p[a]);
        }
        run.pos.push_back({p[0], p[1], p[2]});
      }
      heartbeat.Beat(static_cast<int64_t>(chunk.size()));
    }
  }
  return static_cast<int64_t>(run.pos.size());
}

[[noreturn]] void RaiseVertexError(const Normalisation& norm) {
  if (norm.s == 0) throw ZelfinError("Invalid floating point operation");
  RaiseOverflow();
}

// The face-th stored face line (three or more corners), found again in the
// text for a message: fn(its line number, its tokens).
template <class Fn>
[[noreturn]] void RaiseAtFace(std::string_view text, int64_t face, Fn&& fn) {
  std::vector<std::string_view> tokens;
  std::string scratch;
  int64_t seen = 0;
  ForEachKindOfLine(text, 0, text.size(), [&](LineKind kind, std::string_view line, size_t at) {
    if (kind != LineKind::kFace) return;
    SplitObjTokens(line, tokens, scratch);
    if (tokens.size() < 4 || seen++ != face) return;
    fn(LineNumberAt(text, at), tokens);
  });
  throw std::logic_error("face line not found again");
}

// A vt or vn reference that names no line: the division's message.
[[noreturn]] void RaiseBadAttribute(std::string_view text, int64_t face,
                                    const AttributeReader::BadReference& bad,
                                    const std::string& path) {
  RaiseAtFace(text, face, [&](int64_t line_no, const std::vector<std::string_view>& tokens) {
    std::string_view part = tokens[1 + bad.corner];
    for (int k = 0; k < bad.kind; ++k) part = part.substr(part.find('/') + 1);
    part = part.substr(0, part.find('/'));
    throw ZelfinError(BadObjReferenceMessage(path, static_cast<uint64_t>(line_no), bad.kind, part,
                                             bad.index, bad.before, bad.total));
  });
}

// A face reference that names no vertex, found again in the text for its
// message: the r-th reference of the face-th stored face line.
[[noreturn]] void RaiseBadReference(std::string_view text, int64_t face, size_t r, int64_t nv,
                                    const std::string& path) {
  RaiseAtFace(text, face, [&](int64_t line_no, const std::vector<std::string_view>& tokens) {
    const std::string token = CleanNumberToken(tokens[1 + r]);
    const std::string where = Where(line_no, path);
    int64_t a = 0;
    if (!ReadVertexReference(token, a) || a == 0) {
      throw ZelfinError("Face" + where + " has a vertex reference " + Quoted(token) +
                        " that names no vertex");
    }
    throw ZelfinError("Face" + where + " refers to vertex " +
                      ForMessage(std::string_view(token).substr(0, token.find('/'))) +
                      ", but only " + std::to_string(nv) +
                      (nv == 1 ? " vertex stands" : " vertices stand") + " before it");
  });
}

// The welded vertex of every reference of one face line, or the error of its
// first reference that names no vertex read before it.
void WeldedCorners(const int32_t* refs, size_t n, int64_t nv, const std::vector<int32_t>& same_as,
                   std::vector<int32_t>& corners, std::string_view text, int64_t face,
                   const std::string& path) {
  corners.resize(n);
  for (size_t r = 0; r < n; ++r) {
    const int64_t a = refs[r];
    const int64_t index = a > 0 ? a - 1 : nv + a;
    if (a == kNoVertex || index < 0 || index >= nv) RaiseBadReference(text, face, r, nv, path);
    corners[r] = same_as[static_cast<size_t>(index)];  // one step of SameAs only
  }
}

// The fans of every stored face line, in order. Triangles that collapse
// onto an edge or a point are dropped.
void StoreTriangles(std::string_view text, const std::vector<PieceRead>& pieces, int64_t normalised,
                    const Normalisation& norm, const std::vector<int32_t>& same_as,
                    const std::string& path, DietRun& run, Heartbeat& heartbeat,
                    AttributeReader* attributes) {
  ReserveHuge(run.faces, static_cast<size_t>(Triangles(pieces)));
  if (attributes) attributes->ReserveTriangles(static_cast<size_t>(Triangles(pieces)));
  run.flags = HugeTable<uint8_t>(same_as.size());
  std::vector<int32_t> corners;
  int64_t face = 0;
  int64_t base = 0;
  // One face line: its words are n, the vertex lines before it in its piece,
  // its n references.
  const auto store = [&](const int32_t* words) {
    const size_t n = static_cast<size_t>(words[0]);
    const int64_t nv = base + words[1];
    // A vertex line before this face could not be normalised.
    if (normalised < nv) RaiseVertexError(norm);
    WeldedCorners(words + 2, n, nv, same_as, corners, text, face, path);
    AttributeReader::BadReference bad;
    if (attributes && !attributes->Resolve(face, bad)) RaiseBadAttribute(text, face, bad, path);
    for (size_t k = 2; k < n; ++k) {
      const int32_t i0 = corners[0], i1 = corners[k - 1], i2 = corners[k];
      if (i0 == i1 || i1 == i2 || i0 == i2) continue;
      run.faces.push_back({i0, i1, i2});
      if (attributes) attributes->AddTriangle(face, k);
      run.flags[static_cast<size_t>(i0)] = kUsed;
      run.flags[static_cast<size_t>(i1)] = kUsed;
      run.flags[static_cast<size_t>(i2)] = kUsed;
    }
    ++face;
    heartbeat.Beat();
    return 2 + n;
  };
  for (const PieceRead& piece : pieces) {
    for (const std::vector<int32_t>& words : piece.faces.chunks()) {
      for (size_t i = 0; i < words.size();) i += store(&words[i]);
    }
    base += piece.vertex_lines;
  }
  if (normalised < static_cast<int64_t>(same_as.size())) RaiseVertexError(norm);
  // The pair analysis numbers three edges per triangle in 32 bits.
  if (run.faces.size() > static_cast<size_t>(kMaxIndex / 3)) {
    throw ZelfinError("The file " + Quoted(path) +
                      " holds more vertices or triangles than can be simplified");
  }
  // Triangles that collapsed were not stored: give back what they would have taken.
  if (run.faces.size() < run.faces.capacity()) run.faces.shrink_to_fit();
}

}  // namespace

bool ReadVertexReference(std::string_view token, int64_t& value) {
  // One pass: the number ends the part or stops short of its end.
  const char* const end = token.data() + token.size();
  int64_t read = 0;
  const char* const stop = ParseIntegerAt(token.data(), end, read);
  if (stop == token.data() || (stop != end && *stop != '/')) return false;
  value = read;
  return true;
}

void LoadDietRun(std::string_view text, const std::string& path, ProgressSink& progress,
                 const LoadWants& wants, DietRun& run, LoadedMesh& loaded) {
  run = DietRun();
  std::vector<PieceRead> pieces = PiecesOf(text, wants.raw);
  AttributeReader reader;
  AttributeReader* attributes = wants.attributes ? &reader : nullptr;
  ReadPieces(text, pieces, progress, attributes);
  // A file with nothing of these to keep (no vt or vn reference, no name or
  // library line: most scans) needs none per triangle, nor any check of them.
  if (attributes && !attributes->Any()) attributes = nullptr;
  CheckFirstPass(text, pieces, path);
  if (wants.source != nullptr) wants.source->ReleasePages();
  loaded.norm = NormalisationOf(pieces);
  Heartbeat heartbeat(progress);
  const size_t count = VertexCount(pieces);
  ReserveHuge(run.pos, 2 * count, count);  // and the states that contractions add
  ReserveHuge(run.q, 2 * count, count);
  // Fresh pages (hundreds of megabytes of them) come into being on the
  // second core, from the back, while this thread fills them from the front:
  // where they come slowly, neither waits for the other.
  int64_t normalised = 0;
  RunBeside(
      heartbeat,
      [&](const Lane& lane) { normalised = Normalise(pieces, loaded.norm, run, lane.heartbeat); },
      [&](const Lane& lane) {
        PopulatePages(run.pos.data(), count * sizeof(TDietVec), &lane.heartbeat);
      });
  std::vector<int32_t> same_as = WeldPoints(run.pos, heartbeat);
  same_as.resize(count);  // lines not normalised: their faces raise the error
  RunBeside(
      heartbeat,
      [&](const Lane& lane) {
        StoreTriangles(text, pieces, normalised, loaded.norm, same_as, path, run, lane.heartbeat,
                       attributes);
        GrowInPieces(run.q, count, TDietMatrix{}, &lane.heartbeat);
      },
      [&](const Lane& lane) {
        PopulatePages(run.q.data(), count * sizeof(TDietMatrix), &lane.heartbeat);
      });
  if (attributes) loaded.attributes = reader.Take();
  if (wants.raw) {
    ReserveHuge(loaded.raw, count);
    ReserveHuge(loaded.precision, count);
    for (const PieceRead& piece : pieces) {
      for (const std::vector<TDietVec>& chunk : piece.coords.chunks()) {
        loaded.raw.insert(loaded.raw.end(), chunk.begin(), chunk.end());
      }
      for (const std::vector<LinePrecision>& chunk : piece.precisions.chunks()) {
        loaded.precision.insert(loaded.precision.end(), chunk.begin(), chunk.end());
      }
    }
  }
  if (wants.same_as) loaded.same_as = std::move(same_as);
}

void LoadDietMeshText(const std::string& text, const std::string& path, DietMesh& mesh) {
  DietRun run;
  LoadedMesh loaded;
  SilentProgress silent;
  LoadWants wants;
  wants.same_as = true;
  LoadDietRun(text, path, silent, wants, run, loaded);
  mesh.DietPairs = TArP();
  mesh.DietVerts.assign(run.VertexCount(), TDietVertex{});
  for (size_t v = 0; v < run.VertexCount(); ++v) {
    TDietVertex& out = mesh.DietVerts[v];
    out.Used = run.Used(v);
    out.SameAs = loaded.same_as[v];
    out.Pos = run.pos[v];
  }
  mesh.DietFaces.assign(run.faces.size(), TDietFace{});
  for (size_t j = 0; j < run.faces.size(); ++j) {
    TDietFace& f = mesh.DietFaces[j];
    f.Alive = true;
    for (int c = 0; c < 3; ++c) f.Verts[c] = run.faces[j][static_cast<size_t>(c)];
    const TDietVec& A = run.pos[static_cast<size_t>(f.Verts[0])];
    const TDietVec& B = run.pos[static_cast<size_t>(f.Verts[1])];
    const TDietVec& C = run.pos[static_cast<size_t>(f.Verts[2])];
    f.Normal = TriangleNormal(A, B, C);
    f.Area = TriangleArea(A, B, C);
  }
}

void LoadDietMesh(const std::string& path, DietMesh& mesh) {
  const FileText text(path);
  std::string copy(text.text());
  text.CheckUnchanged();
  LoadDietMeshText(copy, path, mesh);
}

}  // namespace zelfin
