#include "hot_key_manager.h"

HotKeyManager::HotKeyManager(GlobalHotKeyBackend &backend, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
{
}

HotKeyManager::~HotKeyManager()
{
    unregisterHotKey();
    onHotKeyTriggered = nullptr;
    onUnavailable = nullptr;
}

HotKeyManager::GrabState HotKeyManager::registerDefaultHotKey()
{
    unregisterHotKey();
    m_registered = true;
    m_pressHandler = connect(&m_backend, &GlobalHotKeyBackend::pressed, this, &HotKeyManager::handlePressed);
    m_stateHandler = connect(&m_backend, &GlobalHotKeyBackend::grabStateChanged, this,
                             &HotKeyManager::handleStateChanged);
    const GrabState state = m_backend.grab(defaultCombination);
    handleStateChanged(state);
    return state;
}

void HotKeyManager::unregisterHotKey()
{
    if (!m_registered)
        return;
    m_registered = false;
    disconnect(m_pressHandler);
    disconnect(m_stateHandler);
    m_backend.ungrab();
    emit grabStateChanged(GrabState::Released);
}

bool HotKeyManager::isRegistered() const
{
    return m_registered && m_backend.isGrabbed();
}

HotKeyManager::GrabState HotKeyManager::grabState() const
{
    return m_registered ? m_backend.grabState() : GrabState::Released;
}

QString HotKeyManager::unavailableAdvice() const
{
    if (grabState() != GrabState::Unavailable)
        return {};
    QString reason = m_backend.unavailableReason();
    if (!reason.isEmpty())
        reason = QStringLiteral(" (%1)").arg(reason);
    return QStringLiteral("tavorindle: the global key Super+Shift+V is not available%1; "
                          "bind \"tavorindle --toggle\" to a key in the desktop's shortcut settings")
        .arg(reason);
}

void HotKeyManager::handlePressed()
{
    if (onHotKeyTriggered)
        onHotKeyTriggered();
}

void HotKeyManager::handleStateChanged(GrabState state)
{
    emit grabStateChanged(state);
    if (state == GrabState::Unavailable && onUnavailable)
        onUnavailable(unavailableAdvice());
}
