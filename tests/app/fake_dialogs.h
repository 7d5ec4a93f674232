#pragma once

#include "record/file_progress.h"
#include "ui/dialog_service.h"
#include "ui/paged_document.h"

#include <QPrinter>
#include <QStringList>

#include <functional>

// Records what a load or save told the progress sign, and can do work in
// between (a frame arriving while the dialog lets events through).
struct FakeProgress : FileProgress {
    QStringList *log;
    std::function<void()> *during;
    FakeProgress(QStringList *log, std::function<void()> *during) : log(log), during(during) {}
    void begin(qint64 total) override { *log << QStringLiteral("begin %1").arg(total); }
    void advance(qint64) override
    {
        if (*during)
            (*during)();
    }
    void end() override { *log << QStringLiteral("end"); }
};

// Answers questions from a script and remembers every box it was asked to show.
struct FakeDialogs : DialogService {
    bool answer = false;
    QStringList questions; // "title|text"
    QStringList errors;    // "title|text", and "title|text|detail" for errors with a reason
    QStringList infos;     // "title|text"
    QStringList saveNames; // answers of the save dialogs, first first; none left: cancelled
    QStringList openNames;
    QList<FileDialogOptions> fileDialogs; // as shown, "save" or "open" in front of the filter
    QStringList progress;
    std::function<void()> duringProgress; // run at every progress step
    QStringList previews;                 // titles
    QString previewPdf;                   // where the preview's pages go; empty: not painted
    std::function<void()> duringPreview;  // run while the preview is open, before it paints

    bool askYesNo(const QString &title, const QString &text) override
    {
        questions << title + '|' + text;
        return answer;
    }
    void showError(const QString &title, const QString &text) override { errors << title + '|' + text; }
    QString getSaveFileName(const FileDialogOptions &options) override
    {
        fileDialogs << FileDialogOptions{"save " + options.filter, options.defaultSuffix,
                                         options.selectedName, options.confirmOverwrite};
        return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
    }
    QString getOpenFileName(const FileDialogOptions &options) override
    {
        fileDialogs << FileDialogOptions{"open " + options.filter, options.defaultSuffix,
                                         options.selectedName, options.confirmOverwrite};
        return openNames.isEmpty() ? QString() : openNames.takeFirst();
    }
    void showInformation(const QString &title, const QString &text) override { infos << title + '|' + text; }
    void showErrorDetail(const QString &title, const QString &text, const QString &detail) override
    {
        errors << title + '|' + text + '|' + detail;
    }
    std::unique_ptr<FileProgress> makeProgress(const QString &label) override
    {
        progress << label;
        return std::make_unique<FakeProgress>(&progress, &duringProgress);
    }
    void showPrintPreview(const QString &title, const PagedDocument &document) override
    {
        previews << title;
        if (duringPreview)
            duringPreview();
        if (previewPdf.isEmpty())
            return;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(previewPdf);
        document.print(printer);
    }
};
