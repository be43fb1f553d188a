#include "QtBinding.h"

#include "Application.h"
#include "Thread.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSocketNotifier>

namespace {

void ShowErrorBox(const std::string& Title, const std::string& Text) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(Title),
                    QString::fromStdString(Text), QMessageBox::Ok);
    box.exec();
}

} // namespace

TQtBinding::TQtBinding() {
    if (Application->Title().empty())
        Application->SetTitle(
            QFileInfo(QApplication::applicationFilePath()).completeBaseName().toStdString());
    Application->ShowErrorBox = ShowErrorBox;
    // The Qt loop watches the framework's wake-up descriptor, so other threads never touch
    // Qt to wake it. Serving passes a failing window method to the error box itself.
    wake_ = std::make_unique<QSocketNotifier>(MainThreadWakeDescriptor(), QSocketNotifier::Read);
    QObject::connect(wake_.get(), &QSocketNotifier::activated, [] { ServeSignalledMainThread(); });
}

TQtBinding::~TQtBinding() {
    wake_.reset();
    Application->ShowErrorBox = nullptr;
}
