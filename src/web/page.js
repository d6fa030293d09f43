// SPDX-License-Identifier: Apache-2.0
// The page: pictures in, options, the frames drawn as they are made, the set's files out.
import {Converter, nameProblem, nameFromFile, frameLevels, FRAME_WIDTH, FRAME_HEIGHT}
    from './converter.js';
import {OPTIONS} from './options.js';

const $ = (id) => document.getElementById(id);
const converter = new Converter();
const state = {
    pictures: [],        // {id, name, bytes, url, line, item}
    nameEdited: false,   // the name is the user's, not the first picture's
    generation: 0,       // the latest conversion asked for
    runningSince: 0,
    again: false,        // options changed while a conversion ran
    urls: [],            // blob URLs of the current downloads
};
let nextId = 1;

converter.ready.then(() => { $('loading').textContent = ''; },
                     (error) => { $('loading').textContent = `The converter cannot load: ${error.message}`; });

// ---- options ----

function currentOptions() {
    const options = {name: $('name').value.trim() || $('name').placeholder};
    for (const option of OPTIONS) {
        const field = $(option.name);
        if (!field || field.disabled) continue;
        options[option.name] = field.type === 'checkbox' ? field.checked : field.value;
    }
    return options;
}

function zoom() { return Number($('zoom').value) || 3; }

function defaultName() {
    const first = state.pictures[0];
    $('name').placeholder = first ? nameFromFile(first.name) : 'frames';
    if (!state.nameEdited) $('name').value = first ? $('name').placeholder : '';
}

// ---- pictures ----

function fileSize(bytes) {
    return bytes < 10000 ? `${bytes.toLocaleString('en')} bytes` :
        bytes < 1e7 ? `${Math.round(bytes / 1000).toLocaleString('en')} KB` :
        `${(bytes / 1e6).toFixed(1)} MB`;
}

async function addPictures(files) {
    performance.mark('grayframe-files');
    const lines = [];
    for (const file of files) {
        if (state.pictures.some((p) => p.name === file.name)) {
            lines.push(`${file.name}: a picture of this name is in the set already`);
            continue;
        }
        let bytes;
        try {
            bytes = new Uint8Array(await file.arrayBuffer());
        } catch (error) {
            lines.push(`${file.name}: cannot be read (${error.message})`);
            continue;
        }
        const picture = {id: nextId++, name: file.name, bytes, line: '',
                         url: URL.createObjectURL(file)};
        picture.item = pictureItem(picture);
        state.pictures.push(picture);
        $('pictures').append(picture.item);
    }
    showLines($('pick-messages'), lines);
    defaultName();
    convertSoon(0);
}

function button(text, label, action) {
    const b = document.createElement('button');
    b.type = 'button';
    b.textContent = text;
    b.setAttribute('aria-label', label);
    b.addEventListener('click', action);
    return b;
}

function pictureItem(picture) {
    const item = document.createElement('li');
    item.className = 'picture';
    const source = document.createElement('div');
    source.className = 'source';
    const image = document.createElement('img');
    image.src = picture.url;
    image.alt = picture.name;
    image.onerror = () => image.replaceWith(Object.assign(document.createElement('span'),
        {className: 'no-image', textContent: 'not shown by the browser'}));
    const name = document.createElement('p');
    name.className = 'name';
    name.textContent = picture.name;
    const size = document.createElement('p');
    size.className = 'meta';
    size.textContent = fileSize(picture.bytes.length);
    const buttons = document.createElement('p');
    buttons.className = 'item-buttons';
    buttons.append(button('↑', `Move ${picture.name} up`, () => move(picture, -1)),
                   button('↓', `Move ${picture.name} down`, () => move(picture, 1)),
                   button('Remove', `Remove ${picture.name}`, () => remove(picture)));
    source.append(image, name, size, buttons);
    const line = document.createElement('p');
    line.className = 'line problem';
    const frames = document.createElement('div');
    frames.className = 'frames';
    item.append(source, frames, line);
    return item;
}

