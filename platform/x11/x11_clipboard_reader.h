#pragma once

#include "pasteboard_content.h"
#include "x11/x11_connection.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Reads what another program holds on a selection without ever waiting for
// it: TARGETS, then the first text target it offers (never the text of a
// concealed copy), whole or in an incremental transfer, bounded by
// timeouts and a size limit. A newer read abandons an older one.
class X11ClipboardReader : public QObject
{
    Q_OBJECT
public:
    // The data timeout is restarted by every chunk of an incremental transfer.
    using Limits = PasteboardLimits;
    struct Content
    {
        std::optional<QStringList> types;
        std::optional<QString> text;
        // False when the owner did not answer in time or sent too much: what
        // was learnt of it is kept, but there is no text.
        bool complete = false;
    };
    using Done = std::function<void(Content)>;

    X11ClipboardReader(std::shared_ptr<X11Connection> connection, unsigned long selection,
                       Limits limits, Done done, QObject *parent = nullptr);
    ~X11ClipboardReader() override;

    // Reads the content of the owner that took the selection at time; done
    // is called once, when it is complete or given up.
    void start(unsigned long time);
    // Gives up the read under way without reporting it.
    void abandon();
    // Decides from the targets whether a copy is concealed, so that its
    // text is never asked for; hasConcealedType() unless set.
    void setConcealedRule(std::function<bool(const QStringList &)> rule) { m_concealed = std::move(rule); }
    bool isReading() const { return m_read != nullptr; }
    // Takes the events meant for our reads; false for any other.
    bool handleEvent(X11Connection::XEvent &event);

private:
    struct Read;

    void requestConversion(unsigned long target, std::chrono::milliseconds timeout);
    void onConversionDone(unsigned long property);
    void onTargets(unsigned long property);
    void onIncrementalChunk();
    void startSlices(bool lastChunk);
    void readSlices();
    // Whether more of the property remains to be read.
    bool readSlice(long sliceLongs);
    void requestNextTextTarget();
    // Only the text type asked for, in 8-bit units, is text.
    bool isTextReply(unsigned long type, int format) const;
    void finish();
    void drop();

    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_selection = 0;
    Limits m_limits;
    Done m_done;
    std::function<bool(const QStringList &)> m_concealed;
    std::unique_ptr<Read> m_read;
    QTimer m_readTimer;
    QTimer m_sliceTimer;
    // Windows of abandoned reads, kept until their answer comes.
    struct Retired
    {
        X11Window window;
        QDeadlineTimer since;
        // An incremental transfer to it is under way.
        bool transferring = false;
    };
    std::vector<Retired>::iterator findRetired(unsigned long window);
    void onRetiredReply(std::vector<Retired>::iterator retired, unsigned long property);
    void onRetiredChunk(std::vector<Retired>::iterator retired, unsigned long property);
    // Deletes a property of one of our windows; its type and size before.
    std::pair<unsigned long, unsigned long> takeProperty(unsigned long window, unsigned long property);
    std::vector<Retired> m_retired;
};
