// meshopt_attributes: the peer of `zelfin-cli -m simplify --refined` on
// textured meshes, as a whole program: meshoptimizer's attribute-aware
// simplification (simplifyWithAttributes) from the meshoptimizer npm package,
// which runs it as WebAssembly. Debian's libmeshoptimizer-dev is too old to
// have it. bench/install-peer.sh installs the package.
//
//   node bench/meshopt_attributes.mjs IN.obj OUT.obj TRIANGLES
//        [--uv-weight W] [--normal-weight W]
//
// Reads the v, vt, vn, f, usemtl and mtllib lines of IN.obj (corners v, v/t,
// v//n or v/t/n, negative indices, polygons cut into fans), makes one vertex
// per distinct (position, texture coordinate, normal, material), simplifies to
// at most TRIANGLES triangles with no error limit, and writes OUT.obj: the
// mtllib lines, the v, vt and vn lines the result uses (in their input order)
// and its triangles in the same corner form, each material's after its usemtl
// line, materials in input order (a triangle whose corners disagree, which
// should not happen, goes by its first corner's and is counted on standard
// error). Exit status 1 on failure, 2 for bad usage.
//
// Materials. The simplifier knows a triangle only by its vertices, so the
// material is part of each vertex's identity, as a UV is: a material border
// becomes an attribute seam, which the simplifier keeps (a seam vertex only
// moves along its seam, with its twin on the other side). Every output
// triangle then has one material, read from its corners, and the border keeps
// its shape while it is simplified along its length. Locking the border's
// vertices (vertex_lock) would keep it at full resolution instead, a handicap
// the refined method does not have.
//
// Weights. The simplifier measures positions in units of the model's extent
// and adds each attribute's error times its weight. UV weight 1 (default):
// one texel of a 1024 x 1024 texture (a UV error of 0.001) costs as much as
// moving the surface by 0.001 of the model's size. Normal weight 0.5 per
// component: a normal turned by 0.1 rad (5.7 degrees) costs like moving the
// surface by 0.05 of its size. An attribute the file lacks gets weight 0.
import { readFileSync, writeFileSync } from 'node:fs';
import { MeshoptSimplifier } from 'meshoptimizer';
import { NO_ERROR_LIMIT, indexByKey, readObj, runPeer } from './obj_text.mjs';

const USAGE =
  'usage: node meshopt_attributes.mjs IN.obj OUT.obj TRIANGLES [--uv-weight W] [--normal-weight W]';

function parseArgs(argv) {
  const args = { weights: { uv: 1, normal: 0.5 }, files: [] };
  for (let i = 0; i < argv.length; ++i) {
    const option = { '--uv-weight': 'uv', '--normal-weight': 'normal' }[argv[i]];
    if (option === undefined) {
      args.files.push(argv[i]);
      continue;
    }
    args.weights[option] = Number(argv[++i]);
    if (!(args.weights[option] >= 0)) return null;
  }
  if (args.files.length !== 3) return null;
  args.triangles = Number(args.files.pop());
  return Number.isInteger(args.triangles) && args.triangles > 0 ? args : null;
}

// One vertex per distinct corner: wedges (four numbers each, as corners) and
// the index buffer of the triangles.
function buildVertices(corners) {
  const wedges = [];
  const corner = (c) => corners.slice(4 * c, 4 * c + 4);
  const indices = indexByKey(
    corners.length / 4,
    (c) => corner(c).join(','),
    (c) => wedges.push(...corner(c)),
  );
  return { wedges, indices };
}

function simplify(obj, wedges, indices, args) {
  const count = wedges.length / 4;
  const positions = new Float32Array(3 * count);
  const attributes = new Float32Array(5 * count); // u, v, nx, ny, nz
  for (let i = 0; i < count; ++i) {
    const [v, t, n] = wedges.slice(4 * i, 4 * i + 3);
    for (let a = 0; a < 3; ++a) positions[3 * i + a] = obj.v[3 * v + a];
    for (let a = 0; a < 2 && t >= 0; ++a) attributes[5 * i + a] = obj.vt[2 * t + a];
    for (let a = 0; a < 3 && n >= 0; ++a) attributes[5 * i + 2 + a] = obj.vn[3 * n + a];
  }
  const uv = obj.vt.length > 0 ? args.weights.uv : 0;
  const normal = obj.vn.length > 0 ? args.weights.normal : 0;
  const target = 3 * Math.min(args.triangles, indices.length / 3);
  const [result] = MeshoptSimplifier.simplifyWithAttributes(
    indices, positions, 3, attributes, 5, [uv, uv, normal, normal, normal],
    null, target, NO_ERROR_LIMIT, []);
  return result;
}

// 1-based output numbers of the used entries of one kind, in input order.
function renumber(wedges, kind, size) {
  const number = new Int32Array(size);
  for (let i = kind; i < wedges.length; i += 4) if (wedges[i] >= 0) number[wedges[i]] = 1;
  let next = 0;
  for (let i = 0; i < size; ++i) if (number[i]) number[i] = ++next;
  return number;
}

function rows(keyword, values, width, number) {
  const out = [];
  for (let i = 0; i < number.length; ++i) {
    if (number[i]) out.push(`${keyword} ${values.slice(width * i, width * i + width).join(' ')}`);
  }
  return out;
}

function corner(wedge, numbers) {
  const [v, t, n] = wedge.map((index, kind) => (index >= 0 ? numbers[kind][index] : ''));
  return n !== '' ? `${v}/${t}/${n}` : t !== '' ? `${v}/${t}` : `${v}`;
}

// Triangles whose corners name different materials: none while the
// simplifier keeps its seams, which the material border relies on.
function mixedMaterials(used) {
  let mixed = 0;
  for (let c = 0; c < used.length; c += 12) {
    mixed += used[c + 3] !== used[c + 7] || used[c + 3] !== used[c + 11] ? 1 : 0;
  }
  return mixed;
}

function writeObj(path, obj, wedges, result) {
  const used = [];
  for (const id of result) used.push(...wedges.slice(4 * id, 4 * id + 4));
  const mixed = mixedMaterials(used);
  if (mixed > 0) console.error(`meshopt_attributes: ${mixed} triangles span two materials`);
  const numbers = [
    renumber(used, 0, obj.v.length / 3),
    renumber(used, 1, obj.vt.length / 2),
    renumber(used, 2, obj.vn.length / 3),
  ];
  const lines = [...obj.mtllib, ...rows('v', obj.v, 3, numbers[0]),
    ...rows('vt', obj.vt, 2, numbers[1]), ...rows('vn', obj.vn, 3, numbers[2])];
  for (let m = -1; m < obj.materials.length; ++m) {
    if (m >= 0) lines.push(`usemtl ${obj.materials[m]}`);
    for (let c = 0; c < used.length; c += 12) {
      if (used[c + 3] !== m) continue;
      const corners = [0, 4, 8].map((k) => corner(used.slice(c + k, c + k + 3), numbers));
      lines.push(`f ${corners.join(' ')}`);
    }
  }
  writeFileSync(path, lines.join('\n') + '\n');
}

await runPeer('meshopt_attributes', USAGE, parseArgs, async (args) => {
  const [input, output] = args.files;
  const obj = readObj(readFileSync(input, 'utf8'));
  const { wedges, indices } = buildVertices(obj.corners);
  await MeshoptSimplifier.ready;
  writeObj(output, obj, wedges, simplify(obj, wedges, indices, args));
});
