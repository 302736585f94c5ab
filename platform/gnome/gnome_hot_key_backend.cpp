#include "gnome/gnome_hot_key_backend.h"

#include "gnome/gnome_bridge.h"

GnomeHotKeyBackend::GnomeHotKeyBackend(std::shared_ptr<GnomeBridge> bridge, QObject *parent)
    : GlobalHotKeyBackend(parent)
    , m_bridge(std::move(bridge))
{
    connect(m_bridge.get(), &GnomeBridge::hotKeyPressed, this, [this] {
        if (m_state == GrabState::Grabbed)
            emit pressed();
    });
    connect(m_bridge.get(), &GnomeBridge::hotKeyChanged, this, [this](const QStringList &accelerators) {
        m_accelerators = accelerators;
        if (m_state == GrabState::Grabbed)
            emit grabStateChanged(m_state);
    });
    // The shell's binding goes with the shell; a new one binds it again.
    connect(m_bridge.get(), &GnomeBridge::connectionChanged, this, [this](bool connected) {
        if (m_state == GrabState::Released)
            return;
        if (connected)
            request();
        else
            setState(GrabState::Pending);
    });
}

GlobalHotKeyBackend::GrabState GnomeHotKeyBackend::grab(QKeyCombination)
{
    m_state = GrabState::Pending;
    // Otherwise once the bridge has accepted us.
    if (m_bridge->isConnected())
        request();
    return m_state;
}

void GnomeHotKeyBackend::ungrab()
{
    m_state = GrabState::Released;
    m_bridge->setHotKeyEnabled(false, [](bool, const QStringList &) {});
}

QString GnomeHotKeyBackend::unavailableReason() const
{
    return QStringLiteral("GNOME Shell could not bind %1").arg(m_accelerators.join(QLatin1String(", ")));
}

void GnomeHotKeyBackend::request()
{
    m_bridge->setHotKeyEnabled(true, [this](bool bound, const QStringList &accelerators) {
        if (m_state == GrabState::Released)
            return;
        m_accelerators = accelerators;
        setState(bound ? GrabState::Grabbed : GrabState::Unavailable);
    });
}

void GnomeHotKeyBackend::setState(GrabState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit grabStateChanged(state);
}
