// Entry for GNOME Shell 45 and later (ES modules).
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import GObject from 'gi://GObject';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as Keyboard from 'resource:///org/gnome/shell/ui/status/keyboard.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {Bridge} from './bridge.js';
import {Decisions} from './decisions.js';

// GNOME 46 and later: GLib moved the Unix streams into a module of their own.
const GioUnix = await import('gi://GioUnix').then(module => module.default, () => null);

export default class TavorindleBridgeExtension extends Extension {
    enable() {
        this._bridge = new Bridge({
            Clutter, Gio, GioUnix, GLib, GObject, Meta, Shell, Main,
            decisions: Decisions,
            settings: this.getSettings(),
            executable: this.metadata['tavorindle-executable'],
            inputSources: Keyboard.getInputSourceManager(),
        });
        this._bridge.start();
    }

    disable() {
        this._bridge.stop();
        this._bridge = null;
    }
}
