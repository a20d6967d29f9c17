// Reading conversion. Everything after the decoding works on magnitudes;
// the polarity is only attached to the text at the end, so the filter, the
// gauge and the shunt conversion never see a sign.
#include "acquisition/conversion.h"

#include <cfloat>
#include <cmath>

#include "common/numtext.h"

namespace kestrane {
namespace {

// The largest magnitude shown: the largest whose text still reads back
// (exponent 4931), so an overflowing product saturates here instead of
// reaching the display, the alarms or the log as an unreadable text.
constexpr long double kLargestShown = 9.999999999999999e4931L;

long double Finite(long double v) {
    if (std::isnan(v)) return 0.0L;
    if (v > kLargestShown) return kLargestShown;
    if (v < -kLargestShown) return -kLargestShown;
    return v;
}

// Magnitude of a shown reading: the sign character dropped, the rest
// trimmed and read as a number.
std::optional<long double> ShownMagnitude(std::string_view shown) {
    if (shown.empty()) return std::nullopt;
    const auto v = TextToReal(TrimText(shown.substr(1)));
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return std::fabs(*v);
}

GaugeState MakeGauge(const ChannelSettings& settings, bool positive, std::string_view magnitudeText) {
    GaugeState g;
    if (!settings.IsShunt()) {
        g.maximum = 100;
    } else {
        // A zero, negative or unreadable amp rating would give a bar with no
        // range at all; the voltmeter range keeps it usable.
        const int32_t amps = TextToInt(settings.amp);
        g.maximum = amps > 0 ? amps : 100;
    }
    g.positive = positive;
    g.colour = positive ? kGaugePositiveColour : kGaugeNegativeColour;
    const auto m = TextToReal(magnitudeText);
    if (!m || !(*m > 0)) {
        g.position = 0;
    } else if (*m >= static_cast<long double>(g.maximum)) {
        g.position = g.maximum;  // a bar cannot show more than full
    } else {
        // The magnitude rounded to a whole number with ties to even.
        g.position = TextToInt(TrimText(RealToText(*m, 0)));
    }
    return g;
}

}  // namespace

DecodedWord DecodeWord(std::string_view wordText) {
    const auto w = static_cast<uint32_t>(TextToInt(wordText));
    DecodedWord d;
    d.positive = (w & 0x40000000U) != 0;
    const uint32_t bits = d.positive ? w : 0U - w;
    d.count = (bits & 0x3FFFFF80U) >> 6;
    return d;
}

long double FilterWeight(std::string_view weightText) {
    const auto w = TextToReal(TrimText(weightText));
    if (!w || !std::isfinite(*w)) return kDefaultFilterWeight;
    if (*w > 0 && *w < 1) return *w;
    if (*w > 1) return 1.0L / *w;
    return kDefaultFilterWeight;
}

ConversionResult ConvertReading(std::string_view wordText, const ChannelSettings& settings,
                                std::string_view adjustText, std::string_view precisionText,
                                std::string_view currentShown, ConversionScratch& scratch, int& warmUp) {
    const DecodedWord word = DecodeWord(wordText);

    if (const auto a = TextToReal(adjustText)) scratch.adjustment = *a;
    if (const auto amp = TextToReal(settings.amp)) scratch.amp = *amp;
    const auto millivolts = TextToReal(settings.millivolt);
    const int precision = TextToInt(precisionText);

    long double v =
        static_cast<long double>(word.count) / kFullScaleCount * kGainFactor1 * kGainFactor2 - kZeroOffset;
    v = Finite(v * scratch.adjustment);
    v = std::fabs(v);

    if (settings.IsShunt()) {
        if (v < kShuntNoiseFloor) v = 0.0L;
        const long double mvr = millivolts ? *millivolts / 1000.0L : 0.0L;
        // No rating means no current can be derived; 0 A rather than a
        // division by zero.
        v = (mvr == 0.0L) ? 0.0L : std::fabs(Finite(v * scratch.amp / mvr));
        v = Finite(v);
    }

    std::string m = RealToText(v, precision);

    if (settings.FilterEnabled()) {
        if (warmUp < kFilterWarmUpReadings) {
            ++warmUp;
        } else if (const auto fresh = TextToReal(TrimText(m))) {
            // A shown text that is not a number ("  DISABLED") falls back to
            // this channel's last shown magnitude; with none, no blend.
            const auto shownPrev = ShownMagnitude(currentShown);
            const long double prev =
                shownPrev ? *shownPrev : (scratch.hasPrevious ? scratch.previous : *fresh);
            const long double w = FilterWeight(settings.filterWeight);
            m = RealToText(Finite(prev + (*fresh - prev) * w), precision);
        }
    }

    const auto shownValue = TextToReal(TrimText(m));
    if (shownValue) {
        scratch.previous = *shownValue;
        scratch.hasPrevious = true;
    }

    ConversionResult r;
    r.shown = (word.positive ? "+" : "-") + m;
    // The same rounded number as the text, so no reader has to parse it back.
    if (shownValue) r.value = static_cast<double>(word.positive ? *shownValue : -*shownValue);
    r.gauge = MakeGauge(settings, word.positive, TrimText(m));
    return r;
}

void ApplyReading(ChannelStates& states, int channel, const ChannelSettings& settings,
                  std::string_view wordText, std::string_view adjustText, std::string_view precisionText) {
    if (channel < 1 || channel > kChannelCount) return;
    ChannelState& ch = states.at(channel);
    ConversionResult r =
        ConvertReading(wordText, settings, adjustText, precisionText, ch.shown, ch.scratch, states.warmUp);
    ch.shown = std::move(r.shown);
    ch.value = r.value;
    ch.gauge = r.gauge;
    ch.hasReading = true;
}

}  // namespace kestrane
