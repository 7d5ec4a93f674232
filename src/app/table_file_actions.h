#pragma once

#include <QString>

#include <functional>

class DialogService;
class ErrorReport;
class MeasurementTable;
class QWidget;

// What the buttons of the recording and chart strips do with files: save and
// load the table, save the chart picture, preview and print the report. The
// formats live in src/record; this only asks the user and reports.
class TableFileActions {
public:
    TableFileActions(MeasurementTable &cds1, DialogService &dialogs, ErrorReport &errors);

    void saveasClick();
    void SpeedButton2Click();
    void BtSaveClick(QWidget &chart);
    void BtPrintClick();

    // Write and read one file; both report success or failure to the user.
    bool SaveTableAsText(const MeasurementTable &Table, const QString &FileName);
    bool LoadTableFile(const QString &FileName, MeasurementTable &Table);

    // The row the grid should make current after a load or save.
    std::function<void(int row)> onCurrentRow;
    // The table's first `rows` rows were saved to a file (either format).
    std::function<void(int rows)> onTableSaved;

private:
    bool saveTablePacket(const QString &fileName);
    void reportSaved(const QString &fileName);

    MeasurementTable &m_table;
    DialogService &m_dialogs;
    ErrorReport &m_errors;
    QString m_lastOpenName; // the open dialog keeps the last chosen name
};
