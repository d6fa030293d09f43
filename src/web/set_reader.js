// SPDX-License-Identifier: Apache-2.0
// Reads frames back from the files grayframe and grayframe-embed write: a set's NAME.c
// (with or without its NAME.h; plain, compressed or for AVR), a grayframe header
// (FILE_out.h) and a raw stream of 4080-byte frames (-printdata, NAME.raw).

export const FRAME_WIDTH = 102;
export const FRAME_HEIGHT = 80;
export const ROW_BYTES = 51;
export const FRAME_BYTES = 4080;

// The level (0 to 15) of pixel (x, y) of a packed frame.
export function levelAt(frame, x, y, nibbles = 'high-first') {
    const byte = frame[y * ROW_BYTES + (x >> 1)];
    const high = (x % 2 === 0) === (nibbles !== 'low-first');
    return high ? byte >> 4 : byte & 15;
}

// The frame's levels, one byte a pixel, row by row from the top.
export function frameLevels(frame, nibbles = 'high-first') {
    const levels = new Uint8Array(FRAME_WIDTH * FRAME_HEIGHT);
    const lowFirst = nibbles === 'low-first';
    for (let i = 0; i < FRAME_BYTES; ++i) {
        const high = frame[i] >> 4, low = frame[i] & 15;
        levels[2 * i] = lowFirst ? low : high;
        levels[2 * i + 1] = lowFirst ? high : low;
    }
    return levels;
}

export function latin1(bytes) {
    let text = '';
    for (let i = 0; i < bytes.length; i += 8192)
        text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
    return text;
}

function looksLikeText(name, bytes) {
    if (/\.(c|h|hpp|cpp|inc|txt)$/i.test(name)) return true;
    if (/\.(raw|bin)$/i.test(name)) return false;
    const head = bytes.subarray(0, 4096);
    return head.length > 0 && head.every((b) => b === 9 || b === 10 || b === 13 ||
                                                 (b >= 32 && b < 127));
}

// The numbers of an initializer or a directive: 0x.. and decimal.
function numbers(text) {
    return (text.match(/0[xX][0-9a-fA-F]+|\d+/g) || []).map((t) => Number(t));
}

