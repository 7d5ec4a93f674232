#include "limit_judge.h"

#include "meter/locale_service.h"
#include "meter/reading.h"
#include "window_timer.h"

namespace {

constexpr int kCheckDelayMs = 500;

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

LimitJudge::LimitJudge(const LocaleService &locale, WindowTimer &timer1, WindowTimer &timer4)
    : m_locale(locale), m_systemSeparator(locale.systemDecimalSeparator().trimmed()),
      m_fields{{QStringLiteral("4000"), QStringLiteral("4000"), &timer1, {}},
               {QStringLiteral("-4000"), QStringLiteral("-4000"), &timer4, {}}}
{
    for (Field f : {High, Low}) {
        m_fields[f].timer->setInterval(kCheckDelayMs);
        m_fields[f].timer->setEnabled(false);
        m_fields[f].timer->setOnTimeout([this, f] { check(f); });
    }
}

QChar LimitJudge::userSeparator() const
{
    const QString sep = m_locale.userDecimalSeparator();
    return sep.isEmpty() ? QChar() : sep[0];
}

double LimitJudge::toNumber(const QString &text, QChar decimalSeparator)
{
    const QString t = text.trimmed();
    int i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
        ++i;
    QString normal = t.left(i);
    int digits = 0;
    bool separatorSeen = false;
    for (; i < t.size(); ++i) {
        if (isDigit(t[i])) {
            ++digits;
            normal += t[i];
        } else if (!decimalSeparator.isNull() && t[i] == decimalSeparator && !separatorSeen) {
            separatorSeen = true;
            normal += QLatin1Char('.');
        } else {
            break;
        }
    }
    if (digits == 0)
        return NotANumber;
    if (i < t.size() && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        normal += QLatin1Char('e');
        ++i;
        if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-')))
            normal += t[i++];
        const int exponentStart = i;
        while (i < t.size() && isDigit(t[i]))
            normal += t[i++];
        if (i == exponentStart)
            return NotANumber;
    }
    if (i != t.size())
        return NotANumber;
    bool ok = false;
    const double value = normal.toDouble(&ok); // C locale: "." and "e"
    return ok ? value : NotANumber;
}

void LimitJudge::change(Field field, const QString &text)
{
    m_fields[field].text = text;
    m_fields[field].timer->restart();
}

void LimitJudge::setText(Field field, const QString &text)
{
    change(field, text);
    if (onFieldText)
        onFieldText(field, text);
}

void LimitJudge::check(Field field)
{
    LimitField &f = m_fields[field];
    if (!isNumber(f.text, userSeparator()))
        setText(field, f.lastAccepted);
    f.lastAccepted = f.text;
    f.timer->setEnabled(false); // also cancels the restart of the revert
}

bool LimitJudge::acceptKey(Field field, QChar key) const
{
    // The system separator may be typed only once.
    if (!m_systemSeparator.isEmpty() && key == m_systemSeparator[0] &&
        m_fields[field].text.contains(m_systemSeparator[0]))
        return false;
    const QChar userSep = userSeparator();
    return key == QChar(8) || isDigit(key) || key == QLatin1Char('+') || key == QLatin1Char('-') ||
           key == QLatin1Char('\'') || key == QLatin1Char('`') || (!userSep.isNull() && key == userSep);
}

void LimitJudge::normaliseLimitSeparators()
{
    const QString userSep = m_locale.userDecimalSeparator();
    // Without a separator the replacement would glue 1.5 into 15.
    if (userSep.isEmpty())
        return;
    const QString old = userSep == QLatin1String(".") ? QStringLiteral(",") : QStringLiteral(".");
    for (Field f : {High, Low}) {
        QString text = m_fields[f].text;
        const int at = text.indexOf(old);
        if (at < 0)
            continue;
        text.replace(at, old.size(), userSep);
        if (text != m_fields[f].text)
            setText(f, text);
    }
}

void LimitJudge::judge(Reading &reading)
{
    m_valueText = reading.ValueText;
    const QChar sep = userSeparator();
    const double high = limit(High, sep);
    const double low = limit(Low, sep);
    if (high == NotANumber || low == NotANumber)
        return;
    const double value = toNumber(m_valueText, sep);
    const bool pass = value != NotANumber && low <= value && value <= high;
    m_verdict = pass ? Verdict::Pass : Verdict::Fail;
    reading.JudgeText = pass ? QStringLiteral("pass") : QStringLiteral("Fail");
}

double LimitJudge::limit(Field field, QChar decimalSeparator)
{
    LimitField &f = m_fields[field];
    if (!f.parsed.known || f.parsed.separator != decimalSeparator || f.parsed.text != f.text)
        f.parsed = {f.text, decimalSeparator, toNumber(f.text, decimalSeparator), true};
    return f.parsed.number;
}

QString LimitJudge::judgeCaption() const
{
    switch (m_verdict) {
    case Verdict::Pass:
        return QStringLiteral("Pass");
    case Verdict::Fail:
        return QStringLiteral("Fail");
    default:
        return {};
    }
}
