#include "wayland/data_control.h"

#include "wayland/wayland_connection.h"

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <unistd.h>

namespace {

struct ExtProtocol
{
    using Manager = ext_data_control_manager_v1;
    using Device = ext_data_control_device_v1;
    using Source = ext_data_control_source_v1;
    using Offer = ext_data_control_offer_v1;
    using DeviceListener = ext_data_control_device_v1_listener;
    using SourceListener = ext_data_control_source_v1_listener;
    using OfferListener = ext_data_control_offer_v1_listener;
    static constexpr const wl_interface *managerInterface = &ext_data_control_manager_v1_interface;
    static constexpr uint32_t version = 1;

    static Device *getDevice(Manager *m, wl_seat *seat) { return ext_data_control_manager_v1_get_data_device(m, seat); }
    static Source *createSource(Manager *m) { return ext_data_control_manager_v1_create_data_source(m); }
    static void destroy(Manager *m) { ext_data_control_manager_v1_destroy(m); }
    static void destroy(Device *d) { ext_data_control_device_v1_destroy(d); }
    static void destroy(Source *s) { ext_data_control_source_v1_destroy(s); }
    static void destroy(Offer *o) { ext_data_control_offer_v1_destroy(o); }
    static void listen(Device *d, const DeviceListener *l, void *data) { ext_data_control_device_v1_add_listener(d, l, data); }
    static void listen(Source *s, const SourceListener *l, void *data) { ext_data_control_source_v1_add_listener(s, l, data); }
    static void listen(Offer *o, const OfferListener *l, void *data) { ext_data_control_offer_v1_add_listener(o, l, data); }
    static void offer(Source *s, const char *type) { ext_data_control_source_v1_offer(s, type); }
    static void setSelection(Device *d, Source *s) { ext_data_control_device_v1_set_selection(d, s); }
    static void receive(Offer *o, const char *type, int fd) { ext_data_control_offer_v1_receive(o, type, fd); }
};

struct WlrProtocol
{
    using Manager = zwlr_data_control_manager_v1;
    using Device = zwlr_data_control_device_v1;
    using Source = zwlr_data_control_source_v1;
    using Offer = zwlr_data_control_offer_v1;
    using DeviceListener = zwlr_data_control_device_v1_listener;
    using SourceListener = zwlr_data_control_source_v1_listener;
    using OfferListener = zwlr_data_control_offer_v1_listener;
    static constexpr const wl_interface *managerInterface = &zwlr_data_control_manager_v1_interface;
    // Version 2 adds the primary selection, whose offers we only drop.
    static constexpr uint32_t version = 2;

    static Device *getDevice(Manager *m, wl_seat *seat) { return zwlr_data_control_manager_v1_get_data_device(m, seat); }
    static Source *createSource(Manager *m) { return zwlr_data_control_manager_v1_create_data_source(m); }
    static void destroy(Manager *m) { zwlr_data_control_manager_v1_destroy(m); }
    static void destroy(Device *d) { zwlr_data_control_device_v1_destroy(d); }
    static void destroy(Source *s) { zwlr_data_control_source_v1_destroy(s); }
    static void destroy(Offer *o) { zwlr_data_control_offer_v1_destroy(o); }
    static void listen(Device *d, const DeviceListener *l, void *data) { zwlr_data_control_device_v1_add_listener(d, l, data); }
    static void listen(Source *s, const SourceListener *l, void *data) { zwlr_data_control_source_v1_add_listener(s, l, data); }
    static void listen(Offer *o, const OfferListener *l, void *data) { zwlr_data_control_offer_v1_add_listener(o, l, data); }
    static void offer(Source *s, const char *type) { zwlr_data_control_source_v1_offer(s, type); }
    static void setSelection(Device *d, Source *s) { zwlr_data_control_device_v1_set_selection(d, s); }
    static void receive(Offer *o, const char *type, int fd) { zwlr_data_control_offer_v1_receive(o, type, fd); }
};

template<class P>
class DataControlOver final : public DataControl
{
public:
    DataControlOver(WaylandConnection &connection, typename P::Manager *manager, Events &events)
        : m_connection(connection), m_manager(manager), m_events(events)
    {
    }
    ~DataControlOver() override
    {
        dropDevice();
        P::destroy(m_manager);
        m_connection.flush();
    }

