#pragma once

#include "commands/channel_protocol.h"
#include "clip_item.h"

#include <QList>
#include <QString>

// What the list command prints for the items it shows, each with its
// number in the whole list so that the number names the same item
// whatever the filter.
namespace HistoryListing {

enum class Form {
    Table,  // aligned columns for people: number, pin, kind, age, title
    Json,   // one JSON object a line: "index" and the stored fields
    Picker, // "<number>: <preview>" a line, for launchers
};

// The item's text on one line (runs of white space and control
// characters made one space), cut to a length a launcher can show.
QString preview(const ClipItem &item);
// "code (Swift)", "link", "color" or "text".
QString kindLabel(const ClipItem &item);

struct Options
{
    Form form = Form::Table;
    // Records end with NUL instead of a line feed.
    bool nulSeparated = false;
    TimeInterval now = 0;
};

// Lines for shown, made as the reader takes them; displayOrder is the
// whole list that gives the numbers.
ChannelProtocol::DataSource lines(const QList<ClipItemPtr> &displayOrder,
                                  const QList<ClipItemPtr> &shown, const Options &options);

} // namespace HistoryListing
