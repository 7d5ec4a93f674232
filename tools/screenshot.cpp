// Renders the main window to a PNG, for the README picture and for looking
// at layout changes without a display:
//   halvern-screenshot out.png [frameHex ...]   after feeding those frames
//   halvern-screenshot out.png --demo SECONDS   after the simulated meter on
//                                               COM1 ran that long, connected
//   halvern-screenshot out.png --com SECONDS    after that long connected to
//                                               the real COM1
#include "app/dialog_service.h"
#include "app/main_window.h"
#include "app/platform_info.h"
#include "link/serial/simulated_serial_port.h"
#include "meter/locale_service.h"

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
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr)
            << "usage: halvern-screenshot out.png [frameHex ... | --demo SECONDS | --com SECONDS]\n";
        return 2;
    }
    installFontSubstitutes();
    SilentDialogs dialogs;
    SystemLocaleService locale;
    TFCOMM window({dialogs, locale, isNative64BitSystem(), {}});
    window.show();
    const QString out = QString::fromLocal8Bit(argv[1]);

    const QByteArray mode = argc == 4 ? QByteArray(argv[2]) : QByteArray();
    if (mode == "--demo" || mode == "--com") {
        if (mode == "--demo")
            bindMeterSimulator(*window.COMM2);
        window.COMCon->click();
        QTimer::singleShot(int(QByteArray(argv[3]).toDouble() * 1000), &app,
                           [&] { app.exit(window.grab().save(out) ? 0 : 1); });
        return app.exec();
    }
    for (int i = 2; i < argc; ++i)
        window.frameReceived(QString::fromLatin1(argv[i]));
    app.processEvents();
    return window.grab().save(out) ? 0 : 1;
}
