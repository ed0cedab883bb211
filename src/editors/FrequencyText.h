#pragma once
// Frequency texts of the crossover editor: how a crossover frequency is shown in the boxes and
// limit labels, how a typed frequency is read back, and which scroll position it selects.

#include <QLocale>
#include <QString>

#include <optional>

namespace talvo {

enum class FrequencyTextForm {
    // "10Hz", "35.1Hz", "1000Hz"; above 1000 Hz in kHz with at least one decimal:
    // "1.02KHz", "2.0KHz", "16.0KHz".
    Standard,
    // The form written after a slope click: above 1000 Hz the kHz value without the ".0"
    // padding ("2KHz"); up to 1000 Hz the same as Standard.
    PlainKilo,
};

QString FormatFrequency(double hz, FrequencyTextForm form = FrequencyTextForm::Standard);

// Reads a typed frequency: a "k" or "K" anywhere multiplies by 1000, every ASCII letter is
// dropped ("1k", "1000Hz", "1.5 kHz"), and the rest must be a number. The decimal separator of
// `locale` is accepted, and so is ".", since that is how FormatFrequency writes the boxes.
// Returns nothing when the text holds no number.
std::optional<double> ParseFrequencyText(const QString &text,
                                         const QLocale &locale = QLocale::system());

// The crossover scroll position a typed frequency selects on a bar limited to
// minimum..maximum (indices into CrossoverTable, clamped to 0..394): below the value at the
// minimum -> minimum, above the value at the maximum -> maximum, otherwise the first table
// frequency at or above hz. A NaN selects the minimum.
int CrossoverPositionForFrequency(double hz, int minimum, int maximum);

}  // namespace talvo
