// The bridge's scripts load as ES modules and export what the 45+ entry
// imports: gjs -m tst_bridge_modules.js MODULE_DIR
import GLib from 'gi://GLib';
import System from 'system';

const dir = System.programArgs[0];

// ReadText for the change last reported (serial 3) fills the pipe; for an
// older serial it answers Stale and transfers nothing: the newer copy's
// text, maybe a concealed one, must not go out under the old serial.
function readTextSendsOnlyTheNewestChange(Bridge, Decisions) {
    for (const [serial, expected] of [[3, 'transfer'], [2, 'app.tavorindle.Error.Stale']]) {
        const seen = [];
        const Gio = {
            UnixOutputStream: class {
                close() {
                    seen.push('closed');
                }
            },
            Cancellable: class {
                cancel() {}
            },
        };
        const bridge = new Bridge({Gio, GLib, decisions: Decisions});
        Object.assign(bridge, {
            _program: ':1.5', _serial: 3, _transfer: null, _clipboard: 1,
            _readable: {serial: 3, mimeType: 'text/plain;charset=utf-8'},
            _selection: {transfer_async: () => seen.push('transfer')},
        });
        bridge.ReadTextAsync([serial, 0], {
            get_sender: () => ':1.5',
            get_message: () => ({get_unix_fd_list: () => ({get: () => 99})}),
            return_dbus_error: name => seen.push(name),
        });
        bridge._cancelTransfer();
        const outcome = seen.filter(step => step !== 'closed').join();
        if (outcome !== expected)
            throw new Error(`ReadText for serial ${serial}: ${outcome}, expected ${expected}`);
    }
}
const loop = new GLib.MainLoop(null, false);
let failed = 0;
(async () => {
    try {
        const {Decisions} = await import(`file://${dir}/decisions.js`);
        const {Bridge} = await import(`file://${dir}/bridge.js`);
        if (Decisions.strokeKeys('ctrl-v', 'us')?.by !== 'keyval')
            throw new Error('Decisions did not load whole');
        if (!Bridge.interfaceXml.includes('app.tavorindle.Bridge1') || typeof Bridge.prototype.start !== 'function')
            throw new Error('Bridge did not load whole');
        readTextSendsOnlyTheNewestChange(Bridge, Decisions);
    } catch (e) {
        print(`FAIL ${e}`);
        failed = 1;
    }
    loop.quit();
})();
loop.run();
print(`${1 - failed} passed, ${failed} failed`);
System.exit(failed);
