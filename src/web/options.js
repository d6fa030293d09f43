// SPDX-License-Identifier: Apache-2.0
// The page's options as grayframe-embed's command line: the arguments, the text shown
// to the user, the grayframe_add_frames() call, and the set's name.

// Every option the page takes, in the order grayframe-embed's help lists them, with its
// CMake keyword; flags take no value.
export const OPTIONS = [
    {name: 'mode', keyword: 'MODE', fallback: 'fitin'},
    {name: 'compress', keyword: 'COMPRESS', flag: true},
    {name: 'cycles', keyword: 'CYCLES'},
    {name: 'target', keyword: 'TARGET'},
    {name: 'gray', keyword: 'GRAY'},
    {name: 'gamma', keyword: 'GAMMA'},
    {name: 'levels', keyword: 'LEVELS'},
    {name: 'dither', keyword: 'DITHER'},
    {name: 'invert', keyword: 'INVERT', flag: true},
    {name: 'rotate', keyword: 'ROTATE'},
    {name: 'mirror', keyword: 'MIRROR'},
    {name: 'nibbles', keyword: 'NIBBLES', fallback: 'high-first'},
    {name: 'background', keyword: 'BACKGROUND'},
    {name: 'still-ms', keyword: 'STILL_MS'},
    {name: 'fps', keyword: 'FPS'},
    {name: 'start', keyword: 'START'},
    {name: 'duration', keyword: 'DURATION'},
    {name: 'max-frames', keyword: 'MAX_FRAMES'},
];

// The options actually given: [option, value] pairs (value true for a flag), leaving
// out what is empty, off or the program's default.
export function givenOptions(options) {
    const given = [];
    for (const option of OPTIONS) {
        let value = options[option.name];
        if (option.flag) {
            if (value === true) given.push([option, true]);
            continue;
        }
        if (value === undefined || value === null || value === false) continue;
        value = String(value).trim();
        if (value === '' || value === option.fallback) continue;
        given.push([option, value]);
    }
    return given;
}

// grayframe-embed's arguments (without the program's name) for the files, in order.
export function embedArguments(fileNames, options) {
    const args = ['--name', String(options.name ?? '')];
    for (const [option, value] of givenOptions(options)) {
        args.push('--' + option.name);
        if (value !== true) args.push(value);
    }
    if (fileNames.some((name) => name.startsWith('-'))) args.push('--');
    return args.concat(fileNames);
}

// An argument as a POSIX shell takes it back unchanged.
export function shellQuote(text) {
    if (/^[A-Za-z0-9_@%+=:,./-]+$/.test(text)) return text;
    return "'" + text.replace(/'/g, "'\\''") + "'";
}

export function commandLine(program, args) {
    return [program, ...args].map(shellQuote).join(' ');
}

function cmakeQuote(text) {
    if (text !== '' && !/[\s()#"\\$;]/.test(text)) return text;
    return '"' + text.replace(/[\\"$]/g, (c) => '\\' + c) + '"';
}

// The grayframe_add_frames() call that makes the same set from the same files.
export function cmakeCall(fileNames, options, target = 'firmware') {
    const words = [target, 'NAME', String(options.name ?? '')];
    for (const [option, value] of givenOptions(options)) {
        words.push(option.keyword);
        if (value !== true) words.push(value);
    }
    words.push('IMAGES', ...fileNames);
    return 'grayframe_add_frames(' + words.map(cmakeQuote).join(' ') + ')';
}

// The keywords of C (to C23) and C++ (to C++20), which --name refuses.
const KEYWORDS = new Set(
    ('alignas alignof and and_eq asm auto bitand bitor bool break case catch char ' +
     'char8_t char16_t char32_t class compl concept const consteval constexpr ' +
     'constinit const_cast continue co_await co_return co_yield decltype default ' +
     'delete do double dynamic_cast else enum explicit export extern false float for ' +
     'friend goto if inline int long mutable namespace new noexcept not not_eq ' +
     'nullptr operator or or_eq private protected public register reinterpret_cast ' +
     'requires restrict return short signed sizeof static static_assert static_cast ' +
     'struct switch template this thread_local throw true try typedef typeid typename ' +
     'typeof typeof_unqual union unsigned using virtual void volatile wchar_t while ' +
     'xor xor_eq _Alignas _Alignof _Atomic _BitInt _Bool _Complex _Decimal32 ' +
     '_Decimal64 _Decimal128 _Generic _Imaginary _Noreturn _Static_assert ' +
     '_Thread_local').split(' '));

export function isArrayName(name) {
    return /^[A-Za-z_][A-Za-z0-9_]*$/.test(name) && !/^_[_A-Z]/.test(name) &&
        !KEYWORDS.has(name);
}

// The line grayframe-embed prints for a name it refuses, or '' for a good name.
export function nameProblem(name) {
    if (isArrayName(name)) return '';
    return `grayframe-embed: '${name}' cannot name a C array (letters, digits and _, ` +
        'not first a digit, not a keyword)';
}

// A name made from a file name: its letters, digits and _ up to the last dot, anything
// else as _, and made a C identifier where it is not one.
export function nameFromFile(fileName) {
    const dot = fileName.lastIndexOf('.');
    const stem = dot > 0 ? fileName.slice(0, dot) : fileName;
    let name = stem.replace(/[^A-Za-z0-9_]/g, '_');
    if (name === '' || /^_*$/.test(name)) return 'frames';
    if (!/^[A-Za-z]/.test(name)) name = 'frames_' + name.replace(/^_+/, '');
    return isArrayName(name) ? name : name + '_frames';
}
