#pragma once

#include <QKeyCombination>
#include <QObject>
#include <QString>

// One system-wide key combination: pressed() fires on the GUI thread for
// each press of it, whichever window has the focus.
//
// Some desktops answer a grab later (a portal that may first ask the user
// to assign the key), and a grab can be lost or re-assigned while the
// program runs, so where it stands is a state that changes over time.
class GlobalHotKeyBackend : public QObject
{
    Q_OBJECT
public:
    enum class GrabState {
        Released,    // nothing asked for
        Pending,     // asked for; the desktop has not answered yet
        Grabbed,     // presses arrive
        Unavailable, // refused, taken by another program, or lost
    };
    Q_ENUM(GrabState)

    using QObject::QObject;
    ~GlobalHotKeyBackend() override = default;

    // Replaces any earlier grab and returns where the new one stands now.
    // Every later change (granted, re-assigned, refused, lost) comes as
    // grabStateChanged(). Unavailable leaves the program without the key.
    virtual GrabState grab(QKeyCombination combination) = 0;
    virtual void ungrab() = 0;
    virtual GrabState grabState() const = 0;
    bool isGrabbed() const { return grabState() == GrabState::Grabbed; }

    // The keys that trigger it as the desktop describes them (the user may
    // have chosen others than those asked for); empty when not known.
    virtual QString triggerDescription() const { return {}; }
    // Why the grab is unavailable, in a few words; empty when not known.
    virtual QString unavailableReason() const { return {}; }

signals:
    void pressed();
    // After grab() has returned: the grab arrived, changed or was lost.
    void grabStateChanged(GlobalHotKeyBackend::GrabState state);
};
