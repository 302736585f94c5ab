#include "commands/history_listing.h"

#include "history_file.h"
#include "inspector/relative_time.h"
#include "text_rules.h"

#include <QHash>

namespace HistoryListing {

namespace {

constexpr qint64 previewGraphemes = 120;

bool isBlankOrControl(QChar c)
{
    return TextRules::isWhitespaceOrNewline(c.unicode()) || c.category() == QChar::Other_Control;
}

// Control characters would reach the terminal as commands.
QString oneLine(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (isBlankOrControl(c))
            c = u' ';
    }
    return line;
}

QString padded(const QString &text, qsizetype width, bool right = false)
{
    return right ? text.rightJustified(width) : text.leftJustified(width);
}

struct TableLayout
{
    qsizetype indexWidth = 0;
    qsizetype kindWidth = 0;
    qsizetype timeWidth = 0;
    bool anyPinned = false;
};

// The stored fields after the number, the text escaped slice by slice as
// the reader takes it: a 50 MB item never stops the program for long.
ChannelProtocol::DataSource jsonLine(const ClipItem &item, qsizetype number, char end)
{
    ClipItem::Stored withoutText = item.stored();
    withoutText.rawContent.clear();
    const QByteArray line = "{\"index\":" + QByteArray::number(number) + ','
                            + HistoryFile::encodeItem(ClipItem(std::move(withoutText))).mid(1) + end;
    static const QByteArray key = "\"rawContent\":\"";
    const qsizetype textAt = line.indexOf(key) + key.size();
    return ChannelProtocol::concatenated(
        {ChannelProtocol::once(line.left(textAt)),
         ChannelProtocol::textSlices(item.rawContent(),
                                     [](QStringView slice) {
                                         QByteArray escaped;
                                         HistoryFile::appendEscaped(escaped, slice);
                                         return escaped;
                                     }),
         ChannelProtocol::once(line.mid(textAt))});
}

} // namespace

QString preview(const ClipItem &item)
{
    const QString &raw = item.rawContent();
    QString line;
    bool cut = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        // Enough to hold the graphemes that are kept, however they combine.
        if (line.size() >= previewGraphemes * 8) {
            cut = true;
            break;
        }
        if (!isBlankOrControl(raw[i]))
            line += raw[i];
        else if (!line.isEmpty() && !line.endsWith(u' '))
            line += u' ';
    }
    line = line.trimmed();
    const QStringView kept = TextRules::leadingGraphemes(line, previewGraphemes);
    if (kept.size() < line.size())
        cut = true;
    return cut ? kept.toString() + QChar(0x2026) : line;
}

QString kindLabel(const ClipItem &item)
{
    const QString kind = rawValue(item.contentType());
    if (item.contentType() == ClipContentType::Code && item.detectedLanguage())
        return QStringLiteral("%1 (%2)").arg(kind, oneLine(*item.detectedLanguage()));
    return kind;
}

ChannelProtocol::DataSource lines(const QList<ClipItemPtr> &displayOrder,
                                  const QList<ClipItemPtr> &shown, const Options &options)
{
    auto numbers = std::make_shared<QHash<QUuid, qsizetype>>();
    for (qsizetype i = 0; i < displayOrder.size(); ++i)
        numbers->insert(displayOrder[i]->id(), i + 1);

    TableLayout layout;
    if (options.form == Form::Table) {
        for (const ClipItemPtr &item : shown) {
            layout.indexWidth = std::max(layout.indexWidth, QString::number(numbers->value(item->id())).size());
            layout.kindWidth = std::max(layout.kindWidth, kindLabel(*item).size());
            layout.timeWidth = std::max(layout.timeWidth,
                                        relativeTimeText(item->timestamp(), options.now).size());
            layout.anyPinned = layout.anyPinned || item->isPinned();
        }
    }

    const char end = options.nulSeparated ? '\0' : '\n';
    auto next = std::make_shared<qsizetype>(0);
    auto current = std::make_shared<ChannelProtocol::DataSource>();
    auto lineOf = [numbers, options, layout, end](const ClipItem &item) -> ChannelProtocol::DataSource {
        const qsizetype number = numbers->value(item.id());
        switch (options.form) {
        case Form::Json:
            return jsonLine(item, number, end);
        case Form::Picker:
            return ChannelProtocol::once(QString::number(number).toUtf8() + ": " + preview(item).toUtf8() + end);
        case Form::Table:
            break;
        }
        QStringList columns{padded(QString::number(number), layout.indexWidth, true)};
        if (layout.anyPinned)
            columns << padded(item.isPinned() ? QStringLiteral("pinned") : QString(), 6);
        columns << padded(kindLabel(item), layout.kindWidth)
                << padded(relativeTimeText(item.timestamp(), options.now), layout.timeWidth)
                << oneLine(item.title());
        QString row = columns.join(QStringLiteral("  "));
        while (row.endsWith(u' '))
            row.chop(1);
        return ChannelProtocol::once(row.toUtf8() + end);
    };
    return [shown, next, current, lineOf]() -> std::optional<QByteArray> {
        for (;;) {
            if (*current) {
                if (auto piece = (*current)())
                    return piece;
            }
            if (*next >= shown.size())
                return std::nullopt;
            *current = lineOf(*shown[(*next)++]);
        }
    };
}

} // namespace HistoryListing
