#include "error_report.h"

#include "dialog_service.h"

void ErrorReport::report(const QString &message)
{
    m_dialogs.showError(QStringLiteral("Error"), message);
}
