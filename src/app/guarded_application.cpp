#include "guarded_application.h"

#include "error_report.h"

bool GuardedApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        if (m_report)
            m_report->report(QString::fromUtf8(e.what()));
    } catch (...) {
        if (m_report)
            m_report->report(QStringLiteral("Unknown error"));
    }
    return false;
}
