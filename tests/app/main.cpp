// The window tests need one QApplication for the whole run, made before any test, and
// the framework's hooks bound to it as the program binds them.
#include "QtBinding.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

// The offscreen platform warns on every window it shows that it cannot pass size hints
// on; that says nothing about the window and buries the test output.
QtMessageHandler defaultHandler = nullptr;
void QuietHandler(QtMsgType Type, const QMessageLogContext& Context, const QString& Text) {
    if (Text.contains("does not support propagateSizeHints")) return;
    if (defaultHandler != nullptr) defaultHandler(Type, Context, Text);
}

} // namespace

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);

    // Offscreen also when run by hand or listed by CTest, and a private runtime
    // directory (Qt refuses a shared one) when the caller gave none.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::optional<QTemporaryDir> runtime; // made with mode 0700
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtime.emplace();
        qputenv("XDG_RUNTIME_DIR", runtime->path().toLocal8Bit());
    }

    defaultHandler = qInstallMessageHandler(QuietHandler);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // tests close windows; the run goes on
    const TQtBinding binding;
    return RUN_ALL_TESTS();
}
