#pragma once

#include "commands/command_client.h"
#include "pasteboard_content.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The command channel's wire format.
//
// A request is one header line: a command word, then key=value tokens
// whose values are percent-encoded, separated by single spaces, e.g.
// "list filter=code search=two%20words". A "length=N" token announces N
// bytes of body right after the line.
//
// A reply starts with one status line: "ok", "error: <reason>", or "data",
// which is followed by frames "<hex length>\n<bytes>" ending with "0\n".
// The frames let a reply of any size stream, and let the client tell a
// complete reply from one cut off.
namespace ChannelProtocol {

// A header longer than this is refused without reading on.
inline constexpr qsizetype maxHeaderBytes = CommandClient::maxHeaderBytes;
// The largest body: what the clipboard takes of one copy, so that a text
// added from the command line is held to the same limit.
inline constexpr qint64 maxBodyBytes = PasteboardLimits{}.maxBytes;
// A frame larger than this is a broken reply.
inline constexpr qsizetype maxFrameBytes = CommandClient::maxFrameBytes;

struct Request
{
    QByteArray command;
    QMap<QByteArray, QString> arguments;
    qint64 bodyLength = 0;

    // The header line, newline included.
    QByteArray encode() const;
    // The line without its newline. Nothing, with the reason in *error,
    // for a line that does not follow the grammar.
    static std::optional<Request> parse(const QByteArray &line, QString *error);

    QString argument(const char *key) const { return arguments.value(key); }
    bool has(const char *key) const { return arguments.contains(key); }
};

// The next slice of a data reply, or nothing once all was given.
using DataSource = std::function<std::optional<QByteArray>()>;

struct Reply
{
    QByteArray status; // "ok", "data" or "error: ..."
    DataSource data;   // only with "data"

    static Reply ok() { return {"ok", {}}; }
    // One line, whatever the reason holds.
    static Reply error(const QString &reason);
    static Reply stream(DataSource source) { return {"data", std::move(source)}; }
    static Reply bytes(QByteArray all);
};

QByteArray frame(const QByteArray &chunk);
inline constexpr char endFrame[] = "0\n";

// bytes, in one piece.
DataSource once(QByteArray bytes);
// The sources one after the other.
DataSource concatenated(std::vector<DataSource> sources);
// A text encoded in slices of about sliceUnits UTF-16 units, never
// splitting a surrogate pair; the text is shared, not copied.
DataSource textSlices(QString text, std::function<QByteArray(QStringView)> encode,
                      qsizetype sliceUnits = 256 * 1024);
// The text as UTF-8, in slices.
DataSource utf8Slices(QString text, qsizetype sliceUnits = 256 * 1024);

} // namespace ChannelProtocol
