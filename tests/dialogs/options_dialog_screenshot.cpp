// Shows the Voltmeter Options dialog of a connected channel at the size it
// opens with, centred on the screen, for scripts/options-dialog-screenshots.sh
// to photograph. Prints the dialog's frame and client geometry and quits
// after the given number of milliseconds (default 4000).
#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "dialog_test_support.h"
#include "ui/options_dialog.h"

using namespace kestrane::ui;
using namespace kestrane::ui::test;

int main(int argc, char** argv) {
    PrepareProcessEnvironment();
    QApplication app(argc, argv);
    const int lifeMs = argc > 1 ? std::atoi(argv[1]) : 4000;
    WriteSimulation(Simulation({"12", "-3.5", "7", "0.05625", "1", "48"}));
    DialogSession s;
    if (!s.Start(StandardRow())) {
        std::fprintf(stderr, "could not start the session\n");
        return 1;
    }
    s.Connect();
    s.w().hide();
    OptionsDialog dialog(s.Context(), 1, &s.w());
    dialog.show();
    const QRect screen = dialog.screen()->availableGeometry();
    QTimer::singleShot(300, [&] {
        // Centred as a window manager centres a new dialog: frame included.
        const QSize frame = dialog.frameGeometry().size();
        dialog.move(screen.center() - QPoint(frame.width() / 2, frame.height() / 2));
    });
    QTimer::singleShot(lifeMs / 2, [&] {
        const QRect f = dialog.frameGeometry();
        const QRect g = dialog.geometry();
        std::printf("screen %dx%d, dialog frame %d,%d %dx%d, client %dx%d, minimum %dx%d\n", screen.width(),
                    screen.height(), f.x(), f.y(), f.width(), f.height(), g.width(), g.height(),
                    dialog.minimumSizeHint().width(), dialog.minimumSizeHint().height());
        std::fflush(stdout);
    });
    QTimer::singleShot(lifeMs, &app, &QApplication::quit);
    return app.exec();
}
