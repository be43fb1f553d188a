// A demonstration of one exchange for the headless run: shows the window, types the port
// path given as the first argument into the port box, connects, sends the initial texts,
// waits for the reply to reach the log and saves the window as a PNG at the second
// argument. Exits 0 once the picture is saved; 1 with a message when anything fails,
// within a bounded time, also when an error box is left open.
#include "F_Duble.h"
#include "QtBinding.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int ReplyDeadlineMs = 10000;

[[noreturn]] void Fail(const QString& Why) {
    std::fprintf(stderr, "serialtest_demo: %s\n", Why.toLocal8Bit().constData());
    // A modal error box may be running its own loop under us: leave at once.
    std::_Exit(1);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: serialtest_demo PORT-PATH OUTPUT.png\n");
        return 2;
    }
    const QString port = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);

    const TQtBinding binding;
    TForm1 Form1;
    Form1.show();

    // Ends the demo when no reply comes, saying what the window shows instead.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            Fail("error box: " + box->text());
        Fail("no reply within the deadline");
    });
    deadline.start(ReplyDeadlineMs);

    QTimer::singleShot(0, &Form1, [&] {
        Form1.findChild<QComboBox*>("ComboBox1")->setEditText(port);
        Form1.findChild<QAbstractButton*>("BitBtn1")->click();
        if (!Form1.BComPort1->IsOpen()) return; // the error box was shown; the deadline ends it
        Form1.findChild<QAbstractButton*>("BitBtn3")->click();
    });

    // The reply arrives through the event loop; once it is in the log, let the window
    // repaint and save it.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (Form1.Memo1Text().isEmpty()) return;
        watch.stop();
        QTimer::singleShot(200, &Form1, [&] {
            if (!Form1.grab().save(output, "PNG")) Fail("cannot write " + output);
            QApplication::quit();
        });
    });
    watch.start(20);

    return application.exec();
}
