// Entry for GNOME Shell 43 and 44 (legacy imports).
const {Clutter, Gio, GLib, GObject, Meta, Shell} = imports.gi;
const ExtensionUtils = imports.misc.extensionUtils;
const Main = imports.ui.main;
const Keyboard = imports.ui.status.keyboard;
const Me = ExtensionUtils.getCurrentExtension();

class TavorindleBridgeExtension {
    enable() {
        this._bridge = new Me.imports.bridge.Bridge({
            Clutter, Gio, GLib, GObject, Meta, Shell, Main,
            decisions: Me.imports.decisions.Decisions,
            settings: ExtensionUtils.getSettings(),
            executable: Me.metadata['tavorindle-executable'],
            inputSources: Keyboard.getInputSourceManager(),
        });
        this._bridge.start();
    }

    disable() {
        this._bridge.stop();
        this._bridge = null;
    }
}

function init() {
    return new TavorindleBridgeExtension();
}
