#pragma once

#include <QApplication>

class ErrorReport;

// Last line of defence: an exception that escapes an event handler is
// reported instead of unwinding through the event loop.
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    void setErrorReport(ErrorReport *report) { m_report = report; }
    ErrorReport *errorReport() const { return m_report; }
    bool notify(QObject *receiver, QEvent *event) override;

private:
    ErrorReport *m_report = nullptr;
};

// Hands the application an error report for as long as this lives. The
// report belongs to the window, which dies before the application does.
class ErrorReportBinding {
public:
    ErrorReportBinding(GuardedApplication &app, ErrorReport &report) : m_app(app)
    {
        app.setErrorReport(&report);
    }
    ~ErrorReportBinding() { m_app.setErrorReport(nullptr); }
    ErrorReportBinding(const ErrorReportBinding &) = delete;
    ErrorReportBinding &operator=(const ErrorReportBinding &) = delete;

private:
    GuardedApplication &m_app;
};
