#pragma once

#include <QKeyCombination>
#include <QObject>

// One system-wide key combination: pressed() fires on the GUI thread for
// each press of it, whichever window has the focus.
class GlobalHotKeyBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~GlobalHotKeyBackend() override = default;

    // Replaces any earlier grab. False when the combination cannot be had
    // (another program holds it, or the desktop offers no global keys); the
    // program then runs on without it.
    virtual bool grab(QKeyCombination combination) = 0;
    virtual void ungrab() = 0;
    virtual bool isGrabbed() const = 0;

signals:
    void pressed();
};