function move(picture, by) {
    const at = state.pictures.indexOf(picture), to = at + by;
    if (to < 0 || to >= state.pictures.length) return;
    state.pictures.splice(at, 1);
    state.pictures.splice(to, 0, picture);
    $('pictures').replaceChildren(...state.pictures.map((p) => p.item));
    picture.item.querySelectorAll('.item-buttons button')[by < 0 ? 0 : 1].focus();
    defaultName();
    convertSoon(0);
}

function remove(picture) {
    const at = state.pictures.indexOf(picture);
    state.pictures.splice(at, 1);
    picture.item.remove();
    URL.revokeObjectURL(picture.url);
    const next = state.pictures[Math.min(at, state.pictures.length - 1)];
    (next ? next.item.querySelector('.item-buttons button:last-child') : $('pick')).focus();
    defaultName();
    convertSoon(0);
}

// ---- frames on canvases ----

function drawFrame(canvas, bytes, nibbles) {
    const context = canvas.getContext('2d');
    const image = context.createImageData(FRAME_WIDTH, FRAME_HEIGHT);
    const levels = frameLevels(bytes, nibbles);
    for (let i = 0; i < levels.length; ++i) {
        const gray = levels[i] * 17;
        image.data[4 * i] = image.data[4 * i + 1] = image.data[4 * i + 2] = gray;
        image.data[4 * i + 3] = 255;
    }
    context.putImageData(image, 0, 0);
    canvas.levels = levels;
}

function scaleCanvas(canvas) {
    const scale = canvas.dataset.capped ? Math.min(zoom(), 2) : zoom();
    canvas.style.width = `${FRAME_WIDTH * scale}px`;
    canvas.style.height = `${FRAME_HEIGHT * scale}px`;
}

// A frame's canvas, drawn at the zoom chosen (capped: at 2 x at most).
function frameCanvas(bytes, nibbles, label, capped, readout) {
    const canvas = document.createElement('canvas');
    canvas.width = FRAME_WIDTH;
    canvas.height = FRAME_HEIGHT;
    canvas.className = 'frame';
    if (capped) canvas.dataset.capped = 'yes';
    scaleCanvas(canvas);
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', label);
    drawFrame(canvas, bytes, nibbles);
    canvas.addEventListener('mousemove', (event) => {
        const rect = canvas.getBoundingClientRect();
        const x = Math.floor((event.clientX - rect.left) * FRAME_WIDTH / rect.width);
        const y = Math.floor((event.clientY - rect.top) * FRAME_HEIGHT / rect.height);
        if (x < 0 || y < 0 || x >= FRAME_WIDTH || y >= FRAME_HEIGHT) return;
        readout.textContent = `${label}: x ${x}, y ${y}, level ${canvas.levels[y * FRAME_WIDTH + x]}`;
    });
    canvas.addEventListener('mouseleave', () => { readout.textContent = ''; });
    return canvas;
}

// A canvas that shows the frames one after the other, each for its duration, with a
// button to pause it; it stops once off the page.
function player(frames, durations, nibbles, label, readout) {
    const box = document.createElement('div');
    box.className = 'player';
    const canvas = frameCanvas(frames[0], nibbles, `${label}, playing`, false, readout);
    const toggle = button('Pause', `Pause ${label}`, () => {
        timer.paused = !timer.paused;
        toggle.textContent = timer.paused ? 'Play' : 'Pause';
        toggle.setAttribute('aria-label', `${timer.paused ? 'Play' : 'Pause'} ${label}`);
        clearTimeout(timer.id);
        if (!timer.paused) step();
    });
    const timer = {id: 0, paused: false, at: 0};
    const step = () => {
        if (timer.paused || !canvas.isConnected) return;
        timer.at = (timer.at + 1) % frames.length;
        drawFrame(canvas, frames[timer.at], nibbles);
        timer.id = setTimeout(step, Math.max(20, durations[timer.at] || 100));
    };
    timer.id = setTimeout(step, Math.max(20, durations[0] || 100));
    box.append(canvas, toggle);
    return box;
}

