// Readings recorded before a crash come back through the session journal.
#include "app/main_window.h"
#include "fake_dialogs.h"
#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "record/faulty_disk.h"
#include "record/session_journal.h"
#include "record/window_timer.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestCrashRecovery : public QObject {
    Q_OBJECT

private slots:
    void killedProgramsFlushedRowsAreOffered_data();
    void killedProgramsFlushedRowsAreOffered();
    void recordingNewAndNormalEnd();
    void journalTroublesAreToldOnce();
    void noJournalIsToldAfterTheWindowShows();
    void rowsThatCannotGoAsideStay();
};

namespace {

// The window with its journal in `folder`, scripted dialogs and manual timers.
struct JournalWindow {
    FakeDialogs dialogs;
    FixedLocaleService locale;
    QHash<QString, ManualWindowTimer *> timers;
    std::unique_ptr<TFCOMM> w;

    explicit JournalWindow(const QString &folder, JournalDisk *disk = nullptr)
    {
        WindowServices services{dialogs, locale, true, [] {}};
        services.makeTimer = [this](const QString &name, int intervalMs, bool enabled) {
            auto timer = std::make_unique<ManualWindowTimer>(intervalMs, enabled);
            timers.insert(name, timer.get());
            return timer;
        };
        services.journalFolder = folder;
        services.journalDisk = disk;
        w = std::make_unique<TFCOMM>(services);
    }
};

QString voltFrame(const char *digits)
{
    return frameHex('+', digits, '1', Bits::Auto8 | Bits::Dc8, 0, 0, Bits::Volt11);
}

QStringList journalFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("session-journal-*")}, QDir::Files);
}

} // namespace

void TestCrashRecovery::killedProgramsFlushedRowsAreOffered_data()
{
    QTest::addColumn<bool>("load");
    QTest::newRow("Yes loads them") << true;
    QTest::newRow("No puts them aside") << false;
}

void TestCrashRecovery::killedProgramsFlushedRowsAreOffered()
{
    QFETCH(bool, load);
    QTemporaryDir folder;
    const int flushed = 25, pending = 7;

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(
        QStringLiteral(HALVERN_PROGRAM_CHILD),
        {QStringLiteral("--journal"), folder.path(), QString::number(flushed), QString::number(pending)});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine() || program.state() == QProcess::NotRunning, 60000);
    QCOMPARE(program.readLine().trimmed(), QByteArray("ready"));
    QCOMPARE(::kill(pid_t(program.processId()), SIGKILL), 0); // mid-recording: 7 rows not flushed yet
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::CrashExit);

    JournalWindow next(folder.path());
    next.dialogs.answer = load;
    next.w->offerJournalRecovery();
    QCOMPARE(
        next.dialogs.questions,
        QStringList{QStringLiteral("Information|Recovered 25 readings from an earlier session that were not "
                                   "saved. Load them?")});
    if (load) {
        QCOMPARE(next.w->session().table().rowCount(), flushed);
        for (int r = 0; r < flushed; ++r) {
            QCOMPARE(next.w->session().table().row(r).No, std::optional<qint32>(r + 1));
            QCOMPARE(next.w->session().table().row(r).Value,
                     QStringLiteral("%1.%2")
                         .arg((1000 + r) / 1000)
                         .arg((1000 + r) % 1000, 3, 10, QLatin1Char('0')));
            QCOMPARE(next.w->session().table().row(r).Unit, QStringLiteral("V"));
        }
        QCOMPARE(journalFiles(folder.path()).size(), 2); // the journal and its lock
    } else {
        QCOMPARE(next.w->session().table().rowCount(), 0);
        const QStringList files = journalFiles(folder.path());
        QCOMPARE(files.size(), 3); // the empty journal, its lock, and the rows put aside
        QVERIFY(files.filter(QDate::currentDate().toString(Qt::ISODate)).size() == 1);
    }
    next.w->offerJournalRecovery(); // asked once
    QCOMPARE(next.dialogs.questions.size(), 1);
}

