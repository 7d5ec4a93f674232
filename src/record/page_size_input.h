#pragma once

#include <QString>

#include <functional>

class TChartControl;
class WindowTimer;

// The page-size edit: a change is applied one period of its timer after the
// last keystroke.
class PageSizeInput {
public:
    PageSizeInput(TChartControl &pager, WindowTimer &timer2);

    // Change handler of the edit; the text is the edit's new text.
    void MaxrecordChange(const QString &text);
    // Handler of the timer. Not an integer: the error goes to onError and the
    // timer stays off until the next change. Below 1: the edit becomes "1".
    void Timer2Timer();

    std::function<void(const QString &message)> onError;      // general error report
    std::function<void(const QString &text)> onTextCorrected; // write back into the edit
    std::function<void(int page)> onPageShown;                // caption of the page button

private:
    TChartControl &m_pager;
    WindowTimer &m_timer;
    QString m_text = QStringLiteral("100");
};
