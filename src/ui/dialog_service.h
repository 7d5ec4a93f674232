#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class FileProgress;
class PagedDocument;
class QWidget;

// What a file dialog shows. filter: description and pattern pairs joined by
// "|" ("Bitmaps (*.bmp)|*.bmp"), the first pair selected.
struct FileDialogOptions {
    QString filter;
    QString defaultSuffix; // added to a name typed without one; empty: none
    QString selectedName;  // shown in the name field
    bool confirmOverwrite = false;
};

// The name filters of a file dialog for a "description|pattern|..." filter.
QStringList nameFilters(const QString &filter);

// Every modal box the program shows goes through here, so that tests can
// answer them without a real dialog.
class DialogService {
public:
    virtual ~DialogService() = default;
    // "&Yes" / "&No" question with the information icon; true for "&Yes".
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // A message with the error icon.
    virtual void showError(const QString &title, const QString &text) = 0;

    // The rest do nothing unless overridden, so that a service made for
    // other work (a tool, a test) needs only the two above.
    // File dialogs; an empty name when the user cancels.
    virtual QString getSaveFileName(const FileDialogOptions &options);
    virtual QString getOpenFileName(const FileDialogOptions &options);
    // A message with the information icon and an OK button.
    virtual void showInformation(const QString &title, const QString &text);
    // An error message with the reason in smaller print below it.
    virtual void showErrorDetail(const QString &title, const QString &text, const QString &detail);
    // A sign of life for a load or save, shown only when the work lasts; null: none.
    virtual std::unique_ptr<FileProgress> makeProgress(const QString &label);
    // A modal print preview of the document, which it prints on request.
    virtual void showPrintPreview(const QString &title, const PagedDocument &document);
};

class MessageBoxDialogs : public DialogService {
public:
    explicit MessageBoxDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    bool askYesNo(const QString &title, const QString &text) override;
    void showError(const QString &title, const QString &text) override;
    QString getSaveFileName(const FileDialogOptions &options) override;
    QString getOpenFileName(const FileDialogOptions &options) override;
    void showInformation(const QString &title, const QString &text) override;
    void showErrorDetail(const QString &title, const QString &text, const QString &detail) override;
    std::unique_ptr<FileProgress> makeProgress(const QString &label) override;
    void showPrintPreview(const QString &title, const PagedDocument &document) override;

private:
    QWidget *m_parent;
};
