// meshopt_real: the peer of `zelfin-cli -m simplify --refined` on real
// models (simplify_quality --real), as a whole program: meshoptimizer's
// simplify or simplifyWithUpdate from the meshoptimizer npm package (see
// bench/install-peer.sh), positions only, no flags, no error limit.
//
//   node bench/meshopt_real.mjs IN.obj OUT.obj TRIANGLES --mode simplify|update
//
// Reads the v and f lines of IN.obj (any corner form; polygons cut into
// fans), welds v lines of equal position (as single floats, which the
// simplifier takes) so that it sees the surface's connections, simplifies to
// at most TRIANGLES triangles and writes the vertices the result uses and its
// triangles as v and f lines. A vertex left where it was is written with its
// input's value, so that its position stays exact; one that simplifyWithUpdate
// moved, with its new single-float value. Exit status 1 on failure, 2 for bad
// usage.
import { readFileSync, writeFileSync } from 'node:fs';
import { MeshoptSimplifier } from 'meshoptimizer';
import { NO_ERROR_LIMIT, indexByKey, readObj, runPeer } from './obj_text.mjs';

const USAGE = 'usage: node meshopt_real.mjs IN.obj OUT.obj TRIANGLES --mode simplify|update';

function parseArgs(argv) {
  if (argv.length !== 5 || argv[3] !== '--mode') return null;
  const [input, output, count, , mode] = argv;
  const triangles = Number(count);
  if (!Number.isInteger(triangles) || triangles <= 0) return null;
  return mode === 'simplify' || mode === 'update' ? { input, output, triangles, mode } : null;
}

// One vertex per distinct position: its single-float and its input value, and
// the triangles' indices into them.
function weld(obj) {
  const exact = [];
  const position = (c) => obj.v.slice(3 * obj.corners[4 * c], 3 * obj.corners[4 * c] + 3);
  const indices = indexByKey(
    obj.corners.length / 4,
    (c) => position(c).map(Math.fround).join(','),
    (c) => exact.push(...position(c)),
  );
  return { exact, positions: new Float32Array(exact), indices };
}

// The kept triangles' indices; simplifyWithUpdate moves `positions` as well.
function simplify(mesh, triangles, mode) {
  const target = 3 * Math.min(triangles, mesh.indices.length / 3);
  if (mode === 'simplify') {
    const [kept] = MeshoptSimplifier.simplify(mesh.indices, mesh.positions, 3, target, NO_ERROR_LIMIT);
    return kept;
  }
  const [count] = MeshoptSimplifier.simplifyWithUpdate(
    mesh.indices, mesh.positions, 3, new Float32Array(0), 0, [], null, target, NO_ERROR_LIMIT);
  return mesh.indices.subarray(0, count);
}

function writeObj(path, mesh, kept) {
  const number = new Int32Array(mesh.exact.length / 3);
  for (const v of kept) number[v] = 1;
  const lines = [];
  let next = 0;
  for (let v = 0; v < number.length; ++v) {
    if (!number[v]) continue;
    number[v] = ++next;
    const xyz = [0, 1, 2].map((a) => {
      const moved = mesh.positions[3 * v + a];
      return moved === Math.fround(mesh.exact[3 * v + a]) ? mesh.exact[3 * v + a] : moved;
    });
    lines.push(`v ${xyz.join(' ')}`);
  }
  for (let i = 0; i < kept.length; i += 3) {
    lines.push(`f ${number[kept[i]]} ${number[kept[i + 1]]} ${number[kept[i + 2]]}`);
  }
  writeFileSync(path, lines.join('\n') + '\n');
}

await runPeer('meshopt_real', USAGE, parseArgs, async (args) => {
  const mesh = weld(readObj(readFileSync(args.input, 'utf8')));
  await MeshoptSimplifier.ready;
  writeObj(args.output, mesh, simplify(mesh, args.triangles, args.mode));
});
