#pragma once

#include <QString>

#include <exception>

class DialogService;

// The one place an error that no handler deals with ends up: a modal box
// with the error's message, after which the program goes on with the next
// event. Handlers run their work through guard() so that nothing unwinds
// into the event loop.
class ErrorReport {
public:
    explicit ErrorReport(DialogService &dialogs) : m_dialogs(dialogs) {}

    void report(const QString &message);

    template <typename Work> void guard(Work &&work) noexcept
    {
        try {
            work();
        } catch (const std::exception &e) {
            report(QString::fromUtf8(e.what()));
        } catch (...) {
            report(QStringLiteral("Unknown error"));
        }
    }

private:
    DialogService &m_dialogs;
};
