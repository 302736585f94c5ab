// The bridge's decisions, kept free of GNOME imports so that a test can
// drive them. A plain script: the 43-44 entry loads it through the legacy
// importer, the build appends an export for the 45+ module entry.

var Decisions = {
    // Markers that password managers put beside the text. This list, the
    // text types and both limits are the program's; a test holds them equal.
    concealedTypes: [
        'org.nspasteboard.ConcealedType',
        'com.agilebits.onepassword',
        'de.blinksoft.ConcealedType',
        'Pasteboard type flag - transient',
        'net.witt-software.QuickPaste.ConcealedType',
        'com.apple.findmy.item',
        'x-kde-passwordManagerHint',
    ],
    // A longer list of types might hide a marker past any cut: such a copy
    // counts as concealed.
    maxTypes: 1024,
    textTypes: ['text/plain;charset=utf-8', 'UTF8_STRING', 'text/plain'],
    // The program drops longer text; one byte more tells it that the copy
    // was longer.
    maxTextBytes: 64 * 1024 * 1024,
    // How long after the owner went away a memory source still counts as
    // Mutter's re-offer of the lost copy.
    keeperWindowMs: 500,

    isConcealed(types) {
        return types.length > this.maxTypes || types.some(t => this.concealedTypes.includes(t));
    },

    textType(types) {
        return this.textTypes.find(t => types.includes(t)) ?? null;
    },

    // What one settled change of the clipboard is. `owner` describes the
    // source that owns it now (null when nothing does): {kind: 'wayland' |
    // 'x11' | 'memory' | 'other', ours: bool, types: [...]}. `vanishedMsAgo`
    // is the time since the previous owner went away (null when it did not),
    // `lostConcealed` whether that previous content was concealed.
    // Mutter keeps the text of an owner that quits and offers it again as a
    // memory source with plain text only: that re-offer inherits the lost
    // copy's concealment, so its text is never read.
    settle({owner, vanishedMsAgo, lostConcealed}) {
        if (!owner)
            return {origin: 'none', concealed: false, readText: false};
        if (owner.ours)
            return {origin: 'ours', concealed: false, readText: false};
        const keeper = owner.kind === 'memory' && vanishedMsAgo !== null &&
            vanishedMsAgo <= this.keeperWindowMs;
        const concealed = this.isConcealed(owner.types) || (keeper && lostConcealed);
        const origin = keeper ? 'keeper'
            : ['wayland', 'x11'].includes(owner.kind) ? owner.kind : 'other';
        return {origin, concealed, readText: !concealed && this.textType(owner.types) !== null};
    },

    // The source kind from its GType name.
    sourceKind(typeName) {
        switch (typeName) {
        case 'MetaSelectionSourceWayland': return 'wayland';
        case 'MetaSelectionSourceX11': return 'x11';
        case 'MetaSelectionSourceMemory': return 'memory';
        default: return 'other';
        }
    },

    // Layouts whose letters are not Latin: there "v" has no key of its own
    // and the stroke goes by the key's position instead, which applications
    // read as Ctrl+V whatever the layout.
    nonLatinLayouts: ['am', 'ara', 'bd', 'bg', 'bt', 'by', 'cn+tib', 'eg', 'et', 'ge', 'gr',
        'il', 'in', 'iq', 'ir', 'kg', 'kh', 'kz', 'la', 'lk', 'mk', 'mm', 'mn', 'mv', 'np',
        'pk', 'ru', 'rs', 'sy', 'th', 'tj', 'ua'],

    hasLatinV(layoutId) {
        if (!layoutId)
            return true;
        const base = layoutId.split('+')[0];
        if (layoutId.includes('latin'))
            return true;
        return !this.nonLatinLayouts.includes(base) && !this.nonLatinLayouts.includes(layoutId);
    },

    // The keys of a paste stroke, pressed in order and released in reverse.
    // Only the two fixed strokes exist; anything else is refused (null).
    strokeKeys(stroke, layoutId) {
        const withShift = {'ctrl-v': false, 'ctrl-shift-v': true}[stroke];
        if (withShift === undefined)
            return null;
        // Evdev codes: left Ctrl, left Shift, V.
        if (!this.hasLatinV(layoutId))
            return {by: 'keycode', keys: withShift ? [29, 42, 47] : [29, 47]};
        // Keysyms: Control_L, Shift_L, v.
        return {by: 'keyval', keys: withShift ? [0xffe3, 0xffe1, 0x76] : [0xffe3, 0x76]};
    },

    // Whether the process behind a bus name is the program: the same user,
    // running the installed executable. A binary replaced by an upgrade
    // reads as "path (deleted)".
    isProgram({uid, ownUid, exe, expectedExe}) {
        if (uid !== ownUid || !exe || !expectedExe)
            return false;
        return exe.replace(/ \(deleted\)$/, '') === expectedExe;
    },
};
