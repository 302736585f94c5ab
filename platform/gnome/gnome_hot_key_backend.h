#pragma once

#include "global_hot_key_backend.h"

#include <QStringList>

#include <memory>

class GnomeBridge;

// The panel's key as a key binding of GNOME Shell's bridge (its own
// setting, Super+Shift+V unless the user changed it). The shell binds it
// while we ask for it, and again after it restarts.
class GnomeHotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    explicit GnomeHotKeyBackend(std::shared_ptr<GnomeBridge> bridge, QObject *parent = nullptr);

    GrabState grab(QKeyCombination combination) override;
    void ungrab() override;
    GrabState grabState() const override { return m_state; }
    // The keys as the shell binds them, e.g. "<Super><Shift>v".
    QString triggerDescription() const override { return m_accelerators.join(QLatin1String(", ")); }
    QString unavailableReason() const override;

private:
    void request();
    void setState(GrabState state);

    std::shared_ptr<GnomeBridge> m_bridge;
    GrabState m_state = GrabState::Released;
    QStringList m_accelerators;
};
