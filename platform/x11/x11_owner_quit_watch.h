#pragma once

#include <QObject>

#include <memory>

class X11Connection;

// Tells when the X program that owns the clipboard quits or loses its
// window (not when it clears the clipboard on purpose). Beside a Wayland
// clipboard: a compositor that bridges X copies may keep offering the
// quit program's types with nothing behind them, and say nothing.
class X11OwnerQuitWatch final : public QObject
{
    Q_OBJECT
public:
    explicit X11OwnerQuitWatch(std::shared_ptr<X11Connection> connection, QObject *parent = nullptr);
    ~X11OwnerQuitWatch() override;

signals:
    void ownerQuit();

private:
    std::shared_ptr<X11Connection> m_connection;
    int m_handlerId = 0;
};
