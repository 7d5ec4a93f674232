#pragma once

#include "axis_range.h"
#include "lcd_state.h"
#include "reading.h"

#include <QLocale>
#include <QString>

class LocaleService;

// The steps of a decoded frame that belong to other parts of the program,
// called in the decoder's order. The default does nothing.
class DecoderHooks {
public:
    virtual ~DecoderHooks() = default;
    virtual void normaliseLimitSeparators() {} // limit fields follow the user's separator
    virtual void frameArrived() {}             // link indicator lit, watchdog reset
    virtual void measurementKindChanged() {}   // re-select the chart series
    virtual void judge() {}                    // verdict for Reading
    virtual void barMaximumChanged(int) {}     // bar graph follows the value axis
    virtual void handOff() {}                  // recording
};

// Turns one meter frame (hex text, two upper-case digits a byte) into the
// current Reading, the LCD picture, the full-scale count and the value
// axis (minus and plus the full scale of the range) for whoever draws it. One instance lives as long as the
// program; its state carries from frame to frame.
class MeterDecoder {
public:
    explicit MeterDecoder(const LocaleService &locale);

    void setHooks(DecoderHooks *hooks) { m_hooks = hooks ? hooks : &m_noHooks; }

    // Decodes one frame. Throws ConversionError where the frame's digits or
    // point code are not numbers; what earlier steps wrote then stays.
    void decode(const QString &frameHex);

    // Reads the user's decimal separator and number format anew; every
    // frame starts with it, and start-up runs it once.
    void refreshLocale();

    const Reading &reading() const { return m_reading; }
    Reading &reading() { return m_reading; }
    const LcdState &lcd() const { return m_lcd; }
    // Set by a frame whose range the rules know; the hooks from judge() on see the new ends.
    const AxisRange &valueAxis() const { return m_valueAxis; }

    QString userDecimalSeparator() const { return m_userDecimalSeparator; }
    const QLocale &userFormatSettings() const { return m_userFormatSettings; }

    double rawCount() const { return m_rawCount; }
    int scaleCount() const { return m_scaleCount; }
    int pointPos() const { return m_pointPos; }
    bool newReading() const { return m_newReading; }
    void clearNewReading() { m_newReading = false; }

private:
    const LocaleService &m_locale;
    AxisRange m_valueAxis{-4000, 4000}; // the start's full scale, until a range sets it
    DecoderHooks m_noHooks;
    DecoderHooks *m_hooks = &m_noHooks;

    Reading m_reading;
    LcdState m_lcd = LcdState::startUp();
    QString m_userDecimalSeparator;
    QLocale m_userFormatSettings;

    double m_rawCount = 0;
    int m_scaleCount = 4000;
    int m_pointPos = 0;
    QString m_prevUnitText = QStringLiteral("113"); // matches no unit: the first frame is a new kind
    QString m_prevFunctionText;
    int m_prevPointPos = 0;
    double m_prevAxisMax = 0;
    bool m_newReading = false;
};