void TestCrashRecovery::recordingNewAndNormalEnd()
{
    QTemporaryDir folder, saveFolder;
    {
        JournalWindow window(folder.path());
        window.w->offerJournalRecovery();
        QVERIFY(window.dialogs.questions.isEmpty()); // nothing to recover at a first start
        const SessionJournal *journal = window.w->sessionJournal();
        QVERIFY(journal && journal->isOpen());

        window.w->frameReceived(voltFrame("1234"));
        window.w->frameReceived(voltFrame("1235"));
        window.timers.value(QStringLiteral("JournalTimer"))->fire();
        QFile file(journal->fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("\r\n"), 3);

        // A save of the whole table leaves nothing unsaved, in either format.
        for (const QString &name : {QStringLiteral("saved.xls"), QStringLiteral("saved.xml")}) {
            window.w->frameReceived(voltFrame("1236"));
            window.timers.value(QStringLiteral("JournalTimer"))->fire();
            file.seek(0);
            QCOMPARE(file.readAll().count("\r\n"), 4);
            window.dialogs.saveNames << QDir(saveFolder.path()).filePath(name);
            window.w->saveasClick();
            QVERIFY(QFile::exists(QDir(saveFolder.path()).filePath(name)));
            file.seek(0);
            QCOMPARE(file.readAll().count("\r\n"), 1);
            window.w->frameReceived(voltFrame("1237"));
            window.w->frameReceived(voltFrame("1238"));
            window.timers.value(QStringLiteral("JournalTimer"))->fire();
            window.dialogs.answer = true;
            window.w->RecordNewClick(); // New empties it
            file.seek(0);
            QCOMPARE(file.readAll().count("\r\n"), 1);
            window.w->frameReceived(voltFrame("1234"));
            window.w->frameReceived(voltFrame("1235"));
            window.timers.value(QStringLiteral("JournalTimer"))->fire();
        }
    }
    QVERIFY(journalFiles(folder.path()).isEmpty()); // a normal end leaves nothing to offer
}

// A full disk stopped crash protection without a word.
void TestCrashRecovery::journalTroublesAreToldOnce()
{
    QTemporaryDir folder;
    FaultyDisk disk;
    JournalWindow window(folder.path(), &disk);
    ManualWindowTimer *flushTimer = window.timers.value(QStringLiteral("JournalTimer"));
    disk.capacity = 0;
    for (const char *digits : {"1234", "1235", "1236"}) {
        window.w->frameReceived(voltFrame(digits));
        flushTimer->fire();
    }
    QVERIFY(window.dialogs.errors.isEmpty()); // not from inside the flush
    QCoreApplication::processEvents();
    QCOMPARE(window.dialogs.errors.size(), 1);
    QVERIFY(window.dialogs.errors.first().startsWith(
        QStringLiteral("Error|Crash protection is interrupted: the session journal ")));

    disk.capacity = std::numeric_limits<qint64>::max();
    window.w->frameReceived(voltFrame("1237"));
    flushTimer->fire();
    QTRY_COMPARE(window.dialogs.infos.size(), 1);
    QVERIFY(
        window.dialogs.infos.first().startsWith(QStringLiteral("Information|Crash protection works again")));
    QCOMPARE(window.dialogs.errors.size(), 1);
    QFile file(window.w->sessionJournal()->fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("\r\n"), 5); // the header and every row
}

// Nothing said that crash protection was off; now it is said once the event loop runs.
void TestCrashRecovery::noJournalIsToldAfterTheWindowShows()
{
    QTemporaryDir folder;
    QFile file(QDir(folder.path()).filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    JournalWindow window(file.fileName() + QStringLiteral("/below"));
    QVERIFY(window.dialogs.errors.isEmpty());
    window.w->offerJournalRecovery();
    QCoreApplication::processEvents();
    QCOMPARE(window.dialogs.errors,
             QStringList{QStringLiteral("Error|Crash protection is off: no session journal can be kept in %1 "
                                        "(Not a directory). A crash loses the readings not saved.")
                             .arg(file.fileName() + QStringLiteral("/below"))});
    QVERIFY(window.dialogs.questions.isEmpty());
}

// No to the recovery question when the rows cannot move: said once, rows kept.
void TestCrashRecovery::rowsThatCannotGoAsideStay()
{
    QTemporaryDir folder;
    const QString left = QDir(folder.path()).filePath(QStringLiteral("session-journal-1.txt"));
    QFile file(left);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray rows = TableTextFile::headerLine() + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n";
    file.write(rows);
    file.close();
    FaultyDisk disk;
    disk.renameError = EIO;
    {
        JournalWindow window(folder.path(), &disk);
        window.w->offerJournalRecovery();
        QCOMPARE(window.dialogs.questions.size(), 1);
        QCOMPARE(
            window.dialogs.errors,
            QStringList{QStringLiteral("Error|The readings of the earlier session could not be put aside "
                                       "(Input/output error). They stay in %1 and are offered again at "
                                       "the next start.")
                            .arg(left)});
        window.w->offerJournalRecovery();
        QCOMPARE(window.dialogs.errors.size(), 1);
        QCOMPARE(window.dialogs.questions.size(), 1);
        QVERIFY(window.w->sessionJournal()->isOpen());
        QVERIFY(window.w->sessionJournal()->fileName() != left);
    }
    JournalWindow next(folder.path());
    next.w->offerJournalRecovery();
    QCOMPARE(next.dialogs.questions.size(), 1);
    QVERIFY(next.dialogs.questions.first().contains(QStringLiteral("Recovered 1 readings")));
}

QTEST_MAIN(TestCrashRecovery)
#include "tst_crash_recovery.moc"
