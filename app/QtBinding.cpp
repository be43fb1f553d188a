#include "QtBinding.h"

#include "Application.h"
#include "Thread.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace {

void ShowErrorBox(const std::string& Title, const std::string& Text) {
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(Title),
                    QString::fromStdString(Text), QMessageBox::Ok);
    box.exec();
}

// Called from any thread: the queued call runs ServeMainThread on the Qt loop's thread.
// ServeMainThread passes a failing window method to the error box itself.
void WakeMainThread() {
    QMetaObject::invokeMethod(qApp, &ServeMainThread, Qt::QueuedConnection);
}

} // namespace

TQtBinding::TQtBinding() {
    if (Application->Title().empty())
        Application->SetTitle(
            QFileInfo(QApplication::applicationFilePath()).completeBaseName().toStdString());
    Application->ShowErrorBox = ShowErrorBox;
    SetWakeMainThread(WakeMainThread);
}

TQtBinding::~TQtBinding() {
    SetWakeMainThread(nullptr);
    Application->ShowErrorBox = nullptr;
}
