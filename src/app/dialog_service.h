#pragma once

#include <QString>

class QWidget;

// Every modal box the program shows goes through here, so that tests can
// answer them without a real dialog.
class DialogService {
public:
    virtual ~DialogService() = default;
    // "&Yes" / "&No" question with the information icon; true for "&Yes".
    virtual bool askYesNo(const QString &title, const QString &text) = 0;
    // A message with the error icon.
    virtual void showError(const QString &title, const QString &text) = 0;
    // A message with the information icon and an "OK" button.
    virtual void showInformation(const QString &title, const QString &text) = 0;
};

class MessageBoxDialogs : public DialogService {
public:
    explicit MessageBoxDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }
    bool askYesNo(const QString &title, const QString &text) override;
    void showError(const QString &title, const QString &text) override;
    void showInformation(const QString &title, const QString &text) override;

private:
    QWidget *m_parent;
};
