// SPDX-License-Identifier: Apache-2.0
// The page's worker (a classic one): runs grayframe-embed and grayframe, compiled to
// WebAssembly, on the pictures the page sends, away from the page's thread. Stopping a
// run is terminating this worker; the page starts a new one.
'use strict';

const FRAME_BYTES = 4080;
// The text grayframe-embed writes for one frame's rows (its scratch file holds one
// such block a frame, written as the frame is made).
const FRAME_ROWS_TEXT_BYTES = 80 * (8 + 51 * 4 + 50 * 2 + 2) - 1;

let readerModule = null;   // set_reader.js
let optionsModule = null;  // options.js
const programs = {};       // program name -> promise of its module
let capture = null;        // the running program's standard output and error
let progress = null;       // what the running program has done, for the page

function helpers() {
    readerModule = readerModule || import('./set_reader.js');
    optionsModule = optionsModule || import('./options.js');
    return Promise.all([readerModule, optionsModule]);
}

// Counts what the program reads of its inputs and the frames whose rows it writes.
function watchFiles(FS) {
    if (typeof FS.read === 'function') {
        const read = FS.read;
        FS.read = function (stream, buffer, offset, length, position) {
            const got = read.apply(this, arguments);
            if (progress && stream && progress.inputs.has(stream.path)) {
                const end = (position === undefined ? stream.position : position + got);
                const seen = progress.inputs.get(stream.path);
                if (end > seen) {
                    progress.read += end - seen;
                    progress.inputs.set(stream.path, end);
                }
                report();
            }
            return got;
        };
    }
    if (typeof FS.write === 'function') {
        const write = FS.write;
        FS.write = function (stream, buffer, offset, length) {
            if (progress && length === FRAME_ROWS_TEXT_BYTES) {
                ++progress.frames;
                report();
            }
            return write.apply(this, arguments);
        };
    }
}

function report(force) {
    const now = Date.now();
    if (!force && now - progress.sent < 100) return;
    progress.sent = now;
    postMessage({type: 'progress', id: progress.id, read: progress.read,
                 total: progress.total, frames: progress.frames,
                 expected: progress.expected});
}

function load(program) {
    if (!programs[program]) {
        const factory = program === 'grayframe' ? 'createGrayframe' : 'createGrayframeEmbed';
        programs[program] = (async () => {
            if (typeof self[factory] !== 'function') importScripts(program + '.js');
            const module = await self[factory]({
                stdout: (byte) => { if (capture && byte !== null) capture.out.push(byte); },
                stderr: (byte) => { if (capture && byte !== null) capture.err.push(byte); },
                print: () => {},
                printErr: () => {},
            });
            watchFiles(module.FS);
            return module;
        })();
        programs[program].catch(() => { delete programs[program]; });
    }
    return programs[program];
}

let runs = 0;

// Puts the standard streams back as the module opened them and closes what a run left
// open: a run may point them elsewhere (grayframe-embed sends the libraries' messages to
// /dev/null for its own run) and the next run must find them as a process would.
function restoreStreams(FS, before) {
    for (let fd = 3; fd < FS.streams.length; ++fd) {
        const stream = FS.streams[fd];
        if (stream && !before.has(stream)) {
            try { FS.close(stream); } catch (e) { FS.streams[fd] = null; }
        }
    }
    ['/dev/stdin', '/dev/stdout', '/dev/stderr'].forEach((path, fd) => {
        const stream = FS.streams[fd];
        if (stream && stream.path === path) return;
        if (stream) {
            try { FS.close(stream); } catch (e) { FS.streams[fd] = null; }
        }
        const opened = FS.open(path, fd === 0 ? 0 : 1);
        FS.streams[opened.fd] = null;
        opened.fd = fd;
        FS.streams[fd] = opened;
    });
}

