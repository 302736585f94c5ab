// The bridge's scripts load as ES modules and export what the 45+ entry
// imports: gjs -m tst_bridge_modules.js MODULE_DIR
import GLib from 'gi://GLib';
import System from 'system';

const dir = System.programArgs[0];
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
    } catch (e) {
        print(`FAIL ${e}`);
        failed = 1;
    }
    loop.quit();
})();
loop.run();
print(`${1 - failed} passed, ${failed} failed`);
System.exit(failed);
