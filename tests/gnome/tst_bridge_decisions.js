// The GNOME Shell bridge's pure decisions, run by gjs:
//   gjs tst_bridge_decisions.js EXTENSION_SOURCE_DIR
imports.searchPath.unshift(ARGV[0]);
const {Decisions} = imports.decisions;

let passed = 0, failed = 0;
function check(name, actual, expected) {
    const a = JSON.stringify(actual), e = JSON.stringify(expected);
    if (a === e) {
        ++passed;
    } else {
        ++failed;
        print(`FAIL ${name}: got ${a}, expected ${e}`);
    }
}

const text = ['text/plain;charset=utf-8', 'text/plain'];
const marked = [...text, 'x-kde-passwordManagerHint'];
const settleRows = [
    ['nothing owns it', {owner: null, vanishedMsAgo: 0, lostConcealed: false},
        {origin: 'none', concealed: false, readText: false}],
    ['our own write', {owner: {kind: 'memory', ours: true, types: text}, vanishedMsAgo: null, lostConcealed: true},
        {origin: 'ours', concealed: false, readText: false}],
    ['a Wayland text copy', {owner: {kind: 'wayland', ours: false, types: text}, vanishedMsAgo: null, lostConcealed: false},
        {origin: 'wayland', concealed: false, readText: true}],
    ['a concealed X11 copy', {owner: {kind: 'x11', ours: false, types: marked}, vanishedMsAgo: null, lostConcealed: false},
        {origin: 'x11', concealed: true, readText: false}],
    ['an image', {owner: {kind: 'wayland', ours: false, types: ['image/png']}, vanishedMsAgo: null, lostConcealed: false},
        {origin: 'wayland', concealed: false, readText: false}],
    ['re-offer of a concealed copy', {owner: {kind: 'memory', ours: false, types: text}, vanishedMsAgo: 3, lostConcealed: true},
        {origin: 'keeper', concealed: true, readText: false}],
    ['re-offer of a plain copy', {owner: {kind: 'memory', ours: false, types: text}, vanishedMsAgo: 0, lostConcealed: false},
        {origin: 'keeper', concealed: false, readText: true}],
    ['memory source long after a concealed loss', {owner: {kind: 'memory', ours: false, types: text}, vanishedMsAgo: 900, lostConcealed: true},
        {origin: 'other', concealed: false, readText: true}],
    ['a marker past the 1,024th type', {owner: {kind: 'wayland', ours: false,
        types: [...text, ...Array.from({length: 1100}, (_, i) => `x-other-${i}`), 'x-kde-passwordManagerHint']},
    vanishedMsAgo: null, lostConcealed: false}, {origin: 'wayland', concealed: true, readText: false}],
    ['a client copy right after a concealed loss', {owner: {kind: 'wayland', ours: false, types: text}, vanishedMsAgo: 1, lostConcealed: true},
        {origin: 'wayland', concealed: false, readText: true}],
];
for (const [name, input, expected] of settleRows)
    check(`settle: ${name}`, Decisions.settle(input), expected);

const strokeRows = [
    ['Ctrl+V on a US layout', 'ctrl-v', 'us', {by: 'keyval', keys: [0xffe3, 0x76]}],
    ['Ctrl+Shift+V on Dvorak', 'ctrl-shift-v', 'us+dvorak', {by: 'keyval', keys: [0xffe3, 0xffe1, 0x76]}],
    ['Ctrl+V on a Russian layout', 'ctrl-v', 'ru', {by: 'keycode', keys: [29, 47]}],
    ['Ctrl+V on Serbian Latin', 'ctrl-v', 'rs+latin', {by: 'keyval', keys: [0xffe3, 0x76]}],
    ['unknown layout', 'ctrl-v', null, {by: 'keyval', keys: [0xffe3, 0x76]}],
    ['any other stroke', 'alt-f4', 'us', null],
];
for (const [name, stroke, layout, expected] of strokeRows)
    check(`stroke: ${name}`, Decisions.strokeKeys(stroke, layout), expected);

const exe = '/usr/bin/tavorindle';
const programRows = [
    ['the program', {uid: 1000, ownUid: 1000, exe, expectedExe: exe}, true],
    ['the program after an upgrade', {uid: 1000, ownUid: 1000, exe: `${exe} (deleted)`, expectedExe: exe}, true],
    ['another user', {uid: 0, ownUid: 1000, exe, expectedExe: exe}, false],
    ['another executable', {uid: 1000, ownUid: 1000, exe: '/tmp/tavorindle', expectedExe: exe}, false],
    ['an unreadable process', {uid: 1000, ownUid: 1000, exe: null, expectedExe: exe}, false],
];
for (const [name, input, expected] of programRows)
    check(`program: ${name}`, Decisions.isProgram(input), expected);

check('text type: UTF-8 first', Decisions.textType(['text/plain', 'UTF8_STRING', 'text/plain;charset=utf-8']),
    'text/plain;charset=utf-8');
check('text type: none', Decisions.textType(['image/png']), null);

print(`${passed} passed, ${failed} failed`);
if (failed)
    imports.system.exit(1);
