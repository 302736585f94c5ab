#include "gnome/bridge_messages.h"

#include "concealed_types.h"

#include <QMetaType>

#include <utility>

namespace {

// Reads one field of an a{sv} of exactly the wire type; a missing optional
// field leaves `out` alone.
template<typename T>
bool field(const QVariantMap &map, const char *name, T &out, bool required, QString *error)
{
    const auto it = map.constFind(QLatin1String(name));
    if (it == map.constEnd()) {
        if (required && error)
            *error = QStringLiteral("missing field \"%1\"").arg(QLatin1String(name));
        return !required;
    }
    if (it->metaType() != QMetaType::fromType<T>()) {
        if (error)
            *error = QStringLiteral("field \"%1\" has type %2").arg(QLatin1String(name),
                                                                   QLatin1String(it->typeName()));
        return false;
    }
    out = it->value<T>();
    return true;
}

std::optional<BridgeClipboardChange::Origin> originFromName(const QString &name)
{
    using Origin = BridgeClipboardChange::Origin;
    static const QHash<QString, Origin> origins{
        {QStringLiteral("wayland"), Origin::Wayland}, {QStringLiteral("x11"), Origin::X11},
        {QStringLiteral("ours"), Origin::Ours},       {QStringLiteral("keeper"), Origin::Keeper},
        {QStringLiteral("other"), Origin::Other},     {QStringLiteral("none"), Origin::None},
    };
    const auto it = origins.constFind(name);
    return it == origins.constEnd() ? std::nullopt : std::optional(*it);
}

} // namespace

std::optional<BridgeClipboardChange> decodeClipboardChange(const QVariantMap &map, QString *error)
{
    BridgeClipboardChange change;
    QString origin;
    if (!field(map, "serial", change.serial, true, error)
        || !field(map, "types", change.types, true, error)
        || !field(map, "concealed", change.concealed, true, error)
        || !field(map, "origin", origin, true, error)
        || !field(map, "text-readable", change.textReadable, false, error)
        || !field(map, "initial", change.initial, false, error)
        || !field(map, "token", change.token, false, error))
        return std::nullopt;
    const auto decodedOrigin = originFromName(origin);
    if (!decodedOrigin) {
        if (error)
            *error = QStringLiteral("unknown origin \"%1\"").arg(origin);
        return std::nullopt;
    }
    change.origin = *decodedOrigin;
    if (change.textReadable && change.concealed) {
        if (error)
            *error = QStringLiteral("text offered for a concealed copy");
        return std::nullopt;
    }
    // Whatever the shell judged, the program's own rule decides.
    if (hasConcealedType(change.types)) {
        change.concealed = true;
        change.textReadable = false;
    }
    if (change.origin == BridgeClipboardChange::Origin::Ours && change.token == 0) {
        if (error)
            *error = QStringLiteral("our own write without its token");
        return std::nullopt;
    }
    return change;
}

std::optional<BridgeFocus> decodeFocus(const QVariantMap &map, QString *error)
{
    BridgeFocus focus;
    if (!field(map, "window", focus.window, true, error)
        || !field(map, "wm-class", focus.wmClass, false, error)
        || !field(map, "wm-class-instance", focus.wmClassInstance, false, error)
        || !field(map, "pid", focus.pid, false, error))
        return std::nullopt;
    return focus;
}
