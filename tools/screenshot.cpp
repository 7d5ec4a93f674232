// Renders the main window to a PNG, for the README picture and for looking
// at layout changes without a display:
//   halvern-screenshot out.png [frameHex ...]   after feeding those frames
//   halvern-screenshot out.png --demo SECONDS   after the simulated meter on
//                                               COM1 ran that long, connected
//   halvern-screenshot out.png --com SECONDS    after that long connected to
//                                               the real COM1
//   halvern-screenshot out.png --usb SECONDS    after the demo's simulated USB
//                                               cable ran that long, connected
//   halvern-screenshot out.png --load FILE      after the window's Open loaded
//                                               a table file (e.g. one that
//                                               halvern-record wrote)
// --demo and --usb take the demo's options after SECONDS (--replay, --capture),
// and --save FILE: the window's Save as writes its table there before the shot.
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/platform_info.h"
#include "app/program_links.h"
#include "meter/locale_service.h"
#include "ui/dialog_service.h"

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTextStream>
#include <QTimer>

namespace {

struct SilentDialogs : DialogService {
    bool askYesNo(const QString &, const QString &) override { return false; }
    void showError(const QString &title, const QString &text) override
    {
        QTextStream(stderr) << title << ": " << text << "\n";
    }
    void showInformation(const QString &title, const QString &text) override { showError(title, text); }
    void showErrorDetail(const QString &title, const QString &text, const QString &detail) override
    {
        showError(title, text + ' ' + detail);
    }
    QString getSaveFileName(const FileDialogOptions &) override { return saveName; }
    QString getOpenFileName(const FileDialogOptions &) override { return openName; }

    QString saveName; // what the file dialogs answer; empty: cancelled
    QString openName;
};

} // namespace

int main(int argc, char *argv[])
{
    const CommandLineDescription description{
        QStringLiteral("halvern-screenshot"),
        QStringLiteral("OUT.png [FRAME_HEX ...]"),
        QStringLiteral(
            "Renders the main window to OUT.png without a display, after feeding it the frames "
            "given as hex, or after a connection ran for a while. --demo and --usb take the demo's "
            "options after SECONDS."),
        {{QStringLiteral("--demo"), QStringLiteral("SECONDS"),
          QStringLiteral("connects the simulated meter on COM 1 and takes the picture after SECONDS")},
         {QStringLiteral("--com"), QStringLiteral("SECONDS"),
          QStringLiteral("connects the real COM 1 and takes the picture after SECONDS")},
         {QStringLiteral("--usb"), QStringLiteral("SECONDS"),
          QStringLiteral("connects the demo's simulated USB cable and takes the picture after SECONDS")},
         {QStringLiteral("--replay"), QStringLiteral("FILE"), QStringLiteral("the demo's --replay")},
         {QStringLiteral("--capture"), QStringLiteral("FILE"), QStringLiteral("the demo's --capture")},
         {QStringLiteral("--save"), QStringLiteral("FILE"),
          QStringLiteral("with --demo or --usb: the window's Save as writes its table to FILE first")},
         {QStringLiteral("--load"), QStringLiteral("FILE"),
          QStringLiteral("the window's Open loads the table file FILE before the picture")}},
        QStringLiteral(
            "OUT.png [FRAME_HEX ... | --demo SECONDS | --com SECONDS | --usb SECONDS | --load FILE] "
            "[--replay FILE] [--capture FILE] [--save FILE]")};
    if (const std::optional<int> answered = answerHelpOrVersion(argc, argv, description))
        return *answered;
    if (argc < 2) {
        QTextStream(stderr) << usageLine(description) << "\n";
        return 2;
    }
    QApplication app(argc, argv);
    installFontSubstitutes();
    SilentDialogs dialogs;
    SystemLocaleService locale;
    const QByteArray mode = argc >= 4 ? QByteArray(argv[2]) : QByteArray();
    const bool simulated = mode == "--demo" || mode == "--usb";
    ProgramLinks demo(true);
    QStringList options{QStringLiteral("screenshot")};
    for (int i = 4; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--save" && i + 1 < argc)
            dialogs.saveName = QString::fromLocal8Bit(argv[++i]);
        else
            options << QString::fromLocal8Bit(argv[i]);
    }
    QString error;
    if (simulated && !demo.setUp(options, error)) {
        QTextStream(stderr) << error << "\n";
        return 2;
    }
    TFCOMM window({dialogs, locale, isNative64BitSystem(), {}, {}, {}, demo.hidPlatform()});
    window.show();
    const QString out = QString::fromLocal8Bit(argv[1]);

    if (mode == "--demo" || mode == "--com" || mode == "--usb") {
        if (simulated)
            demo.attach(window);
        window.control<QPushButton>(mode == "--usb" ? "USBCon" : "COMCon")->click();
        QTimer::singleShot(int(QByteArray(argv[3]).toDouble() * 1000), &app, [&] {
            if (!dialogs.saveName.isEmpty())
                window.saveasClick();
            app.exit(window.grab().save(out) ? 0 : 1);
        });
        return app.exec();
    }
    if (mode == "--load") {
        dialogs.openName = QString::fromLocal8Bit(argv[3]);
        window.SpeedButton2Click();
        app.processEvents();
        QTextStream(stdout) << window.session().table().rowCount() << " rows loaded\n";
        return window.grab().save(out) ? 0 : 1;
    }
    for (int i = 2; i < argc; ++i)
        window.frameReceived(QString::fromLatin1(argv[i]));
    app.processEvents();
    return window.grab().save(out) ? 0 : 1;
}
