#include "editors/FrequencyText.h"

#include "editors/CrossoverTable.h"

#include <algorithm>
#include <cmath>

namespace talvo {

namespace {

// Fifteen significant digits give the short form of every table value ("35.1", not
// "35.100000000000001") while keeping any value a user could meaningfully type.
QString General(double value) { return QString::number(value, 'g', 15); }

std::optional<double> ToNumber(const QString &text, const QLocale &base) {
    QLocale locale = base;
    // "1,5" must not silently become 15 in a locale that groups digits with a comma.
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (ok && std::isfinite(value)) return value;
    return std::nullopt;
}

}  // namespace

QString FormatFrequency(double hz, FrequencyTextForm form) {
    if (!(hz > 1000.0)) return General(hz) + QStringLiteral("Hz");
    QString kilo = General(hz / 1000.0);
    if (form == FrequencyTextForm::Standard && !kilo.contains(QLatin1Char('.')))
        kilo += QStringLiteral(".0");
    return kilo + QStringLiteral("KHz");
}

std::optional<double> ParseFrequencyText(const QString &text, const QLocale &locale) {
    const bool kilo = text.contains(QLatin1Char('k'), Qt::CaseInsensitive);
    QString rest;
    rest.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z')) continue;
        rest += c;
    }
    rest = rest.trimmed();
    if (rest.isEmpty()) return std::nullopt;
    std::optional<double> value = ToNumber(rest, locale);
    if (!value) value = ToNumber(rest, QLocale::c());
    if (!value) return std::nullopt;
    return kilo ? *value * 1000.0 : *value;
}

int CrossoverPositionForFrequency(double hz, int minimum, int maximum) {
    const auto &table = CrossoverTable();
    minimum = std::clamp(minimum, 0, kCrossoverCount - 1);
    maximum = std::clamp(maximum, minimum, kCrossoverCount - 1);
    if (std::isnan(hz) || hz < table[minimum]) return minimum;
    if (hz > table[maximum]) return maximum;
    const auto first = table.begin() + minimum;
    const auto last = table.begin() + maximum + 1;
    return static_cast<int>(std::lower_bound(first, last, hz) - table.begin());
}

}  // namespace talvo
