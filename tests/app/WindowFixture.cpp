#include "WindowFixture.h"

#include <QLineEdit>
#include <QTest>

void WindowTest::ShowWindow(const PortList& Ports) {
    winapi_linux::SetSerialDeviceListForTesting(Ports);
    form = std::make_unique<TForm1>();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
}

void WindowTest::TypeInto(QComboBox* Box, const QString& Text) {
    ASSERT_NE(Box->lineEdit(), nullptr);
    Box->lineEdit()->selectAll();
    QTest::keyClick(Box->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(Box->lineEdit(), Text);
    ASSERT_EQ(Box->currentText(), Text);
}

void WindowTest::Click(QAbstractButton* Button) {
    QTest::mouseClick(Button, Qt::LeftButton);
}

void WindowTest::ExpectConnectedState(const QString& Caption) const {
    EXPECT_FALSE(Button("BitBtn1")->isEnabled());
    EXPECT_TRUE(Button("BitBtn2")->isEnabled());
    EXPECT_TRUE(Button("BitBtn3")->isEnabled());
    EXPECT_EQ(form->windowTitle(), Caption);
    EXPECT_TRUE(form->BComPort1->IsOpen());
}

void WindowTest::ExpectDisconnectedState() const {
    EXPECT_TRUE(Button("BitBtn1")->isEnabled());
    EXPECT_FALSE(Button("BitBtn2")->isEnabled());
    EXPECT_FALSE(Button("BitBtn3")->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Test");
    EXPECT_FALSE(form->BComPort1->IsOpen());
}

void ExpectErrorBox(const std::optional<CaughtBox>& Box, const QString& Text) {
    ASSERT_TRUE(Box.has_value()) << "no error box; expected " << Text.toStdString();
    EXPECT_EQ(Box->icon, QMessageBox::Critical);
    EXPECT_EQ(Box->title, ErrorBoxTitle);
    EXPECT_EQ(Box->text, Text);
}