const STRIP_MOST = 120;

// The frames of one picture or set: a player when they have durations, and each frame.
function showFrames(container, frames, durations, nibbles, label) {
    const readout = document.createElement('output');
    readout.className = 'readout';
    const strip = document.createElement('div');
    strip.className = 'strip';
    const many = frames.length > 1;
    if (many && durations && durations.some((d) => d > 0))
        container.append(player(frames, durations, nibbles, label, readout));
    frames.slice(0, STRIP_MOST).forEach((bytes, k) => {
        const figure = document.createElement('figure');
        const name = many ? `${label}, frame ${k + 1} of ${frames.length}` : label;
        figure.append(frameCanvas(bytes, nibbles, name, many, readout));
        if (many || durations) {
            const caption = document.createElement('figcaption');
            caption.textContent = durations ? `${k + 1}: ${durations[k]} ms` : `${k + 1}`;
            figure.append(caption);
        }
        strip.append(figure);
    });
    container.append(strip);
    if (frames.length > STRIP_MOST) {
        const more = document.createElement('p');
        more.textContent = `and ${frames.length - STRIP_MOST} frames more`;
        container.append(more);
    }
    container.append(readout);
}

// ---- converting ----

let soon = 0;
function convertSoon(delay = 300) {
    document.body.dataset.state = 'working';
    clearTimeout(soon);
    soon = setTimeout(convertNow, delay);
}

function showLines(list, lines) {
    list.replaceChildren(...lines.map((line) => Object.assign(document.createElement('li'),
                                                              {textContent: line})));
}

function clearMade() {
    for (const url of state.urls) URL.revokeObjectURL(url);
    state.urls = [];
    $('downloads').replaceChildren();
    $('made').hidden = true;
}

async function convertNow() {
    const problem = nameProblem(currentOptions().name);
    $('name-problem').textContent = problem;
    $('name').setAttribute('aria-invalid', problem ? 'true' : 'false');
    if (problem || state.pictures.length === 0) {
        ++state.generation;
        state.asked = '';
        document.body.dataset.state = 'ready';
        clearMade();
        for (const picture of state.pictures) picture.item.querySelector('.frames').replaceChildren();
        $('empty').hidden = state.pictures.length > 0 || !!problem;
        showLines($('messages'), []);
        return;
    }
    $('empty').hidden = true;
    // The same pictures and options as the run under way or done: nothing to do.
    const asked = JSON.stringify([state.pictures.map((p) => p.id), currentOptions()]);
    if (asked === state.asked) {
        if (!converter.busy) document.body.dataset.state = 'ready';
        return;
    }
    if (converter.busy) {
        // One run at a time; a long one gives way to the options now asked for.
        state.again = true;
        if (Date.now() - state.runningSince > 1500) converter.stop();
        return;
    }
    const generation = ++state.generation;
    state.asked = asked;
    document.body.dataset.state = 'working';
    const pictures = state.pictures.slice();
    const options = currentOptions();
    state.runningSince = Date.now();
    state.again = false;
    const progressShown = setTimeout(() => { if (generation === state.generation) $('progress').hidden = false; }, 400);
    $('made').classList.add('stale');
    $('progress-bar').removeAttribute('value');
    $('progress-text').textContent = 'Converting…';
    let drawn = false;
    try {
        const result = await converter.convert(
            pictures.map((p) => ({name: p.name, bytes: p.bytes})), options, {
                sizes: true,
                onProgress: (p) => showProgress(p),
                onFrames: (made) => {
                    if (generation !== state.generation) return;
                    showResult(made, pictures, false, false);
                    drawn = true;
                },
            });
        if (generation === state.generation) showResult(result, pictures, drawn, true);
    } catch (error) {
        if (generation === state.generation) state.asked = '';
        if (generation === state.generation && !error.stopped)
            showLines($('messages'), [`The page failed: ${error.message}`]);
        if (error.stopped && !state.again)
            showLines($('messages'), ['Stopped. Change an option or the pictures to go on.']);
    } finally {
        clearTimeout(progressShown);
        if (!state.again) $('progress').hidden = true;
        if (state.again) convertSoon(0);
        else document.body.dataset.state = 'ready';
    }
}

