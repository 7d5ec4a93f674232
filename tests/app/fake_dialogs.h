#pragma once

#include "app/dialog_service.h"

#include <QStringList>

// Answers questions from a script and remembers every box it was asked to show.
struct FakeDialogs : DialogService {
    bool answer = false;
    QStringList questions; // "title|text"
    QStringList errors;    // "title|text"

    bool askYesNo(const QString &title, const QString &text) override
    {
        questions << title + '|' + text;
        return answer;
    }
    void showError(const QString &title, const QString &text) override { errors << title + '|' + text; }
    QStringList infos; // "title|text"
    void showInformation(const QString &title, const QString &text) override { infos << title + '|' + text; }
};
