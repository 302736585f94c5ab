#include "inspector/relative_time.h"

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

#include <cmath>
#include <memory>

namespace {

struct Step
{
    double seconds;
    URelativeDateTimeUnit unit;
};

// Calendar months and years vary; their mean lengths pick the unit well
// enough for a label that only ever shows whole units.
constexpr Step steps[] = {
    {365.2425 * 86400, UDAT_REL_UNIT_YEAR}, {30.436875 * 86400, UDAT_REL_UNIT_MONTH},
    {7 * 86400, UDAT_REL_UNIT_WEEK},        {86400, UDAT_REL_UNIT_DAY},
    {3600, UDAT_REL_UNIT_HOUR},             {60, UDAT_REL_UNIT_MINUTE},
};

QString fromUnicode(const icu::UnicodeString &text)
{
    return QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
}

} // namespace

QString relativeTimeText(TimeInterval then, TimeInterval now, const QString &localeName)
{
    double distance = then - now; // negative: in the past
    if (!std::isfinite(distance))
        distance = 0;
    const double magnitude = std::fabs(distance);
    double count = std::floor(magnitude);
    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
    for (const Step &step : steps) {
        if (magnitude >= step.seconds) {
            count = std::floor(magnitude / step.seconds);
            unit = step.unit;
            break;
        }
    }
    // -0.0 for now itself, which ICU reads as the past.
    const double offset = distance > 0 ? count : -count;

    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = localeName.isEmpty()
                                   ? icu::Locale::getDefault()
                                   : icu::Locale(localeName.toUtf8().constData());
    icu::RelativeDateTimeFormatter formatter(locale, nullptr, UDAT_STYLE_SHORT,
                                             UDISPCTX_CAPITALIZATION_NONE, status);
    if (U_FAILURE(status))
        return {};
    icu::UnicodeString out;
    formatter.formatNumeric(offset, unit, out, status);
    if (U_FAILURE(status))
        return {};
    return fromUnicode(out);
}
