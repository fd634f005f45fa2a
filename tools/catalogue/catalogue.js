// The catalogue of p3dtool check, drawn from the document that check --json
// writes (report.js hands it to vistrelReport): a card per model, the
// problems of the tree, the missing textures and the filter. Every text of the
// document goes into the page as text, never as markup.
'use strict';

const kShownProblems = 6;  // on a card; the filter searches them all

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
  c.append(element('p', 'facts', counted(model.lods, 'LOD', 'LODs') + ' \u00b7 ' + model.faces_lod0 +
                                     ' faces in LOD 0, ' + model.faces + ' in all \u00b7 mass ' + mass));
  if (problems.length) {
    const list = element('ul', 'problems');
    for (const p of problems.slice(0, kShownProblems)) list.append(element('li', '', p));
    if (problems.length > kShownProblems) list.append(element('li', '', 'and ' + (problems.length - kShownProblems) + ' more'));
    c.append(list);
  }
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
}