// Runs program with args in a fresh folder holding inputs ([{name, bytes}]), as a user
// would in that folder: {status, stdout, stderr, outputs: {name: bytes}, crashed}.
async function run(program, args, inputs) {
    const module = await load(program);
    const FS = module.FS;
    const dir = '/run/' + (++runs);
    try { FS.mkdir('/run'); } catch (e) { /* there already */ }
    FS.mkdir(dir);
    for (const input of inputs) FS.writeFile(dir + '/' + input.name, input.bytes, {canOwn: true});
    FS.chdir(dir);
    capture = {out: [], err: []};
    const before = new Set(FS.streams.filter(Boolean));
    let status, crashed = false;
    try {
        status = module.callMain(args);
    } catch (error) {
        if (error && error.name === 'ExitStatus') {
            status = error.status;
        } else {
            crashed = true;
            status = -1;
            delete programs[program];  // its memory is no longer to be trusted
            const reason = String(error && error.message || error).split('\n')[0];
            capture.err.push(...new TextEncoder().encode(`${program}: ${reason}\n`));
        }
    }
    const result = {status, crashed, stdout: Uint8Array.from(capture.out),
                    stderr: Uint8Array.from(capture.err), outputs: {}};
    capture = null;
    if (!crashed) {
        restoreStreams(FS, before);
        FS.chdir('/');
        const names = new Set(inputs.map((input) => input.name));
        for (const entry of FS.readdir(dir)) {
            if (entry === '.' || entry === '..') continue;
            const path = dir + '/' + entry;
            if (!names.has(entry) && FS.isFile(FS.stat(path).mode))
                result.outputs[entry] = FS.readFile(path);
            FS.unlink(path);
        }
        FS.rmdir(dir);
    }
    return result;
}

function lines(bytes) {
    let text = '';
    for (const byte of bytes) text += String.fromCharCode(byte);  // Latin-1
    return text.split('\n').filter((line) => line.trim() !== '');
}

// What a file is, from its first bytes (and, for videos, its name).
function kindOf(file) {
    const b = file.bytes;
    const ascii = (at, text) => [...text].every((c, k) => b[at + k] === c.charCodeAt(0));
    if (ascii(0, 'GIF8')) return 'gif';
    if (ascii(0, 'RIFF') && ascii(8, 'WEBPVP8X') && (b[20] & 2)) return 'webp';
    if (ascii(0, 'RIFF') && ascii(8, 'AVI ')) return 'video';
    if (b[0] === 0x89 && ascii(1, 'PNG')) {
        for (let at = 8; at + 8 <= b.length;) {
            const length = ((b[at] << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]) >>> 0;
            if (ascii(at + 4, 'acTL')) return 'apng';
            if (ascii(at + 4, 'IDAT')) break;
            at += 12 + length;
        }
        return 'still';
    }
    if (ascii(4, 'ftyp') && !/^(avif|avis|heic|heix|mif1|msf1)$/.test(
            String.fromCharCode(b[8], b[9], b[10], b[11]))) return 'video';
    if (b[0] === 0x1a && b[1] === 0x45 && b[2] === 0xdf && b[3] === 0xa3) return 'video';
    if (/\.(mp4|m4v|mov|webm|mkv|avi|flv|ogv|mpg|mpeg|ts|m2ts|wmv|3gp)$/i.test(file.name))
        return 'video';
    return 'still';
}

// How many frames an animation has, when its file says so cheaply (else 1).
function framesIn(file, kind) {
    const b = file.bytes;
    if (kind === 'apng') {
        for (let at = 8; at + 16 <= b.length;) {
            const length = ((b[at] << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3]) >>> 0;
            if (String.fromCharCode(b[at + 4], b[at + 5], b[at + 6], b[at + 7]) === 'acTL')
                return ((b[at + 8] << 24) | (b[at + 9] << 16) | (b[at + 10] << 8) | b[at + 11]) >>> 0;
            at += 12 + length;
        }
    } else if (kind === 'webp') {
        let count = 0;
        for (let at = 12; at + 8 <= b.length;) {
            if (String.fromCharCode(b[at], b[at + 1], b[at + 2], b[at + 3]) === 'ANMF') ++count;
            at += 8 + ((b[at + 4] | (b[at + 5] << 8) | (b[at + 6] << 16) | (b[at + 7] << 24)) >>> 0);
            at += at & 1;
        }
        return count || 1;
    } else if (kind === 'gif') {
        let count = 0, at = 13;
        if (b[10] & 0x80) at += 3 << ((b[10] & 7) + 1);
        while (at < b.length && b[at] !== 0x3b) {
            if (b[at] === 0x21) {
                at += 2;
            } else if (b[at] === 0x2c) {
                ++count;
                const flags = b[at + 9];
                at += 10;
                if (flags & 0x80) at += 3 << ((flags & 7) + 1);
                ++at;  // the LZW code size
            } else {
                break;
            }
            while (at < b.length && b[at] !== 0) at += b[at] + 1;
            ++at;
        }
        return count || 1;
    }
    return 1;
}