// From the text of a C file: every 'const unsigned char|short X[...]... = {...}' as
// {type, name, values}, in order, and every assembler object '.type X, @object' with its
// .byte / .2byte values.
function dataOf(text) {
    const found = [];
    const code = text.replace(/\/\*[\s\S]*?\*\//g, ' ').replace(/\/\/[^\n]*/g, ' ');
    const declaration = /const\s+unsigned\s+(char|short)\s+(\w+)\s*(?:\[[^\]]*\]\s*)+[^=;{}]*=\s*\{/g;
    let match;
    while ((match = declaration.exec(code))) {
        let depth = 1, at = declaration.lastIndex;
        while (at < code.length && depth > 0) {
            if (code[at] === '{') ++depth;
            else if (code[at] === '}') --depth;
            ++at;
        }
        found.push({type: match[1], name: match[2],
                    values: numbers(code.slice(declaration.lastIndex, at - 1))});
        declaration.lastIndex = at;
    }
    const objects = code.split(/\.type\s+/).slice(1);
    for (const object of objects) {
        const name = object.match(/^(\w+)/);
        if (!name || !/@object/.test(object.slice(0, 200))) continue;
        const body = object.split(/\.size\s/)[0];
        const directive = /\.(2?byte)\s+([^\\"]*)/g;
        const values = [];
        let type = 'char', part;
        while ((part = directive.exec(body))) {
            if (part[1] === '2byte') type = 'short';
            values.push(...numbers(part[2]));
        }
        found.push({type, name: name[1], values});
    }
    return found;
}

function splitFrames(bytes) {
    const frames = [];
    for (let at = 0; at + FRAME_BYTES <= bytes.length; at += FRAME_BYTES)
        frames.push(bytes.slice(at, at + FRAME_BYTES));
    return frames;
}

// What the opening comment of NAME.c (or NAME.h) says.
function setComment(text) {
    const head = text.match(/^\/\*([\s\S]*?)\*\//);
    if (!head) return null;
    const first = head[1].match(/^\s*(\w+): (\d+) frames? made by grayframe-embed/);
    if (!first) return null;
    const labels = [];
    for (const line of head[1].split('\n')) {
        const label = line.match(/^ \*   \[(\d+)\] (.*)$/);
        if (label) labels[Number(label[1])] = label[2];
    }
    return {name: first[1], count: Number(first[2]), labels,
            nibbles: /in the low nibble/.test(head[1]) ? 'low-first' : 'high-first'};
}

// Frame k's record size in a compressed set's code, from its index.
export function codeFrameSizes(code) {
    if (code.length < 5 || code[0] !== 0x47 || code[1] !== 0x46) return null;
    const count = code[3] | (code[4] << 8);
    if (code.length < 5 + 3 * count) return null;
    const offset = (k) => code[5 + 3 * k] | (code[6 + 3 * k] << 8) | (code[7 + 3 * k] << 16);
    const sizes = [];
    for (let k = 0; k < count; ++k)
        sizes.push((k + 1 < count ? offset(k + 1) : code.length) - offset(k));
    return sizes;
}

// Reads the sets among files ([{name, bytes}]). decode(code) gives a compressed set's
// frames (a promise of an array of 4080-byte Uint8Arrays) or throws with the reason;
// without it a compressed set comes with its code and no frames.
// Returns {sets: [{name, source, kind, frames, durations, labels, nibbles, code}],
// messages: [one line per file that gives no frames]}.
export async function readSets(files, decode) {
    const sets = [], messages = [];
    const headers = new Map();  // a set's name -> its NAME.h's file name
    const sources = new Set();
    for (const file of files) {
        const bytes = file.bytes;
        if (!looksLikeText(file.name, bytes)) {
            if (bytes.length === 0 || bytes.length % FRAME_BYTES !== 0) {
                messages.push(`${file.name}: not a raw stream of 4080-byte frames ` +
                              `(${bytes.length} bytes)`);
                continue;
            }
            sets.push({name: file.name, source: file.name, kind: 'raw',
                       frames: splitFrames(bytes), durations: null, labels: [],
                       nibbles: 'high-first', code: null});
            continue;
        }
        const text = latin1(bytes);
        const comment = setComment(text);
        const data = dataOf(text);
        if (comment && /#ifndef\s+GRAYFRAME_SET_/.test(text) && !/=\s*\{/.test(text) &&
            !/__asm__/.test(text)) {
            headers.set(comment.name, file.name);
            continue;
        }
        const imageData = data.find((d) => d.name === 'c_imgData');
        if (imageData) {
            if (imageData.values.length !== FRAME_BYTES) {
                messages.push(`${file.name}: c_imgData holds ${imageData.values.length} ` +
                              'bytes, not 4080');
                continue;
            }
            sets.push({name: file.name, source: file.name, kind: 'header',
                       frames: [Uint8Array.from(imageData.values)], durations: null,
                       labels: [], nibbles: 'high-first', code: null});
            continue;
        }
        if (!comment) {
            messages.push(`${file.name}: not a set grayframe-embed wrote, a grayframe ` +
                          'header or a raw stream');
            continue;
        }
        const durations = data.find((d) => d.type === 'short' && /_durations(_ms)?$/.test(d.name));
        const codeData = data.find((d) => d.type === 'char' && d.name === comment.name + '_code');
        const set = {name: comment.name, source: file.name, kind: 'array', frames: [],
                     durations: durations ? durations.values : null,
                     labels: comment.labels, nibbles: comment.nibbles, code: null};
        try {
            if (codeData) {
                set.kind = 'code';
                set.code = Uint8Array.from(codeData.values);
                set.frames = decode ? await decode(set.code) : null;
            } else {
                const bytes = [];
                for (const d of data)
                    if (d.type === 'char' && (d.name === comment.name || /^frame_\d+$/.test(d.name)))
                        for (const v of d.values) bytes.push(v);
                if (bytes.length !== comment.count * FRAME_BYTES)
                    throw new Error(`holds ${bytes.length} bytes of frames, not ` +
                                    `${comment.count} x 4080`);
                set.frames = splitFrames(Uint8Array.from(bytes));
            }
        } catch (error) {
            messages.push(`${file.name}: ${error.message}`);
            continue;
        }
        if (set.frames && set.frames.length !== comment.count) {
            messages.push(`${file.name}: gives ${set.frames.length} frames, its comment ` +
                          `says ${comment.count}`);
            continue;
        }
        sources.add(comment.name);
        sets.push(set);
    }
    for (const [name, header] of headers)
        if (!sources.has(name))
            messages.push(`${header}: declares the set ${name}; its frames are in ` +
                          `${name}.c: open that too`);
    return {sets, messages};
}
