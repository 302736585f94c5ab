#pragma once

#include <QByteArray>
#include <QList>

#include <memory>

class WaylandConnection;

// The clipboard-manager protocols (ext_data_control_v1, else
// zwlr_data_control_v1) behind one interface: the two have the same
// requests and events in the same order under other names, so one template
// over a small per-protocol traits type serves both.
class DataControl
{
public:
    // An offer or a source of ours, as the protocol's proxy; 0 for none.
    using Handle = void *;

    // What the compositor tells, in its order.
    class Events
    {
    public:
        virtual ~Events() = default;
        virtual void offerAnnounced(Handle offer) = 0;
        virtual void offerType(Handle offer, const QByteArray &mimeType) = 0;
        // The clipboard's new content; 0 when it was cleared or its owner quit.
        virtual void selection(Handle offer) = 0;
        // The primary selection is never read: its offers are dropped here.
        virtual void primarySelection(Handle offer) = 0;
        // The device is gone (its seat went away).
        virtual void finished() = 0;
        // A reader wants our content, through the pipe's write end (ours to close).
        virtual void sendRequested(Handle source, const QByteArray &mimeType, int fd) = 0;
        virtual void cancelled(Handle source) = 0;
    };

    enum class Protocol { Ext, Wlr };

    virtual ~DataControl() = default;

    // Binds the protocol's manager; null when the compositor lacks it.
    static std::unique_ptr<DataControl> create(Protocol protocol, WaylandConnection &connection,
                                               Events &events);

    // A device for the connection's seat; false without a seat.
    virtual bool startDevice() = 0;
    virtual void dropDevice() = 0;
    virtual bool hasDevice() const = 0;

    virtual void receive(Handle offer, const QByteArray &mimeType, int fd) = 0;
    virtual void destroyOffer(Handle offer) = 0;
    virtual Handle createSource(const QList<QByteArray> &mimeTypes) = 0;
    virtual void destroySource(Handle source) = 0;
    // Makes the source the clipboard's content; 0 clears it.
    virtual void setSelection(Handle source) = 0;
};
