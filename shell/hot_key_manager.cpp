#include "hot_key_manager.h"

#include "global_hot_key_backend.h"
#include "platform_services.h"

HotKeyManager::HotKeyManager(GlobalHotKeyBackend &backend, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
{
}

HotKeyManager::~HotKeyManager()
{
    unregisterHotKey();
    onHotKeyTriggered = nullptr;
}

HotKeyManager &HotKeyManager::shared()
{
    static HotKeyManager manager(*defaultPlatformServices().hotKeys);
    return manager;
}

bool HotKeyManager::registerDefaultHotKey()
{
    unregisterHotKey();
    m_handler = connect(&m_backend, &GlobalHotKeyBackend::pressed, this, &HotKeyManager::handlePressed);
    return m_backend.grab(defaultCombination);
}

void HotKeyManager::unregisterHotKey()
{
    if (m_backend.isGrabbed())
        m_backend.ungrab();
    if (m_handler)
        disconnect(m_handler);
    m_handler = {};
}

bool HotKeyManager::isRegistered() const
{
    return m_backend.isGrabbed();
}

void HotKeyManager::handlePressed()
{
    if (onHotKeyTriggered)
        onHotKeyTriggered();
}
