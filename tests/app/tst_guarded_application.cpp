#include "fake_dialogs.h"

#include "app/error_report.h"
#include "app/guarded_application.h"

#include <QTimer>
#include <QTest>

#include <stdexcept>

// Regression: an exception escaping an event handler must reach the error
// report, and the program must go on with the next event.
class TestGuardedApplication : public QObject {
    Q_OBJECT

private slots:
    void escapingErrorIsReportedAndNextEventRuns()
    {
        FakeDialogs dialogs;
        ErrorReport report(dialogs);
        static_cast<GuardedApplication *>(qApp)->setErrorReport(&report);

        bool nextRan = false;
        QTimer::singleShot(0, this, [] { throw std::runtime_error("'x' is not a valid integer value"); });
        QTimer::singleShot(0, this, [&] { nextRan = true; });
        QCoreApplication::processEvents();
        QVERIFY(nextRan);
        QCOMPARE(dialogs.errors, QStringList{"Error|'x' is not a valid integer value"});
        static_cast<GuardedApplication *>(qApp)->setErrorReport(nullptr);
    }

    // Regression: the application kept the window's report after the window
    // and its report were gone.
    void bindingEndsWithTheReport()
    {
        auto *app = static_cast<GuardedApplication *>(qApp);
        FakeDialogs dialogs;
        {
            ErrorReport report(dialogs);
            const ErrorReportBinding binding(*app, report);
            QCOMPARE(app->errorReport(), &report);
        }
        QCOMPARE(app->errorReport(), nullptr);
        QTimer::singleShot(0, this, [] { throw std::runtime_error("after the window"); });
        QCoreApplication::processEvents(); // swallowed, nothing reported
        QVERIFY(dialogs.errors.isEmpty());
    }
};

int main(int argc, char *argv[])
{
    GuardedApplication app(argc, argv);
    TestGuardedApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_guarded_application.moc"
