#include "x11/x11_hot_key_backend.h"

#include <QDebug>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

struct X11HotKeyBackend::Modifiers
{
    unsigned int numLock = 0;
    unsigned int scrollLock = 0;
    unsigned int super = 0;
    unsigned int alt = 0;
};

namespace {

KeySym keysymFor(Qt::Key key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return XK_0 + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return XK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Space: return XK_space;
    case Qt::Key_Insert: return XK_Insert;
    default: return NoSymbol;
    }
}

} // namespace

X11HotKeyBackend::X11HotKeyBackend(std::shared_ptr<X11Connection> connection, QObject *parent)
    : GlobalHotKeyBackend(parent)
    , m_connection(std::move(connection))
{
    Display *display = m_connection->display();
    int opcode = 0;
    int eventBase = 0;
    int errorBase = 0;
    int major = XkbMajorVersion;
    int minor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &eventBase, &errorBase, &major, &minor)) {
        m_xkbEventBase = eventBase;
        // Held keys then repeat as presses without releases in between.
        Bool supported = False;
        XkbSetDetectableAutoRepeat(display, True, &supported);
        XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                        XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
    }
    m_handlerId = m_connection->addEventHandler([this](XEvent &event) { handleEvent(event); });
}

X11HotKeyBackend::~X11HotKeyBackend()
{
    releaseKeys();
    m_connection->removeEventHandler(m_handlerId);
}

X11HotKeyBackend::Modifiers X11HotKeyBackend::readModifiers() const
{
    Display *display = m_connection->display();
    Modifiers result;
    XModifierKeymap *map = XGetModifierMapping(display);
    if (!map)
        return result;
    const KeyCode numLock = XKeysymToKeycode(display, XK_Num_Lock);
    const KeyCode scrollLock = XKeysymToKeycode(display, XK_Scroll_Lock);
    const KeyCode superL = XKeysymToKeycode(display, XK_Super_L);
    const KeyCode superR = XKeysymToKeycode(display, XK_Super_R);
    const KeyCode altL = XKeysymToKeycode(display, XK_Alt_L);
    const KeyCode altR = XKeysymToKeycode(display, XK_Alt_R);
    // Rows 3 to 7 are Mod1 to Mod5; Shift, Lock and Control are fixed.
    for (int row = 3; row < 8; ++row) {
        for (int i = 0; i < map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[row * map->max_keypermod + i];
            if (code == 0)
                continue;
            const unsigned int mask = 1u << row;
            if (code == numLock)
                result.numLock |= mask;
            if (code == scrollLock)
                result.scrollLock |= mask;
            if (code == superL || code == superR)
                result.super |= mask;
            if (code == altL || code == altR)
                result.alt |= mask;
        }
    }
    XFreeModifiermap(map);
    if (!result.super)
        result.super = Mod4Mask;
    if (!result.alt)
        result.alt = Mod1Mask;
    return result;
}

X11HotKeyBackend::GrabState X11HotKeyBackend::grab(QKeyCombination combination)
{
    releaseKeys();
    m_combination = combination;
    grabKeys();
    return grabState();
}

X11HotKeyBackend::GrabState X11HotKeyBackend::grabState() const
{
    if (!m_combination)
        return GrabState::Released;
    return m_grabbed ? GrabState::Grabbed : GrabState::Unavailable;
}

void X11HotKeyBackend::ungrab()
{
    releaseKeys();
    m_combination.reset();
}