function videoLine(name) {
    return `grayframe-embed: cannot read image '${name}': this page reads no videos ` +
        '(GIF, animated WebP and APNG only): make their frames with grayframe-embed ' +
        'on your machine';
}

const failing = /^grayframe-embed: cannot read (?:page \d+ of )?image '([\s\S]*)'(?::|$)/;

// Makes the set; a file that fails is left out, its line kept, and the others go on.
async function makeSet(id, files, options, messages) {
    const [, opts] = await helpers();
    let inputs = files.slice();
    for (;;) {
        if (inputs.length === 0) return null;
        const names = inputs.map((input) => input.name);
        const args = opts.embedArguments(names, options);
        progress = {id, inputs: new Map(inputs.map((i) => [`/run/${runs + 1}/${i.name}`, 0])),
                    read: 0, total: inputs.reduce((sum, i) => sum + i.bytes.length, 0),
                    frames: 0, sent: 0,
                    expected: inputs.reduce((sum, i) => sum + framesIn(i, kindOf(i)), 0)};
        report(true);
        const result = await run('grayframe-embed', args, inputs);
        progress = null;
        const said = lines(result.stderr);
        if (result.status === 0) {
            messages.push(...said);
            return {args, inputs, outputs: result.outputs};
        }
        const line = said[said.length - 1] || `grayframe-embed: exit status ${result.status}`;
        const named = line.match(failing);
        if (result.crashed && inputs.length > 1) {
            // Which file it was is not said: each is tried alone.
            const kept = [];
            for (const input of inputs) {
                const alone = await run('grayframe-embed', opts.embedArguments([input.name], options), [input]);
                if (alone.crashed)
                    messages.push(`grayframe-embed: cannot read image '${input.name}': ` +
                                  lines(alone.stderr).pop().replace(/^grayframe-embed: /, ''));
                else
                    kept.push(input);
            }
            if (kept.length === inputs.length) return null;
            inputs = kept;
            continue;
        }
        messages.push(result.crashed && inputs.length === 1
            ? `grayframe-embed: cannot read image '${inputs[0].name}': ` +
              line.replace(/^grayframe-embed: /, '')
            : line);
        const culprit = named ? inputs.findIndex((input) => input.name === named[1]) : -1;
        if (result.crashed && inputs.length === 1) return null;
        if (culprit < 0) return null;  // the options or the name: nothing to leave out
        inputs.splice(culprit, 1);
    }
}

async function decodeWith(code) {
    const module = await load('grayframe-embed');
    const at = module._malloc(code.length);
    module.HEAPU8.set(code, at);
    try {
        const count = module._grayframe_web_frame_count(at, code.length);
        if (count < 0) throw new Error('not a compressed set, or a damaged one');
        const out = module._malloc(Math.max(1, count) * FRAME_BYTES);
        try {
            const made = module._grayframe_web_decode_set(at, code.length, out, count);
            if (made < 0) throw new Error('a damaged compressed set');
            const frames = [];
            for (let k = 0; k < made; ++k)
                frames.push(module.HEAPU8.slice(out + k * FRAME_BYTES, out + (k + 1) * FRAME_BYTES));
            return frames;
        } finally {
            module._free(out);
        }
    } finally {
        module._free(at);
    }
}

// Which picture (index into files) each frame comes from, from the frames' labels.
function pictureOfFrames(labels, count, inputs, files) {
    const picture = [];
    let k = 0;
    for (const input of inputs) {
        const index = files.indexOf(input);
        const label = labels[k] || '';
        const many = label.match(/, (?:frame|page) \d+ of (\d+)$/);
        const n = many && label.startsWith(input.name) ? Number(many[1]) : 1;
        for (let i = 0; i < n && k < count; ++i, ++k) picture.push(index);
    }
    while (picture.length < count) picture.push(-1);
    return picture;
}

