#include "table_file_actions.h"

#include "error_report.h"
#include "record/file_progress.h"
#include "record/measurement_table.h"
#include "record/table_text_file.h"
#include "record/table_xml_packet.h"
#include "ui/chart_picture.h"
#include "ui/dialog_service.h"
#include "ui/table_report.h"

#include <QFileInfo>
#include <QPrinter>

namespace {

const QString kInformation = QStringLiteral("Information");
const QString kError = QStringLiteral("Error");

bool isPacketName(const QString &fileName)
{
    return fileExtension(fileName) == QLatin1String(".xml"); // exactly: ".XML" is text
}

QString progressLabel(const char *verb, const QString &fileName)
{
    return QStringLiteral("%1 %2 ...").arg(QLatin1String(verb), QFileInfo(fileName).fileName());
}

} // namespace

TableFileActions::TableFileActions(MeasurementTable &cds1, DialogService &dialogs, ErrorReport &errors)
    : m_table(cds1), m_dialogs(dialogs), m_errors(errors)
{
}

void TableFileActions::saveasClick()
{
    // As the original shows it: no blank before "(*.xml)" here, one in the open dialog's filter.
    const QString name = m_dialogs.getSaveFileName(
        {QStringLiteral("Excel File(*.xls)|*.xls|XML(*.xml)|*.xml|Txt File(*.txt)|*.txt"),
         QStringLiteral("xls"), QString(), true});
    if (name.isEmpty())
        return;
    if (isPacketName(name))
        saveTablePacket(name);
    else
        SaveTableAsText(m_table, name);
}

void TableFileActions::reportSaved(const QString &fileName)
{
    // " Scuss!" with its blank is the original's text; not a typo to fix.
    m_dialogs.showInformation(kInformation, QStringLiteral("Save table to specified file: ") + fileName +
                                                QStringLiteral(" Scuss!"));
}

bool TableFileActions::saveTablePacket(const QString &fileName)
{
    const std::unique_ptr<FileProgress> progress = m_dialogs.makeProgress(progressLabel("Saving", fileName));
    // The rows present now; rows recorded while it writes wait for the next save.
    const int rows = m_table.rowCount();
    const FileResult result = TableXmlPacket::save(fileName, m_table, rows, progress.get());
    if (!result) {
        m_dialogs.showErrorDetail(
            kError, QStringLiteral("Could not save table to specified file: ") + fileName, result.reason);
        return false;
    }
    if (onTableSaved)
        onTableSaved(rows);
    reportSaved(fileName);
    return true;
}

bool TableFileActions::SaveTableAsText(const MeasurementTable &Table, const QString &FileName)
{
    const std::unique_ptr<FileProgress> progress = m_dialogs.makeProgress(progressLabel("Saving", FileName));
    const int rows = Table.rowCount();
    const FileResult result = TableTextFile::save(FileName, Table, rows, progress.get());
    if (rows > 0 && onCurrentRow && &Table == &m_table)
        onCurrentRow(rows - 1);
    if (!result) {
        m_dialogs.showErrorDetail(
            kError, QStringLiteral("Could not save table to specified file: ") + FileName, result.reason);
        return false;
    }
    if (onTableSaved && &Table == &m_table)
        onTableSaved(rows);
    reportSaved(FileName);
    return true;
}

void TableFileActions::SpeedButton2Click()
{
    // As the original shows it: a blank before "(*.xml)" here, none in the save dialog's filter.
    const QString name = m_dialogs.getOpenFileName(
        {QStringLiteral("Excel File(*.xls)|*.xls|XML (*.xml)|*.xml|Txt File(*.txt)|*.txt"), QString(),
         m_lastOpenName, false});
    if (name.isEmpty())
        return;
    m_lastOpenName = name;
    LoadTableFile(name, m_table);
}

// Both formats load into a table of their own first: rows recorded while it
// reads stay in order. A packet that fails leaves the table as it was; a text
// file that fails keeps the rows of the lines before the failing one.
bool TableFileActions::LoadTableFile(const QString &FileName, MeasurementTable &Table)
{
    const std::unique_ptr<FileProgress> progress = m_dialogs.makeProgress(progressLabel("Loading", FileName));
    const int before = Table.rowCount();
    MeasurementTable loaded;
    const bool packet = isPacketName(FileName);
    const FileResult result =
        packet ? TableXmlPacket::load(FileName, loaded, progress.get())
               : TableTextFile::load(FileName, loaded, progress.get(), {MeasurementTable::MaxRows, before});
    const auto reportFailure = [&] {
        m_dialogs.showErrorDetail(kError, QStringLiteral("Failed to Load File!"), result.reason);
        return false;
    };
    if (!result && (packet || loaded.isEmpty()))
        return reportFailure();
    int current = 0;
    if (packet) {
        // Rows recorded while the packet was read follow its rows.
        const int during = Table.rowCount() - before;
        if (during > 0)
            loaded.appendRows(Table, before, during);
        Table.replaceWith(std::move(loaded));
    } else {
        // Rows recorded meanwhile took room too.
        Table.appendRows(loaded, 0, qMin(loaded.rowCount(), MeasurementTable::MaxRows - Table.rowCount()));
        current = Table.rowCount() - 1;
    }
    if (Table.rowCount() > 0 && onCurrentRow && &Table == &m_table)
        onCurrentRow(current);
    return result ? true : reportFailure();
}

void TableFileActions::BtSaveClick(QWidget &chart)
{
    const QString name = m_dialogs.getSaveFileName(
        {QStringLiteral("Bitmaps (*.bmp)|*.bmp"), QStringLiteral("bmp"), QString(), true});
    if (name.isEmpty())
        return;
    const FileResult result = saveChartPicture(chart, name);
    if (!result) {
        m_errors.report(QStringLiteral("Cannot save the graphic to %1: %2").arg(name, result.reason));
        return;
    }
    m_dialogs.showInformation(kInformation, QStringLiteral("Graphic has saved on %1").arg(name)); // sic
}

void TableFileActions::BtPrintClick()
{
    // The rows present now; recording may go on while the preview is open.
    const int rows = m_table.rowCount();
    const TableReport Report1(m_table, rows);
    m_dialogs.showPrintPreview(QStringLiteral("Print Preview"), Report1);
    if (rows > 0 && onCurrentRow)
        onCurrentRow(rows - 1); // the report walked the table to its last row
}
