#include "ExchangeFixture.h"

#include <QTest>

void ExchangeTest::Connect(const std::vector<std::string>& Args) {
    devsim = std::make_unique<DevsimProcess>(Args);
    const auto first = devsim->NextLine();
    ASSERT_TRUE(first.has_value()) << devsim->Transcript();
    port = *first;
    ShowWindow();
    TypeInto(PortBox(), QString::fromStdString(port));
    Click(Button("BitBtn1"));
    ASSERT_TRUE(boxes.None());
    ExpectConnectedState(QString::fromStdString(port));
}

void ExchangeTest::TypeText(QLineEdit* Box, const QString& Text) {
    Box->selectAll();
    QTest::keyClick(Box, Qt::Key_Delete);
    for (const QChar ch : Text)
        QTest::sendKeyEvent(QTest::Click, Box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

std::string ExchangeTest::NextLogLine() {
    const auto line = devsim->NextLine();
    return line.value_or("");
}

bool ExchangeTest::WaitForLog(qsizetype Length) const {
    return QTest::qWaitFor([&] { return form->Memo1Text().size() >= Length; }, 5000);
}
