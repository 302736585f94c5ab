#include "qt/qt_pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

QtPasteboard::QtPasteboard(QObject *parent)
    : Pasteboard(parent)
    , m_clipboard(QGuiApplication::clipboard())
{
    connect(m_clipboard, &QClipboard::dataChanged, this, &QtPasteboard::onClipboardChanged);
}

void QtPasteboard::onClipboardChanged()
{
    // Our own writes have already been counted in setString().
    if (m_writing)
        return;
    ++m_changeCount;
    emit changed();
}

std::optional<QStringList> QtPasteboard::types() const
{
    const QMimeData *data = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!data)
        return std::nullopt;
    return data->formats();
}

std::optional<QString> QtPasteboard::string() const
{
    const QMimeData *data = m_clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

void QtPasteboard::clearContents()
{
    ++m_changeCount;
    m_writing = true;
    m_clipboard->clear(QClipboard::Clipboard);
    m_writing = false;
}

void QtPasteboard::setString(const QString &text)
{
    ++m_changeCount;
    m_writing = true;
    m_clipboard->setText(text, QClipboard::Clipboard);
    m_writing = false;
}
