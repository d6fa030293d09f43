// SPDX-License-Identifier: Apache-2.0
// The converter's JavaScript interface, used by the page and by scripts:
//
//   import {convert, openSet} from './converter.js';
//   const result = await convert([file], {name: 'logo', dither: 'ordered'});
//   result.files['logo.c']   // Uint8Array, the bytes grayframe-embed writes
//
// Options are named as grayframe-embed's (name, mode, gray, gamma, levels, dither,
// invert, rotate, mirror, nibbles, compress, cycles, target, background, fps, start,
// duration, still-ms, max-frames); an option left out, empty or false is not given.
// The work runs in a Web Worker (worker.js) on the programs compiled to WebAssembly.

export {embedArguments, commandLine, cmakeCall, nameProblem, nameFromFile, isArrayName}
    from './options.js';
export {levelAt, frameLevels, FRAME_WIDTH, FRAME_HEIGHT, FRAME_BYTES} from './set_reader.js';

const here = new URL('.', import.meta.url);

// A file as the worker takes it: {name, bytes}. Accepts File and Blob objects (with a
// name), {name, bytes} with bytes a Uint8Array or ArrayBuffer.
async function asInput(file, index) {
    if (typeof Blob !== 'undefined' && file instanceof Blob)
        return {name: file.name || `picture-${index + 1}`,
                bytes: new Uint8Array(await file.arrayBuffer())};
    const bytes = file.bytes instanceof Uint8Array ? file.bytes : new Uint8Array(file.bytes);
    return {name: String(file.name), bytes};
}

function stoppedError() {
    const stopped = new Error('stopped');
    stopped.stopped = true;
    return stopped;
}

// One worker and the requests sent to it, one at a time.
export class Converter {
    constructor({grayframe = true} = {}) {
        this.grayframe = grayframe;
        this.pending = new Map();
        this.next = 1;
        this.stops = 0;
        this.start();
    }

    start() {
        this.worker = new Worker(new URL('worker.js', here));
        this.ready = new Promise((resolve, reject) => {
            this.readyNow = resolve;
            this.unavailable = reject;
        });
        this.ready.catch(() => {});
        this.worker.onmessage = (event) => this.receive(event.data);
        this.worker.onerror = (event) => {
            const error = new Error(event.message || 'the worker failed');
            this.unavailable(error);
            for (const request of this.pending.values()) request.reject(error);
            this.pending.clear();
        };
        this.worker.postMessage({type: 'load', grayframe: this.grayframe});
    }

    receive(message) {
        if (message.type === 'ready') return this.readyNow();
        if (message.type === 'unavailable') return this.unavailable(new Error(message.error));
        const request = this.pending.get(message.id);
        if (!request) return;
        if (message.type === 'progress') {
            if (request.hooks.onProgress) request.hooks.onProgress(message);
        } else if (message.type === 'set') {
            if (request.hooks.onFrames) request.hooks.onFrames(message.result);
        } else {
            this.pending.delete(message.id);
            if (message.type === 'done') request.resolve(message.result);
            else request.reject(new Error(message.error));
        }
    }

    // Sends message once its files are read; a stop() in between ends it too.
    async request(message, files, hooks = {}) {
        const stops = this.stops;
        message.files = await Promise.all(Array.from(files, asInput));
        if (stops !== this.stops) throw stoppedError();
        const id = this.next++;
        return new Promise((resolve, reject) => {
            this.pending.set(id, {resolve, reject, hooks});
            this.worker.postMessage(Object.assign({id}, message));
        });
    }

    get busy() { return this.pending.size > 0; }

    // Makes the set: {files: {name: Uint8Array}, frames: [{index, bytes, label, picture,
    // durationMs}], messages: [line], command, cmake, nibbles, sizes, left: [file name]}.
    // hooks.onFrames(result) is called as soon as the frames are made (before
    // grayframe's own files and the compressed sizes); hooks.onProgress({read, total,
    // frames, expected}) while the program runs.
    convert(files, options, hooks = {}) {
        return this.request({type: 'convert', options: Object.assign({}, options),
                             grayframe: hooks.grayframe, sizes: hooks.sizes}, files, hooks);
    }

    // Reads sets (NAME.c with its NAME.h, grayframe headers, raw streams):
    // {sets: [{name, source, kind, frames, durations, labels, nibbles, code}], messages}.
    openSet(files) {
        return this.request({type: 'open'}, files);
    }

    // Ends whatever runs: its requests fail with 'stopped', and a fresh worker starts.
    stop() {
        ++this.stops;
        this.worker.terminate();
        for (const request of this.pending.values()) request.reject(stoppedError());
        this.pending.clear();
        this.start();
    }
}

let shared = null;
function converter() {
    shared = shared || new Converter();
    return shared;
}

export function convert(files, options, hooks) { return converter().convert(files, options, hooks); }
export function openSet(files) { return converter().openSet(files); }