function showProgress(p) {
    const bar = $('progress-bar');
    const parts = [];
    if (p.expected > 1 && p.frames > 0) {
        bar.max = p.expected;
        bar.value = Math.min(p.frames, p.expected);
        parts.push(`${p.frames} of ${p.expected} frames`);
    } else if (p.total > 0 && p.read > 0) {
        bar.max = p.total;
        bar.value = p.read;
        parts.push(`${Math.round(100 * p.read / p.total)} % of the pictures read`);
    }
    parts.push(`${((Date.now() - state.runningSince) / 1000).toFixed(0)} s`);
    $('progress-text').textContent = parts.join(', ');
}

function download(name, bytes, what) {
    const url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
    state.urls.push(url);
    const item = document.createElement('li');
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    link.textContent = name;
    const note = document.createElement('span');
    note.textContent = ` ${bytes.length.toLocaleString('en')} bytes: ${what}`;
    item.append(link, note);
    return item;
}

function describe(name, file) {
    if (file === name + '.h') return 'the set\'s declarations';
    if (file === name + '.c') return 'the frames, to compile into the firmware';
    if (file === name + '.raw') return 'the frames\' bytes one after the other (as -printdata writes them)';
    if (file.endsWith('_out.h')) return 'grayframe\'s own header of the picture (no display options)';
    if (file.endsWith('_out.bmp')) return 'grayframe\'s own BMP of the picture';
    return '';
}

// Shows what a conversion made; drawn: its frames are on the page already; final: no
// more is coming (grayframe's own files and the compressed sizes came or never will).
function showResult(result, pictures, drawn, final) {
    const byName = new Map(pictures.map((p) => [p.name, p]));
    for (const picture of pictures) {
        picture.line = '';
        picture.item.classList.remove('failed');
    }
    const general = [];
    for (const line of result.messages) {
        const named = line.match(/image '([\s\S]*)'/);
        const picture = named && byName.get(named[1]);
        if (picture) {
            picture.line = line;
            picture.item.classList.add('failed');
        }
        general.push(line);
    }
    showLines($('messages'), general);
    for (const picture of pictures) picture.item.querySelector('.line').textContent = picture.line;
    if (!drawn) {
        pictures.forEach((picture, index) => {
            const container = picture.item.querySelector('.frames');
            container.replaceChildren();
            const frames = result.frames.filter((f) => f.picture === index);
            if (!frames.length) return;
            const durations = frames[0].durationMs === null ? null : frames.map((f) => f.durationMs);
            showFrames(container, frames.map((f) => f.bytes), durations, result.nibbles, picture.name);
        });
        if (result.frames.length) {
            requestAnimationFrame(() => performance.mark('grayframe-frames'));
        }
    }
    clearMade();
    $('made').classList.remove('stale');
    if (!result.frames.length) return;
    const name = currentOptions().name;
    $('downloads').replaceChildren(...Object.entries(result.files).map(
        ([file, bytes]) => download(file, bytes, describe(name, file))));
    $('command').textContent = result.command;
    $('cmake').textContent = result.cmake;
    showSizes(result, final);
    $('made').hidden = false;
}

