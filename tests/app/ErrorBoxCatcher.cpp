#include "ErrorBoxCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

ErrorBoxCatcher::ErrorBoxCatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(5);
}

void ErrorBoxCatcher::Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box == lastBox_) return; // a closed box may linger a moment
    lastBox_ = box;
    caught_.push_back({box->icon(), box->windowTitle(), box->text()});
    if (QAbstractButton* ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject(); // a box without OK fails the test's checks, not the run
}

std::optional<CaughtBox> ErrorBoxCatcher::Take(std::chrono::milliseconds Deadline) {
    QElapsedTimer waited;
    waited.start();
    while (caught_.empty() && waited.elapsed() < Deadline.count())
        QTest::qWait(10);
    if (caught_.empty()) return std::nullopt;
    CaughtBox box = caught_.front();
    caught_.pop_front();
    return box;
}