    bool startDevice() override
    {
        dropDevice();
        wl_seat *seat = m_connection.seat();
        if (!seat)
            return false;
        m_device = P::getDevice(m_manager, seat);
        P::listen(m_device, &deviceListener, this);
        m_connection.flush();
        return true;
    }
    void dropDevice() override
    {
        if (m_device)
            P::destroy(m_device);
        m_device = nullptr;
    }
    bool hasDevice() const override { return m_device != nullptr; }

    void receive(OfferHandle offer, const QByteArray &mimeType, int fd) override
    {
        // The library sends a duplicate of the descriptor.
        P::receive(reinterpret_cast<typename P::Offer *>(offer), mimeType.constData(), fd);
        m_connection.flush();
    }
    void destroyOffer(OfferHandle offer) override
    {
        if (offer)
            P::destroy(reinterpret_cast<typename P::Offer *>(offer));
    }
    SourceHandle createSource(const QList<QByteArray> &mimeTypes) override
    {
        typename P::Source *source = P::createSource(m_manager);
        P::listen(source, &sourceListener, this);
        for (const QByteArray &type : mimeTypes)
            P::offer(source, type.constData());
        return reinterpret_cast<SourceHandle>(source);
    }
    void destroySource(SourceHandle source) override
    {
        if (source)
            P::destroy(reinterpret_cast<typename P::Source *>(source));
    }
    void setSelection(SourceHandle source) override
    {
        if (!m_device)
            return;
        P::setSelection(m_device, reinterpret_cast<typename P::Source *>(source));
        m_connection.flush();
    }

private:
    static DataControlOver *self(void *data) { return static_cast<DataControlOver *>(data); }

    static void onDataOffer(void *data, typename P::Device *, typename P::Offer *offer)
    {
        P::listen(offer, &offerListener, data);
        self(data)->m_events.offerAnnounced(reinterpret_cast<OfferHandle>(offer));
    }
    static void onSelection(void *data, typename P::Device *, typename P::Offer *offer)
    {
        self(data)->m_events.selection(reinterpret_cast<OfferHandle>(offer));
    }
    static void onFinished(void *data, typename P::Device *device)
    {
        DataControlOver *that = self(data);
        if (device == that->m_device) {
            P::destroy(device);
            that->m_device = nullptr;
        }
        that->m_events.finished();
    }
    static void onPrimarySelection(void *data, typename P::Device *, typename P::Offer *offer)
    {
        self(data)->m_events.primarySelection(reinterpret_cast<OfferHandle>(offer));
    }
    static void onOffer(void *data, typename P::Offer *offer, const char *type)
    {
        self(data)->m_events.offerType(reinterpret_cast<OfferHandle>(offer), QByteArray(type));
    }
    static void onSend(void *data, typename P::Source *source, const char *type, int32_t fd)
    {
        self(data)->m_events.sendRequested(reinterpret_cast<SourceHandle>(source), QByteArray(type), fd);
    }
    static void onCancelled(void *data, typename P::Source *source)
    {
        self(data)->m_events.cancelled(reinterpret_cast<SourceHandle>(source));
    }

    static constexpr typename P::DeviceListener deviceListener{&onDataOffer, &onSelection, &onFinished,
                                                               &onPrimarySelection};
    static constexpr typename P::SourceListener sourceListener{&onSend, &onCancelled};
    static constexpr typename P::OfferListener offerListener{&onOffer};

    WaylandConnection &m_connection;
    typename P::Manager *m_manager;
    Events &m_events;
    typename P::Device *m_device = nullptr;
};

template<class P>
std::unique_ptr<DataControl> createOver(WaylandConnection &connection, DataControl::Events &events)
{
    auto *manager = reinterpret_cast<typename P::Manager *>(connection.bind(P::managerInterface, P::version));
    if (!manager)
        return nullptr;
    return std::make_unique<DataControlOver<P>>(connection, manager, events);
}

} // namespace

std::unique_ptr<DataControl> DataControl::create(Protocol protocol, WaylandConnection &connection, Events &events)
{
    switch (protocol) {
    case Protocol::Ext:
        return createOver<ExtProtocol>(connection, events);
    case Protocol::Wlr:
        return createOver<WlrProtocol>(connection, events);
    }
    return nullptr;
}
