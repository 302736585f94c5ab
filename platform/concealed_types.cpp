#include "concealed_types.h"

const QStringList &concealedPasteboardTypes()
{
    static const QStringList types{
        QStringLiteral("org.nspasteboard.ConcealedType"),
        QStringLiteral("com.agilebits.onepassword"),
        QStringLiteral("de.blinksoft.ConcealedType"),
        QStringLiteral("Pasteboard type flag - transient"),
        QStringLiteral("net.witt-software.QuickPaste.ConcealedType"),
        QStringLiteral("com.apple.findmy.item"),
        QStringLiteral("x-kde-passwordManagerHint"),
    };
    return types;
}

QString inheritedConcealmentMarker()
{
    return QStringLiteral("x-kde-passwordManagerHint");
}

bool hasConcealedType(const QStringList &types)
{
    if (types.size() > maxOfferedTypes)
        return true;
    for (const QString &type : types) {
        if (concealedPasteboardTypes().contains(type))
            return true;
    }
    return false;
}
