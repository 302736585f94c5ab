#pragma once

#include "pasteboard.h"
#include "pasteboard_content.h"
#include "wayland/data_control.h"
#include "wayland/pipe_writers.h"

#include <QByteArray>
#include <QHash>

#include <memory>

class WaylandConnection;
struct wl_callback;

// The clipboard read and written over the clipboard-manager protocol on our
// own Wayland connection, never waiting for the owning program: each
// selection the compositor announces is checked for concealed markers
// before anything is read, then its text is read through a non-blocking
// pipe in slices across turns of the event loop, bounded in time and size.
// The counter moves, and changed() fires, once the snapshot of a new
// selection is complete or dropped; a newer selection abandons an older
// read. Our own writes are served by PipeWriters.
//
// On Wayland a deliberate clear and an owner that quits both show as an
// empty selection: both count as a loss of the content (ownerVanished()).
class WaylandPasteboard final : public Pasteboard, private DataControl::Events
{
    Q_OBJECT
public:
    using Protocol = DataControl::Protocol;
    using Limits = PasteboardLimits;
    using OfferHandle = DataControl::OfferHandle;
    using SourceHandle = DataControl::SourceHandle;

    WaylandPasteboard(std::shared_ptr<WaylandConnection> connection, Protocol protocol,
                      Limits limits = {}, QObject *parent = nullptr);
    ~WaylandPasteboard() override;

    qint64 changeCount() const override { return m_content.changeCount(); }
    std::optional<QStringList> types() const override { return m_content.types(); }
    std::optional<QString> string() const override { return m_content.text(); }
    void clearContents() override;
    void setString(const QString &text) override;
    bool setStringIfUnowned(const QString &text) override;

    // Whether the compositor offered the protocol and a seat to watch.
    bool watchesChanges() const;
    // Whether a read of another program's content is under way.
    bool isReading() const { return m_read != nullptr; }
    // How many programs are being served our content right now.
    int servingCount() const { return m_writers.count(); }

    // Put beside our own offers so that the compositor's echo of a write of
    // ours is known for what it is.
    static const QByteArray &ownWriteMarker();

    // Call when the program whose text was read is known to have quit but
    // no new selection was announced (KWin keeps a quit X program's copy
    // listed): the text is read again, and when nothing comes (empty, or
    // no answer within the data timeout) the loss is announced as for an
    // emptied clipboard. Any new selection meanwhile ends the check.
    void checkForeignContentServed();

private:
    struct Read;

    void offerAnnounced(OfferHandle offer) override;
    void offerType(OfferHandle offer, const QByteArray &mimeType) override;
    void selection(OfferHandle offer) override;
    void primarySelection(OfferHandle offer) override;
    void finished() override;
    void sendRequested(SourceHandle source, const QByteArray &mimeType, int fd) override;
    void cancelled(SourceHandle source) override;

    static void onInitialStateKnown(void *data, wl_callback *callback, uint32_t);
    void endInitialState();
    void takeSelection(OfferHandle offer);
    void startRead(OfferHandle offer, QStringList types, const QByteArray &mimeType, bool initial);
    // Asks for the offer's content in the type; nothing without a pipe.
    std::unique_ptr<Read> receive(OfferHandle offer, const QByteArray &mimeType);
    void confirmEnd();
    static void onReadEndConfirmed(void *data, wl_callback *callback, uint32_t);
    void finishRead(QString text);
    void announceLoss();
    void dropServedOffer();
    void dropRead();
    void retireRead();
    void publish(PasteboardSnapshot snapshot, bool foreign, bool initial);

    void write(std::optional<QByteArray> utf8);
    void submit(const std::optional<QByteArray> &utf8);
    static void onClaimChecked(void *data, wl_callback *callback, uint32_t);
    void dropClaim();
    void holdSelection(OfferHandle offer);
    void dropHeld();
    static void onWriteSettled(void *data, wl_callback *callback, uint32_t);
    void writeSettled(wl_callback *callback);
    void onConnectionLost();

    std::shared_ptr<WaylandConnection> m_connection;
    Limits m_limits;
    std::unique_ptr<DataControl> m_control;
    PasteboardContent m_content;
    QHash<OfferHandle, QStringList> m_offers;
    // Selections before the answer to a sync sent after the device was
    // asked for are what we found, not changes: a compositor may send none
    // for an empty clipboard, so the first event proves nothing.
    bool m_expectInitial = true;
    wl_callback *m_initialSync = nullptr;
    int m_seatWatcher = 0;

    std::unique_ptr<Read> m_read;
    // The offer of the foreign text last read, and its type, for a check.
    OfferHandle m_servedOffer = nullptr;
    QByteArray m_servedType;

    // Our own content while the compositor holds our source; no source
    // after a clear.
    SourceHandle m_source = nullptr;
    QByteArray m_ownedUtf8;
    // Until the compositor has taken our latest write (the answer to a sync
    // sent after it), selections are held: the last one seen decides.
    wl_callback *m_writeSync = nullptr;
    bool m_lastWriteClears = false;
    bool m_holding = false;
    bool m_heldIsEcho = false;
    OfferHandle m_heldOffer = nullptr;

    // A claim of lost content waits for the compositor's answer to a sync.
    bool m_announcingLoss = false;
    wl_callback *m_claimSync = nullptr;
    QByteArray m_claimedUtf8;

    PipeWriters m_writers;
};
