// The catalogue of p3dtool check, drawn from the document that check --json
// writes (report.js hands it to vistrelReport): a card per model, the
// problems of the tree, the missing textures and the filter. Every text of the
// document goes into the page as text, never as markup. The 3D view shows
// LOD 0 of a model from its .glb, which models/mNNNNNN.js hands to
// vistrelModel as base64 (a page opened from the file system may load
// scripts beside it, but not read files), drawn by three.js (three/).
'use strict';

const kShownProblems = 6;  // on a card; the filter searches them all
const kBackground3d = 0x2b3138;

function element(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// Texts are compared as people read them: any letter case, either Unicode
// form of an accented letter.
function folded(text) {
  return text.normalize('NFC').toLowerCase();
}

function counted(n, one, many) {
  return n + ' ' + (n === 1 ? one : many);
}

function card(model, index) {
  const problems = model.problems || [];
  const c = element('article', problems.length ? 'card bad' : 'card');
  c.id = 'm' + index;
  c.dataset.search = folded([model.path].concat(problems).join('\n'));
  if (model.view3d) {
    const open = element('button', 'open3d', '3D');
    open.type = 'button';
    open.title = 'LOD 0 in 3D, turned with the mouse';
    open.addEventListener('click', () => open3d(model));
    c.append(open);
  }
  if (model.picture) {
    const img = element('img');
    img.src = model.picture;
    img.width = img.height = 128;
    img.alt = '';
    c.append(img);
  } else {
    c.append(element('div', 'nopic', 'no picture'));
  }
  c.append(element('h2', '', model.path));
  const mass = model.mass === null ? 'not a number' : String(model.mass);
  c.append(element('p', 'facts', counted(model.lods, 'LOD', 'LODs') + ' \u00b7 ' +
                                     counted(model.faces_lod0, 'face', 'faces') + ' in LOD 0, ' +
                                     model.faces + ' in all \u00b7 mass ' + mass));
  if (problems.length) {
    const list = element('ul', 'problems');
    for (const p of problems.slice(0, kShownProblems)) list.append(element('li', '', p));
    if (problems.length > kShownProblems) list.append(element('li', '', 'and ' + (problems.length - kShownProblems) + ' more'));
    c.append(list);
  }
  if (model.view3d_note) c.append(element('p', 'note', 'no 3D view: ' + model.view3d_note));
  return c;
}

// The missing textures, those needed by most models first, each with links
// to the cards of the models that need it.
function missingRows(doc) {
  const needers = new Map();
  doc.models.forEach((m, index) => {
    for (const name of m.missing || []) {
      if (!needers.has(name)) needers.set(name, []);
      needers.get(name).push(index);
    }
  });
  const missing = doc.textures.filter(t => t.status === 'missing');
  missing.sort((a, b) => b.models - a.models || (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  return missing.map(t => {
    const row = element('tr');
    row.append(element('td', '', t.name), element('td', 'n', String(t.models)));
    const cell = element('td');
    (needers.get(t.name) || []).forEach((index, k) => {
      if (k) cell.append(', ');
      const link = element('a', '', doc.models[index].path);
      link.href = '#m' + index;
      cell.append(link);
    });
    row.append(cell);
    return row;
  });
}

function applyFilter() {
  const q = folded(document.getElementById('filter').value);
  let shown = 0;
  for (const c of document.querySelectorAll('.card')) {
    c.hidden = q !== '' && !c.dataset.search.includes(q);
    if (!c.hidden) shown++;
  }
  document.getElementById('shown').textContent = shown;
}

function vistrelReport(doc) {
  const title = 'Models of ' + doc.tree;
  document.title = title;
  document.getElementById('title').textContent = title;
  const s = doc.summary;
  const summary = document.getElementById('summary');
  summary.replaceChildren(doc.tree + ': ' + s.models + ' models, ' + s.complete + ' complete, ' + s.partial +
                              ' partial, ' + s.failed + ' failed',
                          element('br'),
                          'textures: ' + s.textures + ' named, ' + s.found + ' found, ' + s.missing + ' missing, ' +
                              s.undecodable + ' undecodable');

  const treeProblems = (doc.unreadable || []).map(u => 'unreadable folder: ' + u.folder + ': ' + u.reason)
                           .concat((doc.broken_links || []).map(b => 'broken link: ' + b.path + ': ' + b.reason));
  const section = document.getElementById('tree-problems');
  section.querySelector('ul').replaceChildren(...treeProblems.map(p => element('li', '', p)));
  section.hidden = treeProblems.length === 0;

  document.getElementById('cards').replaceChildren(...doc.models.map(card));
  document.getElementById('missing').append(...missingRows(doc));

  const filter = document.getElementById('filter');
  filter.addEventListener('input', applyFilter);
  let given = location.hash.slice(1);
  try {
    given = decodeURIComponent(given);
  } catch (e) {
    // a "%" that starts no escape: the text as it is
  }
  if (given.startsWith('filter=')) filter.value = given.slice(7);
  applyFilter();
  if (given.startsWith('view=')) {
    const model = doc.models.find(m => m.path === given.slice(5) && m.view3d);
    if (model) open3d(model);
  }
}

// ------------------------------------------------------------ the 3D view

const view = {current: null};
let threeLoading = null;
const pendingModels = new Map();  // id -> the resolve of its load

function loadScript(src) {
  return new Promise((resolve, reject) => {
    const s = element('script');
    s.src = src;
    s.onload = () => resolve(s);
    s.onerror = () => reject(new Error('cannot load ' + src));
    document.head.append(s);
  });
}

function loadThree() {
  if (!threeLoading)
    threeLoading = loadScript('three/three.min.js')
                       .then(() => Promise.all([loadScript('three/GLTFLoader.js'), loadScript('three/OrbitControls.js')]));
  return threeLoading;
}

// Called by models/ID.js with the model's .glb.
function vistrelModel(id, base64) {
  const resolve = pendingModels.get(id);
  pendingModels.delete(id);
  if (resolve) resolve(base64);
}

function loadModel(model) {
  const id = model.view3d.replace(/^.*\/|\.js$/g, '');
  return new Promise((resolve, reject) => {
    pendingModels.set(id, resolve);
    loadScript(model.view3d).then(s => {
      s.remove();
      if (pendingModels.delete(id)) reject(new Error(model.view3d + ' holds no model'));
    }, e => {
      pendingModels.delete(id);
      reject(e);
    });
  });
}

function bytesOf(base64) {
  const text = atob(base64);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  return bytes.buffer;
}

function setState(state, text) {
  document.getElementById('view3d').dataset.state = state;
  document.getElementById('status3d').textContent = text;
}

function draw() {
  if (!view.scene) return;
  const canvas = view.renderer.domElement;
  const w = canvas.clientWidth, h = canvas.clientHeight;
  if (!w || !h) return;
  view.renderer.setSize(w, h, false);
  view.camera.aspect = w / h;
  view.camera.updateProjectionMatrix();
  view.renderer.render(view.scene, view.camera);
}

function dropScene() {
  if (!view.scene) return;
  view.scene.traverse(o => {
    if (o.geometry) o.geometry.dispose();
    for (const m of [].concat(o.material || [])) {
      if (m.map) m.map.dispose();
      m.dispose();
    }
  });
  view.scene = null;
}

function show(object) {
  if (!view.renderer) {
    const canvas = document.getElementById('canvas3d');
    view.renderer = new THREE.WebGLRenderer({canvas: canvas, antialias: true});
    view.renderer.setPixelRatio(window.devicePixelRatio);
    view.renderer.setClearColor(kBackground3d);
    view.renderer.gammaOutput = true;  // the textures' colours as the pictures show them
    view.renderer.gammaFactor = 2.2;
    view.camera = new THREE.PerspectiveCamera(40, 1, 0.01, 1000);
    view.controls = new THREE.OrbitControls(view.camera, canvas);
    view.controls.addEventListener('change', draw);
    window.addEventListener('resize', draw);
  }
  dropScene();
  // both sides of the faces, as the pictures draw them: a flat model seen
  // from behind is no empty view
  object.traverse(o => {
    for (const m of [].concat(o.material || [])) m.side = THREE.DoubleSide;
  });
  const scene = new THREE.Scene();
  scene.add(object, new THREE.HemisphereLight(0xffffff, 0x555555, 0.7));
  const sun = new THREE.DirectionalLight(0xffffff, 0.8);
  sun.position.set(0.6, 1, 0.8);
  scene.add(sun);
  // framed from a three-quarter view, turning about the model's middle
  const sphere = new THREE.Box3().setFromObject(object).getBoundingSphere(new THREE.Sphere());
  const radius = sphere.radius > 0 ? sphere.radius : 1;
  const distance = radius / Math.sin(view.camera.fov * Math.PI / 360);
  view.camera.near = radius / 100;
  view.camera.far = distance + 10 * radius;
  view.camera.position.copy(sphere.center).add(new THREE.Vector3(1, 0.55, 1.3).setLength(distance));
  view.controls.target.copy(sphere.center);
  view.controls.maxDistance = 4 * distance;
  view.scene = scene;
  view.controls.update();
  draw();
}

async function open3d(model) {
  const dialog = document.getElementById('view3d');
  const token = {};
  view.current = token;
  document.getElementById('title3d').textContent = model.path;
  setState('loading', 'loading\u2026');
  if (!dialog.open) dialog.showModal();
  try {
    await loadThree();
    const base64 = await loadModel(model);
    const gltf =
        await new Promise((resolve, reject) => new THREE.GLTFLoader().parse(bytesOf(base64), '', resolve, reject));
    if (view.current !== token) return;  // closed, or another model asked for since
    show(gltf.scene);
    setState('drawn', 'drag to turn, wheel to zoom, right button to pan');
  } catch (e) {
    if (view.current === token) setState('failed', 'cannot show the model: ' + (e && e.message ? e.message : e));
  }
}

document.getElementById('close3d').addEventListener('click', () => document.getElementById('view3d').close());
document.getElementById('view3d').addEventListener('close', () => {
  view.current = null;
  dropScene();
  setState('closed', '');
});
