#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

// The system clipboard as the history watcher sees it. On X11 this is the
// CLIPBOARD selection, never PRIMARY.
class Pasteboard : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~Pasteboard() override = default;

    // Moves on every change of the clipboard's owner or content, our own
    // writes included; it has moved by the time setString() returns. Only
    // ever compared for equality.
    virtual qint64 changeCount() const = 0;
    // Target names the owner offers, or nothing when it offers none.
    virtual std::optional<QStringList> types() const = 0;
    // The plain UTF-8 text, or nothing when there is none.
    virtual std::optional<QString> string() const = 0;
    virtual void clearContents() = 0;
    virtual void setString(const QString &text) = 0;
    // Offers text as our own content after ownerVanished(), but only if no
    // program has taken the clipboard since that loss: a newer copy is never
    // replaced, even one whose report has not reached us yet. Where the
    // display server can decide this atomically, it does. True when the
    // text is now ours (changeCount() has moved, as after setString());
    // false, with nothing changed, when a newer owner came first or there
    // is no loss to make good.
    [[nodiscard]] virtual bool setStringIfUnowned(const QString &text) = 0;
    // Whether changed() comes for every change another program makes, so
    // that nobody needs to poll.
    virtual bool reportsChanges() const { return true; }

signals:
    // Emitted when the backend learns of a change made by another program,
    // so that the watcher can look at once instead of at its next poll.
    void changed();
    // Emitted when the program that owned the clipboard went away and took
    // its content with it. Sent before the backend counts the loss as a
    // change, while types() and string() still describe the lost content; a
    // write made by a receiver replaces the loss.
    void ownerVanished();
};