function showSizes(result, final) {
    const sizes = result.sizes;
    const n = result.frames.length;
    let summary = `${n} frame${n === 1 ? '' : 's'}: ${sizes.rawTotal.toLocaleString('en')} bytes raw`;
    if (sizes.compressedTotal !== null)
        summary += `, ${sizes.compressedTotal.toLocaleString('en')} compressed ` +
            `(${(100 * sizes.compressedTotal / sizes.rawTotal).toFixed(1)} %, index included)`;
    else
        summary += final ? ', compressed: unknown' : ', compressed: working it out…';
    $('size-summary').textContent = summary;
    const rows = result.frames.slice(0, 1000).map((frame, k) => {
        const row = document.createElement('tr');
        for (const text of [String(k), frame.label, String(sizes.raw[k]),
                            sizes.compressed ? String(sizes.compressed[k]) : final ? '' : '…']) {
            const cell = document.createElement('td');
            cell.textContent = text;
            row.append(cell);
        }
        return row;
    });
    $('sizes').tBodies[0].replaceChildren(...rows);
}

// ---- opening sets ----

async function openSets(files) {
    const opened = $('opened');
    document.body.dataset.opening = 'yes';
    showLines($('open-messages'), ['Reading…']);
    try {
        const {sets, messages} = await converter.openSet(
            await Promise.all(Array.from(files, async (f) => ({name: f.name, bytes: new Uint8Array(await f.arrayBuffer())}))));
        showLines($('open-messages'), messages);
        opened.replaceChildren();
        for (const set of sets) {
            const box = document.createElement('div');
            box.className = 'set';
            const title = document.createElement('h3');
            const kind = {raw: 'raw stream', header: 'grayframe header', array: 'set',
                          code: 'compressed set'}[set.kind];
            title.textContent = `${set.name}: ${kind}, ${set.frames.length} frame` +
                `${set.frames.length === 1 ? '' : 's'}` +
                (set.nibbles === 'low-first' ? ', left pixel low' : '') +
                (set.source !== set.name ? ` (${set.source})` : '');
            box.append(title);
            showFrames(box, set.frames, set.durations, set.nibbles, set.name);
            opened.append(box);
        }
    } catch (error) {
        showLines($('open-messages'), [`The page failed: ${error.message}`]);
    } finally {
        document.body.dataset.opening = 'no';
    }
}

// ---- wiring ----

function isSetFile(file) { return /\.(c|h|raw|bin)$/i.test(file.name); }

$('pick').addEventListener('change', (event) => {
    addPictures(Array.from(event.target.files));
    event.target.value = '';
});
$('open').addEventListener('change', (event) => {
    openSets(Array.from(event.target.files));
    event.target.value = '';
});
document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
    if (!event.relatedTarget) document.body.classList.remove('dragging');
});
document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    const files = Array.from(event.dataTransfer.files);
    const sets = files.filter(isSetFile), pictures = files.filter((f) => !isSetFile(f));
    if (sets.length) openSets(sets);
    if (pictures.length) addPictures(pictures);
});

$('options').addEventListener('submit', (event) => event.preventDefault());
function optionChanged(event) {
    if (event.target.id === 'zoom') return;
    if (event.target.id === 'name') state.nameEdited = $('name').value.trim() !== '';
    if (event.target.id === 'compress') $('cycles').disabled = !$('compress').checked;
    convertSoon(event.target.tagName === 'SELECT' || event.target.type === 'checkbox' ? 0 : 300);
}
$('options').addEventListener('input', optionChanged);
$('options').addEventListener('change', optionChanged);
$('zoom').addEventListener('change', () => {
    for (const canvas of document.querySelectorAll('canvas.frame')) {
        scaleCanvas(canvas);
    }
});
$('stop').addEventListener('click', () => {
    state.again = false;
    converter.stop();
});
for (const copy of document.querySelectorAll('button[data-copy]')) {
    copy.addEventListener('click', async () => {
        const text = $(copy.dataset.copy).textContent;
        try {
            await navigator.clipboard.writeText(text);
        } catch (error) {
            const range = document.createRange();
            range.selectNodeContents($(copy.dataset.copy));
            getSelection().removeAllRanges();
            getSelection().addRange(range);
            document.execCommand('copy');
        }
        copy.textContent = 'Copied';
        setTimeout(() => { copy.textContent = 'Copy'; }, 1500);
    });
}
defaultName();
