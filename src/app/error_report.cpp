#include "error_report.h"

#include "ui/dialog_service.h"

void ErrorReport::report(const QString &message)
{
    m_dialogs.showError(QStringLiteral("Error"), message);
}