async function convert(message) {
    const {id, files, options} = message;
    const [reader, opts] = await helpers();
    const messages = [];
    const pictures = [];
    for (const file of files) {
        if (kindOf(file) === 'video') messages.push(videoLine(file.name));
        else pictures.push(file);
    }
    const made = await makeSet(id, pictures, options, messages);
    const result = {files: {}, frames: [], messages, command: '', cmake: '', nibbles: 'high-first',
                    sizes: null, left: files.filter((f) => !made || !made.inputs.includes(f))
                                             .map((f) => f.name)};
    if (!made) return result;
    const names = made.inputs.map((input) => input.name);
    result.command = opts.commandLine('grayframe-embed', made.args);
    result.cmake = opts.cmakeCall(names, options);
    const name = options.name;
    for (const ext of ['.h', '.c'])
        if (made.outputs[name + ext]) result.files[name + ext] = made.outputs[name + ext];
    const {sets, messages: problems} = await reader.readSets(
        [{name: name + '.c', bytes: made.outputs[name + '.c'] || new Uint8Array()}], decodeWith);
    if (!sets.length) {
        messages.push(...problems);
        return result;
    }
    const set = sets[0];
    result.nibbles = set.nibbles;
    const picture = pictureOfFrames(set.labels, set.frames.length, made.inputs, files);
    result.frames = set.frames.map((bytes, k) => ({
        index: k, bytes, label: set.labels[k] || '', picture: picture[k],
        durationMs: set.durations ? set.durations[k] : null}));
    const raw = new Uint8Array(set.frames.length * FRAME_BYTES);
    set.frames.forEach((frame, k) => raw.set(frame, k * FRAME_BYTES));
    result.files[name + '.raw'] = raw;
    result.sizes = {raw: set.frames.map(() => FRAME_BYTES), rawTotal: raw.length,
                    compressed: set.code ? reader.codeFrameSizes(set.code) : null,
                    compressedTotal: set.code ? set.code.length : null};
    postMessage({type: 'set', id, result});

    // grayframe's own files for one still picture, as grayframe names them.
    if (message.grayframe !== false && made.inputs.length === 1 &&
            kindOf(made.inputs[0]) === 'still') {
        const input = made.inputs[0];
        const mode = String(options.mode || 'fitin');
        try {
            const own = await run('grayframe', ['-i', input.name, '-resizemode', mode], [input]);
            for (const ext of ['_out.h', '_out.bmp'])
                if (own.outputs[input.name + ext]) result.files[input.name + ext] = own.outputs[input.name + ext];
        } catch (error) {
            messages.push(`grayframe's own files cannot be made here: ${error.message}`);
        }
    }
    // The compressed sizes of a set not asked to be compressed.
    if (message.sizes !== false && !set.code) {
        const args = opts.embedArguments(names, Object.assign({}, options, {compress: true, target: ''}));
        const compressed = await run('grayframe-embed', args, made.inputs).catch(() => null);
        const c = compressed && compressed.status === 0 && compressed.outputs[name + '.c'];
        const again = c && (await reader.readSets([{name: name + '.c', bytes: c}])).sets[0];
        if (again && again.code) {
            result.sizes.compressed = reader.codeFrameSizes(again.code);
            result.sizes.compressedTotal = again.code.length;
        }
    }
    return result;
}

async function open(message) {
    const [reader] = await helpers();
    return reader.readSets(message.files, decodeWith);
}

function transferables(result) {
    const list = [];
    const add = (bytes) => { if (bytes && bytes.buffer && !list.includes(bytes.buffer)) list.push(bytes.buffer); };
    if (result.files) Object.values(result.files).forEach(add);
    return list;
}

onmessage = async (event) => {
    const message = event.data;
    if (message.type === 'load') {
        try {
            await Promise.all([helpers(), load('grayframe-embed')]);
            postMessage({type: 'ready'});
            if (message.grayframe !== false) await load('grayframe');
        } catch (error) {
            postMessage({type: 'unavailable', error: String(error && error.message || error)});
        }
        return;
    }
    try {
        const result = message.type === 'open' ? await open(message) : await convert(message);
        postMessage({type: 'done', id: message.id, result}, transferables(result));
    } catch (error) {
        postMessage({type: 'failed', id: message.id, error: String(error && error.message || error)});
    }
};
