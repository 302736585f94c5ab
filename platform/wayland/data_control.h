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
    // An offer, or a source of ours: the protocol's proxy behind an opaque
    // type of its own, so that one is never passed for the other; null for
    // none.
    struct Offer;
    struct Source;
    using OfferHandle = Offer *;
    using SourceHandle = Source *;

    // What the compositor tells, in its order.
    class Events
    {
    public:
        virtual ~Events() = default;
        virtual void offerAnnounced(OfferHandle offer) = 0;
        virtual void offerType(OfferHandle offer, const QByteArray &mimeType) = 0;
        // The clipboard's new content; 0 when it was cleared or its owner quit.
        virtual void selection(OfferHandle offer) = 0;
        // The primary selection is never read: its offers are dropped here.
        virtual void primarySelection(OfferHandle offer) = 0;
        // The device is gone (its seat went away).
        virtual void finished() = 0;
        // A reader wants our content, through the pipe's write end (ours to close).
        virtual void sendRequested(SourceHandle source, const QByteArray &mimeType, int fd) = 0;
        virtual void cancelled(SourceHandle source) = 0;
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

    virtual void receive(OfferHandle offer, const QByteArray &mimeType, int fd) = 0;
    virtual void destroyOffer(OfferHandle offer) = 0;
    virtual SourceHandle createSource(const QList<QByteArray> &mimeTypes) = 0;
    virtual void destroySource(SourceHandle source) = 0;
    // Makes the source the clipboard's content; 0 clears it.
    virtual void setSelection(SourceHandle source) = 0;
};
