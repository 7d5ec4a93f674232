#include "dialog_service.h"

#include "record/file_progress.h"
#include "report_preview.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>

bool MessageBoxDialogs::askYesNo(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::NoButton, m_parent);
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void MessageBoxDialogs::showError(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

QString DialogService::getSaveFileName(const FileDialogOptions &)
{
    return {};
}

QString DialogService::getOpenFileName(const FileDialogOptions &)
{
    return {};
}

void DialogService::showInformation(const QString &, const QString &) {}

void DialogService::showErrorDetail(const QString &title, const QString &text, const QString &detail)
{
    showError(title, text + QStringLiteral("\n\n") + detail);
}

std::unique_ptr<FileProgress> DialogService::makeProgress(const QString &)
{
    return nullptr;
}

void DialogService::showPrintPreview(const QString &, const PagedDocument &) {}

QStringList nameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // "Excel File(*.xls)" already names its pattern the way the dialog reads it.
        filters << (parts[i].endsWith(QLatin1Char(')')) ? parts[i] : parts[i] + " (" + pattern + ')');
    }
    return filters;
}

namespace {

// The suffix a filter's first pattern gives ("*.xml" -> "xml"); empty for "*".
QString suffixOf(const QString &nameFilter)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.([A-Za-z0-9]+))"));
    return pattern.match(nameFilter).captured(1);
}

QString runFileDialog(QWidget *parent, QFileDialog::AcceptMode mode, const FileDialogOptions &options)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(options.filter));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.confirmOverwrite);
    dialog.setDefaultSuffix(options.defaultSuffix);
    if (!options.defaultSuffix.isEmpty()) {
        // A name typed without extension takes the selected filter's.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString &filter) {
            const QString suffix = suffixOf(filter);
            dialog.setDefaultSuffix(suffix.isEmpty() ? options.defaultSuffix : suffix);
        });
    }
    if (!options.selectedName.isEmpty())
        dialog.selectFile(options.selectedName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

// Shows itself once a load or save has lasted half a second; while shown it
// lets the event loop run, so the window repaints and frames are recorded.
class DialogProgress : public FileProgress {
public:
    DialogProgress(QWidget *parent, const QString &label) : m_label(label), m_parent(parent) {}
    void begin(qint64 total) override
    {
        m_total = qMax<qint64>(total, 1);
        m_dialog = std::make_unique<QProgressDialog>(m_label, QString(), 0, kSteps, m_parent);
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(500);
        m_dialog->setCancelButton(nullptr);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setValue(0);
    }
    void advance(qint64 done) override
    {
        if (m_dialog)
            m_dialog->setValue(int(qMin<qint64>(kSteps - 1, done * kSteps / m_total)));
    }
    void end() override { m_dialog.reset(); }

private:
    static constexpr int kSteps = 1000;
    QString m_label;
    QWidget *m_parent;
    qint64 m_total = 1;
    std::unique_ptr<QProgressDialog> m_dialog;
};

} // namespace

QString MessageBoxDialogs::getSaveFileName(const FileDialogOptions &options)
{
    return runFileDialog(m_parent, QFileDialog::AcceptSave, options);
}

QString MessageBoxDialogs::getOpenFileName(const FileDialogOptions &options)
{
    return runFileDialog(m_parent, QFileDialog::AcceptOpen, options);
}

void MessageBoxDialogs::showInformation(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, m_parent);
    box.exec();
}

void MessageBoxDialogs::showErrorDetail(const QString &title, const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, m_parent);
    box.setInformativeText(detail);
    box.exec();
}

std::unique_ptr<FileProgress> MessageBoxDialogs::makeProgress(const QString &label)
{
    return std::make_unique<DialogProgress>(m_parent, label);
}

// Not Qt's preview dialog: it draws every page before it shows the first
// (at a hundred thousand rows, 2,703 pages, 15 s and 700 MB).
void MessageBoxDialogs::showPrintPreview(const QString &title, const PagedDocument &document)
{
    ReportPreview preview(document, m_parent);
    preview.setWindowTitle(title);
    preview.exec();
}
