// Edit1 takes typed digits only.
#include "ExchangeFixture.h"

#include <QTest>

TEST_F(ExchangeTest, NumberBoxTakesTypedDigitsOnly) {
    ShowWindow();
    QLineEdit* box = NumberBox();
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, "1x2");
    EXPECT_EQ(box->text(), "12");

    // Backspace types a character, so it is dropped like any other non-digit ...
    QTest::keyClick(box, Qt::Key_Backspace);
    EXPECT_EQ(box->text(), "12");
    // ... while Delete types none and edits as usual.
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(box->text(), "2");

    // Cyrillic and other letters are characters too.
    QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QStringLiteral("в"), Qt::NoModifier);
    EXPECT_EQ(box->text(), "2");
    EXPECT_TRUE(boxes.None());
}
