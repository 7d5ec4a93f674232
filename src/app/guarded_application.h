#pragma once

#include <QApplication>

class ErrorReport;

// Last line of defence: an exception that escapes an event handler is
// reported instead of unwinding through the event loop.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    void setErrorReport(ErrorReport *report) { m_report = report; }
    bool notify(QObject *receiver, QEvent *event) override;

private:
    ErrorReport *m_report = nullptr;
};
