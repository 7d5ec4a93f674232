#include "page_size_input.h"

#include "chart_control.h"
#include "meter/conversion.h"
#include "window_timer.h"

PageSizeInput::PageSizeInput(TChartControl &pager, WindowTimer &timer2) : m_pager(pager), m_timer(timer2)
{
    m_timer.setOnTimeout([this] { Timer2Timer(); });
}

void PageSizeInput::MaxrecordChange(const QString &text)
{
    m_text = text;
    m_timer.restart();
}

void PageSizeInput::Timer2Timer()
{
    m_timer.setEnabled(false);
    int n = 0;
    try {
        n = strToInt(m_text);
    } catch (const ConversionError &e) {
        if (onError)
            onError(e.message());
        return;
    }
    // The pager divides by its page size: 0 would never come back.
    if (n < 1) {
        n = 1;
        m_text = QStringLiteral("1");
        if (onTextCorrected)
            onTextCorrected(QStringLiteral("1"));
    }
    m_pager.SetPageSize(n);
    if (onPageShown)
        onPageShown(m_pager.CurrentPage());
}