std::optional<X11HotKeyBackend::Keys> X11HotKeyBackend::keysFor(QKeyCombination combination)
{
    Display *display = m_connection->display();
    const KeySym keysym = keysymFor(combination.key());
    const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display, keysym);
    if (keycode == 0) {
        m_unavailableReason = QStringLiteral("the keyboard layout has no such key");
        return std::nullopt;
    }
    const Modifiers mods = readModifiers();
    const Qt::KeyboardModifiers wanted = combination.keyboardModifiers();
    Keys keys;
    keys.keycode = keycode;
    if (wanted & Qt::ShiftModifier)
        keys.modifiers |= ShiftMask;
    if (wanted & Qt::ControlModifier)
        keys.modifiers |= ControlMask;
    if (wanted & Qt::AltModifier)
        keys.modifiers |= mods.alt;
    if (wanted & Qt::MetaModifier)
        keys.modifiers |= mods.super;
    keys.lockMask = LockMask | mods.numLock | mods.scrollLock;

    // A lock that shares its modifier with the combination cannot be told apart.
    const unsigned int locks[] = {LockMask, mods.numLock & ~keys.modifiers, mods.scrollLock & ~keys.modifiers};
    keys.variants = {0};
    for (unsigned int lock : locks) {
        if (!lock)
            continue;
        const size_t count = keys.variants.size();
        for (size_t i = 0; i < count; ++i) {
            if (!(keys.variants[i] & lock))
                keys.variants.push_back(keys.variants[i] | lock);
        }
    }
    return keys;
}

bool X11HotKeyBackend::grabKeys()
{
    if (!m_combination)
        return false;
    std::optional<Keys> keys = keysFor(*m_combination);
    if (!keys)
        return false;
    Display *display = m_connection->display();
    X11ErrorTrap trap(*m_connection);
    for (unsigned int variant : keys->variants)
        XGrabKey(display, keys->keycode, keys->modifiers | variant, m_connection->rootWindow(), False,
                 GrabModeAsync, GrabModeAsync);
    if (!trap.ok()) {
        // Another program holds the combination (BadAccess): take none of it.
        for (unsigned int variant : keys->variants)
            XUngrabKey(display, keys->keycode, keys->modifiers | variant, m_connection->rootWindow());
        m_connection->flush();
        m_unavailableReason = QStringLiteral("another program holds it");
        return false;
    }
    m_grabbed = std::move(keys);
    m_keyDown = false;
    return true;
}

void X11HotKeyBackend::releaseKeys()
{
    if (!m_grabbed)
        return;
    for (unsigned int variant : m_grabbed->variants)
        XUngrabKey(m_connection->display(), m_grabbed->keycode, m_grabbed->modifiers | variant,
                   m_connection->rootWindow());
    m_connection->flush();
    m_grabbed.reset();
}

void X11HotKeyBackend::handleEvent(XEvent &event)
{
    bool mappingChanged = false;
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        mappingChanged = event.xmapping.request != MappingPointer;
    } else if (m_xkbEventBase >= 0 && event.type == m_xkbEventBase) {
        const auto &xkb = reinterpret_cast<const XkbAnyEvent &>(event);
        mappingChanged = xkb.xkb_type == XkbMapNotify || xkb.xkb_type == XkbNewKeyboardNotify;
        if (xkb.xkb_type == XkbMapNotify)
            XkbRefreshKeyboardMapping(reinterpret_cast<XkbMapNotifyEvent *>(&event));
    }
    if (mappingChanged) {
        // Also after a failed grab: a layout without the key loses the
        // grab, and switching back must bring it back.
        if (!m_combination)
            return;
        // A press on another keyboard announces a new keyboard before its
        // keys arrive; with the same keys, renewing the grab would let them
        // through ungrabbed.
        if (m_grabbed && keysFor(*m_combination) == m_grabbed)
            return;
        const GrabState before = grabState();
        releaseKeys();
        grabKeys();
        if (grabState() != before)
            emit grabStateChanged(grabState());
        return;
    }

    if (!m_grabbed)
        return;
    if (event.type != KeyPress && event.type != KeyRelease)
        return;
    const XKeyEvent &key = event.xkey;
    if (key.window != m_connection->rootWindow() || key.keycode != m_grabbed->keycode)
        return;
    if (event.type == KeyRelease) {
        m_keyDown = false;
        m_lastReleaseTime = key.time;
        return;
    }
    if ((key.state & 0xFFu & ~m_grabbed->lockMask) != m_grabbed->modifiers)
        return;
    // Auto-repeat: a press while the key is down, or (without detectable
    // repeat) one that comes at the very time of the release before it.
    if (m_keyDown || (m_lastReleaseTime != 0 && key.time == m_lastReleaseTime))
        return;
    m_keyDown = true;
    emit pressed();
}
