#pragma once

#include "pasteboard.h"

class QClipboard;

// The portable backend: Qt's clipboard (CLIPBOARD on X11). Its reads wait
// for the owning program, so a hung owner can stall the event loop; the
// native X11 backend avoids that where it is available.
class QtPasteboard : public Pasteboard
{
    Q_OBJECT
public:
    explicit QtPasteboard(QObject *parent = nullptr);

    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QStringList> types() const override;
    std::optional<QString> string() const override;
    void clearContents() override;
    void setString(const QString &text) override;
    // Qt reports no loss of the clipboard, so there is never one to make good.
    bool setStringIfUnowned(const QString &) override { return false; }
    // Some Qt platforms tell of a change only while we have the focus.
    bool reportsChanges() const override { return false; }

private:
    void onClipboardChanged();

    QClipboard *m_clipboard;
    qint64 m_changeCount = 0;
    bool m_writing = false;
};
