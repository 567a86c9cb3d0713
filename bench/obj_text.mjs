// The OBJ reading of the Node.js peers (meshopt_attributes.mjs,
// meshopt_real.mjs): the v, vt, vn, f, usemtl and mtllib lines of a file's
// text. Corners may be v, v/t, v//n or v/t/n with negative indices; polygons
// are cut into fans around their first corner.

// The simplifiers' error limit that never stops them (FLT_MAX): the triangle
// count alone does.
export const NO_ERROR_LIMIT = 3.4e38;

// An index buffer over the distinct keys of `count` corners: corner c has
// key(c), and add(c) is called for each corner whose key is met first, in
// order, so that the caller builds the vertices the indices name.
export function indexByKey(count, key, add) {
  const ids = new Map();
  const indices = new Uint32Array(count);
  for (let c = 0; c < count; ++c) {
    const k = key(c);
    let id = ids.get(k);
    if (id === undefined) {
      id = ids.size;
      ids.set(k, id);
      add(c);
    }
    indices[c] = id;
  }
  return indices;
}

// A 0-based index from an OBJ reference ("" or undefined: -1).
function reference(text, count, line) {
  if (text === undefined || text === '') return -1;
  const k = Number(text);
  const index = k > 0 ? k - 1 : count + k;
  if (!Number.isInteger(k) || k === 0 || index < 0 || index >= count) {
    throw new Error(`line ${line}: bad reference ${text}`);
  }
  return index;
}

function numbers(words, count, line) {
  const values = words.slice(1, 1 + count).map(Number);
  while (values.length < count) values.push(0); // "vt u" has v = 0
  if (values.some(Number.isNaN)) throw new Error(`line ${line}: bad number`);
  return values;
}

// Corners as [v, vt, vn, material] (vt, vn -1 when absent), four numbers each.
function addFace(obj, words, material, line) {
  const refs = words.slice(1).map((word) => {
    const [v, t, n] = word.split('/');
    return [
      reference(v, obj.v.length / 3, line),
      reference(t, obj.vt.length / 2, line),
      reference(n, obj.vn.length / 3, line),
      material,
    ];
  });
  for (let i = 2; i < refs.length; ++i) obj.corners.push(...refs[0], ...refs[i - 1], ...refs[i]);
}

// { v, vt, vn: numbers, three, two and three per line; mtllib: the lines;
// materials: the usemtl names in order; corners: [v, vt, vn, material] per
// triangle corner, 0-based, -1 where absent (material -1 before any usemtl) }.
export function readObj(text) {
  const obj = { v: [], vt: [], vn: [], mtllib: [], materials: [], corners: [] };
  let material = -1; // faces before any usemtl
  const lines = text.split('\n');
  for (let i = 0; i < lines.length; ++i) {
    const words = lines[i].trim().split(/\s+/);
    const line = i + 1;
    if (words[0] === 'v') obj.v.push(...numbers(words, 3, line));
    else if (words[0] === 'vt') obj.vt.push(...numbers(words, 2, line));
    else if (words[0] === 'vn') obj.vn.push(...numbers(words, 3, line));
    else if (words[0] === 'f') addFace(obj, words, material, line);
    else if (words[0] === 'mtllib') obj.mtllib.push(lines[i].trim());
    else if (words[0] === 'usemtl') {
      const name = words[1] ?? '';
      material = obj.materials.indexOf(name);
      if (material < 0) material = obj.materials.push(name) - 1;
    }
  }
  return obj;
}

// Runs a peer program: bad arguments (parse gives null) print the usage and
// exit 2, an error exits 1 with its message, success 0.
export async function runPeer(name, usage, parse, run) {
  const args = parse(process.argv.slice(2));
  if (args === null) {
    console.error(usage);
    process.exitCode = 2;
    return;
  }
  try {
    await run(args);
    process.exitCode = 0;
  } catch (e) {
    console.error(`${name}: ${e.message}`);
    process.exitCode = 1;
  }
}
