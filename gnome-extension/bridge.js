// The bridge between GNOME Shell and Tavorindle. GNOME offers programs no
// clipboard-manager protocol, so the shell watches the clipboard for the
// program: it tells the running program of every change (the text only when
// not concealed), sets the clipboard for it, posts the paste stroke, reports
// and activates the focused window and binds the panel's key.
//
// A plain script with every GNOME module passed in, so that one file serves
// the 43-44 entry (legacy importer) and the 45+ entry (ES module, the build
// appends the export).
//
// The bus is a door: only the unique name that owns the program's name, and
// only once it is known to be the installed program run by this user, may
// call in or hear anything.

var Bridge = class {
    static busName = 'app.tavorindle.Bridge';
    static objectPath = '/app/tavorindle/Bridge';
    static programName = 'app.tavorindle.Tavorindle';
    static programPath = '/app/tavorindle/Client';
    static programInterface = 'app.tavorindle.Client1';
    static transferTimeoutMs = 5000;
    // A null owner is reported this late, so that Mutter's re-offer of the
    // lost text can still replace it.
    static vanishGraceMs = 150;
    static interfaceXml = `<node>
  <interface name="app.tavorindle.Bridge1">
    <method name="SetClipboard">
      <arg type="t" name="token" direction="in"/>
      <arg type="ay" name="text" direction="in"/>
      <arg type="b" name="onlyIfUnowned" direction="in"/>
    </method>
    <method name="ReadText">
      <arg type="t" name="serial" direction="in"/>
      <arg type="h" name="pipe" direction="in"/>
      <arg type="b" name="complete" direction="out"/>
    </method>
    <method name="PostPasteStroke">
      <arg type="s" name="stroke" direction="in"/>
    </method>
    <method name="ActivateWindow">
      <arg type="t" name="window" direction="in"/>
      <arg type="b" name="found" direction="out"/>
    </method>
    <method name="SetHotKeyEnabled">
      <arg type="b" name="enabled" direction="in"/>
      <arg type="b" name="bound" direction="out"/>
      <arg type="as" name="accelerators" direction="out"/>
    </method>
  </interface>
</node>`;

    // deps: {Clutter, Gio, GLib, GObject, Meta, Shell, Main, decisions,
    // settings, executable, inputSources} and GioUnix where GLib has it
    // (2.80 and later moved the Unix streams there from Gio).
    constructor(deps) {
        this._d = deps;
    }

    start() {
        const {Clutter, Gio, Meta} = this._d;
        this._bus = Gio.DBus.session;
        this._clipboard = Meta.SelectionType.SELECTION_CLIPBOARD;
        this._selection = global.display.get_selection();
        this._ownUid = new Gio.Credentials().get_unix_user();
        this._serial = 0;
        this._program = null;
        this._candidate = null;
        this._own = null;
        this._latestSource = null;
        this._vanishedAt = null;
        this._lostConcealed = false;
        this._clientConcealed = false;
        this._settleId = 0;
        this._graceId = 0;
        this._transfer = null;
        this._readable = null;
        this._settled = null;
        this._keyBound = false;

        // Made once: a keyboard made just before its first key may lose it.
        this._keyboard = Clutter.get_default_backend().get_default_seat()
            .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);

        this._exported = Gio.DBusExportedObject.wrapJSObject(Bridge.interfaceXml, this);
        this._exported.export(this._bus, Bridge.objectPath);
        this._nameId = Gio.bus_own_name_on_connection(this._bus, Bridge.busName,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._watchId = Gio.bus_watch_name_on_connection(this._bus, Bridge.programName,
            Gio.BusNameWatcherFlags.NONE,
            (_c, _name, owner) => this._programAppeared(owner),
            () => this._programVanished());
        this._ownerId = this._selection.connect('owner-changed',
            (_s, type, source) => this._ownerChanged(type, source));
        this._focusId = global.display.connect('notify::focus-window', () => this._pushFocus());
        this._keyChangedId = this._d.settings.connect('changed::toggle-panel', () => {
            if (this._keyBound)
                this._send('HotKeyChanged', new this._d.GLib.Variant('(as)', [this._accelerators()]));
        });
    }

    stop() {
        const {Gio, GLib} = this._d;
        this._unbindKey();
        this._cancelTransfer();
        for (const id of [this._settleId, this._graceId])
            if (id)
                GLib.source_remove(id);
        this._selection.disconnect(this._ownerId);
        global.display.disconnect(this._focusId);
        this._d.settings.disconnect(this._keyChangedId);
        Gio.bus_unwatch_name(this._watchId);
        Gio.bus_unown_name(this._nameId);
        this._exported.unexport();
        this._exported = null;
        this._keyboard = null;
        this._program = null;
        this._candidate = null;
        this._own = null;
        this._latestSource = null;
    }

    // --- The program's identity

    _programAppeared(owner) {
        const {Gio, GLib} = this._d;
        this._program = null;
        this._candidate = owner;
        this._bus.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
            'GetConnectionCredentials', new GLib.Variant('(s)', [owner]),
            new GLib.VariantType('(a{sv})'), Gio.DBusCallFlags.NONE, 2000, null, (bus, result) => {
                let uid = -1, exe = null;
                try {
                    const [credentials] = bus.call_finish(result).deepUnpack();
                    uid = credentials.UnixUserID?.unpack() ?? -1;
                    const pid = credentials.ProcessID?.unpack();
                    if (pid)
                        exe = GLib.file_read_link(`/proc/${pid}/exe`);
                } catch (e) {
                    // Gone already, or not ours to look at: not the program.
                }
                if (owner !== this._candidate)
                    return;
                if (!this._d.decisions.isProgram({uid, ownUid: this._ownUid, exe,
                    expectedExe: this._d.executable})) {
                    log(`Tavorindle bridge: ${owner} (${exe ?? 'unknown executable'}) is not ` +
                        `${this._d.executable} of this user; ignoring it`);
                    return;
                }
                this._program = owner;
                this._report({initial: true});
                this._pushFocus();
            });
    }

    _programVanished() {
        this._program = null;
        this._candidate = null;
        this._unbindKey();
    }

    _fromProgram(invocation) {
        if (this._program !== null && invocation.get_sender() === this._program)
            return true;
        invocation.return_dbus_error('app.tavorindle.Error.AccessDenied',
            'Only the running Tavorindle may use this bridge');
        return false;
    }

    _send(method, parameters) {
        const {Gio} = this._d;
        if (this._program === null)
            return;
        this._bus.call(this._program, Bridge.programPath, Bridge.programInterface, method,
            parameters, null, Gio.DBusCallFlags.NO_AUTO_START, 5000, null, (bus, result) => {
                try {
                    bus.call_finish(result);
                } catch (e) {
                    log(`Tavorindle bridge: ${method} failed: ${e.message}`);
                }
            });
    }

    // --- The clipboard

    // Changes are settled once the emissions are over: when an owner quits,
    // Mutter re-offers its text from inside the same emission, so the
    // re-offer can reach us before the loss does.
    _ownerChanged(type, source) {
        const {GLib} = this._d;
        if (type !== this._clipboard)
            return;
        ++this._serial;
        this._cancelTransfer();
        if (source) {
            this._latestSource = source;
            const kind = this._kindOf(source);
            if (kind !== 'memory')
                this._clientConcealed = this._d.decisions.isConcealed(this._types());
            else if (this._own?.source === source)
                this._clientConcealed = false;
        } else {
            this._vanishedAt = GLib.get_monotonic_time();
            this._lostConcealed = this._clientConcealed;
        }
        if (!this._settleId) {
            this._settleId = GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
                this._settleId = 0;
                this._settle();
                return GLib.SOURCE_REMOVE;
            });
        }
    }

    _settle() {
        const {GLib} = this._d;
        const types = this._types();
        const source = types.length ? this._latestSource : null;
        const decision = this._d.decisions.settle({
            owner: source ? {kind: this._kindOf(source), ours: this._own?.source === source, types} : null,
            vanishedMsAgo: this._vanishedAt === null ? null
                : (GLib.get_monotonic_time() - this._vanishedAt) / 1000,
            lostConcealed: this._lostConcealed,
        });
        this._settled = {serial: this._serial, decision, types};
        if (decision.origin !== 'none')
            this._vanishedAt = null;
        if (decision.origin === 'none') {
            const serial = this._serial;
            if (this._graceId)
                GLib.source_remove(this._graceId);
            this._graceId = GLib.timeout_add(GLib.PRIORITY_DEFAULT, Bridge.vanishGraceMs, () => {
                this._graceId = 0;
                if (serial === this._serial)
                    this._report({decision, types: []});
                return GLib.SOURCE_REMOVE;
            });
            return;
        }
        this._report({decision, types});
    }

    // Sends the clipboard as it stands; `initial` marks the state the
    // program finds when it connects, which is no change.
    _report({initial = false, decision = null, types = null}) {
        const {GLib} = this._d;
        if (this._program === null)
            return;
        // The state the program finds: as settled, or as it stands.
        if (decision === null && this._settled?.serial === this._serial)
            ({decision, types} = this._settled);
        if (decision === null) {
            types = this._types();
            const source = types.length ? this._latestSource : null;
            decision = this._d.decisions.settle({
                owner: source ? {kind: this._kindOf(source), ours: this._own?.source === source, types} : null,
                vanishedMsAgo: null,
                lostConcealed: false,
            });
        }
        const change = {
            serial: new GLib.Variant('t', this._serial),
            types: new GLib.Variant('as', types),
            concealed: new GLib.Variant('b', decision.concealed),
            origin: new GLib.Variant('s', decision.origin),
        };
        if (initial)
            change.initial = new GLib.Variant('b', true);
        if (decision.origin === 'ours')
            change.token = new GLib.Variant('t', this._own.token);
        this._readable = decision.readText
            ? {serial: this._serial, mimeType: this._d.decisions.textType(types)} : null;
        if (this._readable)
            change['text-readable'] = new GLib.Variant('b', true);
        this._send('ClipboardChanged', new GLib.Variant('(a{sv})', [change]));
    }

    // Writes the text of the change the program was told of into the pipe it
    // passes, at most one byte past the limit (so it can tell a longer
    // copy), straight from the owner. Only for the newest change, and never
    // for a concealed one: that was not offered.
    ReadTextAsync([serial, pipeIndex], invocation) {
        const {Gio, GLib} = this._d;
        if (!this._fromProgram(invocation))
            return;
        const fd = invocation.get_message().get_unix_fd_list()?.get(pipeIndex) ?? -1;
        if (fd < 0) {
            invocation.return_dbus_error('app.tavorindle.Error.InvalidArgs', 'no pipe');
            return;
        }
        const OutputStream = this._d.GioUnix?.OutputStream ?? Gio.UnixOutputStream;
        const stream = new OutputStream({fd, close_fd: true});
        if (this._readable?.serial !== serial || serial !== this._serial) {
            stream.close(null);
            invocation.return_dbus_error('app.tavorindle.Error.Stale', 'the clipboard has changed since');
            return;
        }
        this._cancelTransfer();
        const cancellable = new Gio.Cancellable();
        const timeoutId = GLib.timeout_add(GLib.PRIORITY_DEFAULT, Bridge.transferTimeoutMs, () => {
            cancellable.cancel();
            return GLib.SOURCE_REMOVE;
        });
        this._transfer = {cancellable, timeoutId};
        this._selection.transfer_async(this._clipboard, this._readable.mimeType,
            this._d.decisions.maxTextBytes + 1, stream, cancellable, (selection, result) => {
                let complete = true;
                try {
                    selection.transfer_finish(result);
                } catch (e) {
                    complete = false;
                }
                if (this._transfer?.cancellable === cancellable) {
                    GLib.source_remove(timeoutId);
                    this._transfer = null;
                }
                try {
                    stream.close(null);
                } catch (e) {
                    // The program stopped reading: a newer change came.
                    complete = false;
                }
                invocation.return_value(new GLib.Variant('(b)', [complete]));
            });
    }

    _cancelTransfer() {
        if (!this._transfer)
            return;
        this._d.GLib.source_remove(this._transfer.timeoutId);
        this._transfer.cancellable.cancel();
        this._transfer = null;
    }

    _types() {
        return this._selection.get_mimetypes(this._clipboard) ?? [];
    }

    _kindOf(source) {
        return this._d.decisions.sourceKind(this._d.GObject.type_name_from_instance(source));
    }

    // With onlyIfUnowned, the text goes on the clipboard only if nothing owns
    // it: a copy made since the loss the program makes good is never replaced.
    SetClipboardAsync([token, bytes, onlyIfUnowned], invocation) {
        const {GLib, Meta} = this._d;
        if (!this._fromProgram(invocation))
            return;
        if (onlyIfUnowned && this._types().length > 0) {
            invocation.return_dbus_error('app.tavorindle.Error.Owned', 'the clipboard has an owner');
            return;
        }
        try {
            if (bytes.length > this._d.decisions.maxTextBytes)
                throw new Error('text too long');
            new TextDecoder('utf-8', {fatal: true}).decode(bytes);
        } catch (e) {
            invocation.return_dbus_error('app.tavorindle.Error.InvalidArgs', e.message);
            return;
        }
        const source = Meta.SelectionSourceMemory.new('text/plain;charset=utf-8', new GLib.Bytes(bytes));
        this._own = {source, token};
        this._selection.set_owner(this._clipboard, source);
        invocation.return_value(null);
    }

    // --- The paste stroke

    PostPasteStrokeAsync([stroke], invocation) {
        const {Clutter, GLib} = this._d;
        if (!this._fromProgram(invocation))
            return;
        const layout = this._d.inputSources?.currentSource?.xkbId ?? null;
        const stroke_ = this._d.decisions.strokeKeys(stroke, layout);
        if (stroke_ === null) {
            invocation.return_dbus_error('app.tavorindle.Error.InvalidArgs', `no such stroke: ${stroke}`);
            return;
        }
        const post = (key, state) => {
            const time = GLib.get_monotonic_time();
            if (stroke_.by === 'keyval')
                this._keyboard.notify_keyval(time, key, state);
            else
                this._keyboard.notify_key(time, key, state);
        };
        for (const key of stroke_.keys)
            post(key, Clutter.KeyState.PRESSED);
        for (const key of [...stroke_.keys].reverse())
            post(key, Clutter.KeyState.RELEASED);
        invocation.return_value(null);
    }

    // --- Windows

    _pushFocus() {
        const {GLib} = this._d;
        const w = global.display.focus_window;
        const info = {window: new GLib.Variant('t', w ? w.get_id() : 0)};
        if (w) {
            info['wm-class'] = new GLib.Variant('s', w.get_wm_class() ?? '');
            info['wm-class-instance'] = new GLib.Variant('s', w.get_wm_class_instance() ?? '');
            info.pid = new GLib.Variant('x', w.get_pid());
        }
        this._send('FocusChanged', new GLib.Variant('(a{sv})', [info]));
    }

    ActivateWindowAsync([id], invocation) {
        const {GLib} = this._d;
        if (!this._fromProgram(invocation))
            return;
        const window = id === 0 ? null
            : global.display.list_all_windows().find(w => w.get_id() === id) ?? null;
        if (window)
            this._d.Main.activateWindow(window);
        invocation.return_value(new GLib.Variant('(b)', [window !== null]));
    }

    // --- The key

    SetHotKeyEnabledAsync([enabled], invocation) {
        const {GLib, Meta, Shell} = this._d;
        if (!this._fromProgram(invocation))
            return;
        if (!enabled) {
            this._unbindKey();
        } else if (!this._keyBound) {
            const action = this._d.Main.wm.addKeybinding('toggle-panel', this._d.settings,
                Meta.KeyBindingFlags.IGNORE_AUTOREPEAT,
                Shell.ActionMode.NORMAL | Shell.ActionMode.OVERVIEW | Shell.ActionMode.POPUP,
                () => this._send('HotKeyPressed', null));
            this._keyBound = action !== Meta.KeyBindingAction.NONE;
        }
        invocation.return_value(new GLib.Variant('(bas)',
            [this._keyBound, this._keyBound ? this._accelerators() : []]));
    }

    _accelerators() {
        return this._d.settings.get_strv('toggle-panel');
    }

    _unbindKey() {
        if (!this._keyBound)
            return;
        this._d.Main.wm.removeKeybinding('toggle-panel');
        this._keyBound = false;
    }
};
