#pragma once

#include <QString>

#include <functional>

class LocaleService;
class WindowTimer;
struct Reading;

// The limit panel without its widgets: the texts of the high and low limit
// fields with their last accepted texts and delay timers, the judged value
// and the verdict. The window copies texts and the verdict's colour to its widgets.
class LimitJudge {
public:
    enum Field { High, Low };
    enum class Verdict { None, Pass, Fail }; // None until the first judged frame

    static constexpr double NotANumber = -999999; // the default that marks "not a number"

    LimitJudge(const LocaleService &locale, WindowTimer &timer1, WindowTimer &timer4);

    QString text(Field field) const { return m_fields[field].text; }
    QString lastAcceptedText(Field field) const { return m_fields[field].lastAccepted; }

    // Change handlers of the two edits (the text is the edit's new text):
    // the field is checked 500 ms after its last change.
    void T1HIChange(const QString &text) { change(High, text); }
    void T1LOChange(const QString &text) { change(Low, text); }
    // Key filters: false discards the typed key. The system separator is the
    // one the system locale had when the judge was made (start-up).
    bool T1HIKeyPress(QChar key) const { return acceptKey(High, key); }
    bool T1LOKeyPress(QChar key) const { return acceptKey(Low, key); }
    // A limit given whole (not typed): checked at once, as its delayed check would.
    void setLimit(Field field, const QString &text)
    {
        change(field, text);
        check(field);
    }
    // The delayed checks; the timers call them.
    void Timer1Timer() { check(High); }
    void Timer4Timer() { check(Low); }

    // Decoder step: the limit texts follow the user's decimal separator.
    void normaliseLimitSeparators();
    // Decoder step: judges the reading's value text, sets its JudgeText.
    void judge(Reading &reading);

    QString valueText() const { return m_valueText; } // what the value field shows
    Verdict verdict() const { return m_verdict; }
    QString judgeCaption() const; // "Pass", "Fail" or empty

    // The number a text converts to with the given decimal separator: an
    // optional sign, digits with at most one separator, an optional
    // exponent, blanks around; otherwise NotANumber.
    static double toNumber(const QString &text, QChar decimalSeparator);
    static bool isNumber(const QString &text, QChar decimalSeparator)
    {
        return toNumber(text, decimalSeparator) != NotANumber;
    }

    // A field's text was changed by the judge itself (separator switch or a
    // revert); the window writes it into the edit.
    std::function<void(Field field, const QString &text)> onFieldText;

private:
    struct LimitField {
        QString text;
        QString lastAccepted;
        WindowTimer *timer;
        // The text's number, converted again only when the text or the
        // separator changed: every frame is judged against it.
        struct {
            QString text;
            QChar separator;
            double number = NotANumber;
            bool known = false;
        } parsed;
    };

    void change(Field field, const QString &text);
    void setText(Field field, const QString &text);
    void check(Field field);
    bool acceptKey(Field field, QChar key) const;
    QChar userSeparator() const;
    double limit(Field field, QChar decimalSeparator);

    const LocaleService &m_locale;
    const QString m_systemSeparator; // as start-up found it, not looked up per keystroke
    LimitField m_fields[2];
    QString m_valueText = QStringLiteral("0");
    Verdict m_verdict = Verdict::None;
};
