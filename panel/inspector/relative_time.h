#pragma once

#include "clip_item.h"

#include <QString>

// "5 min. ago": the distance from now to then in the largest unit that
// fits (seconds, minutes, hours, days, weeks, months, years), counted
// down to whole units, in ICU's short relative style. A moment in the
// future reads "in 5 min."; now itself reads as the past ("0 sec. ago").
// localeName is an ICU locale id; empty means the default locale.
QString relativeTimeText(TimeInterval then, TimeInterval now, const QString &localeName = {});
