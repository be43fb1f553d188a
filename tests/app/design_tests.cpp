// The window as designed: its controls, texts, states, places, menus and its component.
#include "WindowFixture.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {

struct DesignedControl {
    const char* name;
    const char* kind; // Qt class
    const char* parent;
    QRect place;      // inside the parent's client area
    const char* text; // caption or content; nullptr where the control has none
    bool enabled;
};

const DesignedControl DesignedControls[] = {
    {"Label1", "QLabel", "Panel1", {7, 15, 25, 13}, "Порт", true},
    {"Label2", "QLabel", "Panel1", {3, 39, 48, 13}, "Скорость", true},
    {"ComboBox1", "QComboBox", "Panel1", {68, 11, 67, 21}, nullptr, true},
    {"ComboBox2", "QComboBox", "Panel1", {67, 40, 67, 21}, nullptr, true},
    {"BitBtn1", "QPushButton", "Panel1", {151, 4, 104, 29}, "Подключить", true},
    {"BitBtn2", "QPushButton", "Panel1", {151, 37, 104, 27}, "Отключить", false},
    {"Label3", "QLabel", "TabSheet1", {5, 12, 63, 13}, "Байт-индекс", true},
    {"Label4", "QLabel", "TabSheet1", {6, 36, 32, 13}, "Число", true},
    {"Edit2", "QLineEdit", "TabSheet1", {72, 8, 90, 21}, "A", true},
    {"Edit1", "QLineEdit", "TabSheet1", {72, 32, 91, 21}, "0", true},
    {"BitBtn3", "QPushButton", "TabSheet1", {168, 16, 75, 25}, "Отправить", false},
    {"Memo1", "QPlainTextEdit", "TabSheet1", {8, 105, 249, 89}, "", true},
};

QString TextOf(QWidget* w) {
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) return memo->toPlainText();
    return {};
}

} // namespace

TEST_F(WindowTest, ControlsHaveTheirDesignedKindPlaceTextAndState) {
    ShowWindow();
    for (const DesignedControl& c : DesignedControls) {
        SCOPED_TRACE(c.name);
        auto* w = Control<QWidget>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), c.kind);
        EXPECT_EQ(w->parentWidget()->objectName(), c.parent);
        EXPECT_EQ(w->geometry(), c.place);
        if (c.text != nullptr) {
            EXPECT_EQ(TextOf(w), QString::fromUtf8(c.text));
        }
        EXPECT_EQ(w->isEnabled(), c.enabled);
    }
    EXPECT_EQ(form->windowTitle(), "Test");
}

// The panel spans the top and the pages fill the rest of the client area below the menu.
TEST_F(WindowTest, PanelAndPagesShareTheClientAreaAsDesigned) {
    ShowWindow();
    auto* panel = Control<QWidget>("Panel1");
    auto* pages = Control<QTabWidget>("PageControl1");
    EXPECT_EQ(panel->geometry(), QRect(0, 0, 271, 73));
    EXPECT_EQ(pages->geometry(), QRect(0, 73, 271, 228));
    EXPECT_EQ(form->centralWidget()->size(), QSize(271, 301));

    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->currentWidget()->objectName(), "TabSheet1");
    EXPECT_EQ(pages->tabText(0), "TabSheet1");
    EXPECT_EQ(pages->widget(1)->objectName(), "TabSheet2");
    EXPECT_EQ(pages->tabText(1), "TabSheet2");
    EXPECT_TRUE(pages->widget(1)->children().isEmpty());
}

TEST_F(WindowTest, RateBoxOffersTheFifteenRatesWith9600Preselected) {
    ShowWindow();
    QStringList items;
    for (int i = 0; i < RateBox()->count(); ++i)
        items << RateBox()->itemText(i);
    EXPECT_EQ(items,
              QStringList({"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                           "38400", "56000", "57600", "115200", "128000", "256000"}));
    EXPECT_EQ(RateBox()->currentIndex(), 6);
    EXPECT_EQ(RateBox()->currentText(), "9600");
    EXPECT_TRUE(PortBox()->isEditable());
    EXPECT_TRUE(RateBox()->isEditable());
    EXPECT_TRUE(boxes.None());
}

TEST_F(WindowTest, MenuHoldsFileWithItsTwoItemsAndAbout) {
    ShowWindow();
    QList<QAction*> bar = form->menuBar()->actions();
    ASSERT_EQ(bar.size(), 2);
    EXPECT_EQ(bar[0]->text(), "Файл");
    EXPECT_EQ(bar[0]->menu(), Control<QMenu>("N1"));
    EXPECT_EQ(bar[1], Control<QAction>("N3"));
    EXPECT_EQ(bar[1]->text(), "О программе");

    QList<QAction*> file = bar[0]->menu()->actions();
    ASSERT_EQ(file.size(), 2);
    EXPECT_EQ(file[0], Control<QAction>("COM1"));
    EXPECT_EQ(file[0]->text(), "COM Порт");
    EXPECT_EQ(file[1], Control<QAction>("N2"));
    EXPECT_EQ(file[1]->text(), "Выход");
}

// Tab moves through each parent's controls in their designed order: the pages before the
// panel, and inside a page or the panel by tab order.
TEST_F(WindowTest, TabOrderFollowsTheDesign) {
    ShowWindow();
    const QStringList designed = {"PageControl1", "BitBtn3",   "Edit1",   "Memo1",  "Edit2",
                                  "ComboBox1",    "ComboBox2", "BitBtn1", "BitBtn2"};
    QStringList chain;
    QWidget* w = Control<QWidget>("PageControl1");
    for (int steps = 0; steps < 200 && chain.size() < designed.size(); ++steps) {
        if (designed.contains(w->objectName()) && !chain.contains(w->objectName()))
            chain << w->objectName();
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(chain, designed);
    EXPECT_TRUE(Control<QPlainTextEdit>("Memo1")->tabChangesFocus());
}

// Without a font that has Cyrillic, every caption draws as boxes while all else passes;
// a caption wider than its designed place is cut off.
TEST_F(WindowTest, CaptionsAreDrawableAndFitTheirPlaces) {
    ShowWindow();
    EXPECT_TRUE(QFontMetrics(form->font()).inFont(QChar(u'Д')));
    for (const char* name : {"Label1", "Label2", "Label3", "Label4"}) {
        auto* label = Control<QLabel>(name);
        EXPECT_LE(label->sizeHint().width(), label->width()) << name;
        EXPECT_LE(label->sizeHint().height(), label->height()) << name;
    }
    // A button's size hint has a floor of 80 px whatever its caption; measure instead the
    // caption, the glyph and room for the frame and the gap between them.
    constexpr int FrameAndGap = 16;
    for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn3"}) {
        auto* button = Button(name);
        const int glyph = button->icon().isNull() ? 0 : button->iconSize().width();
        const int caption = QFontMetrics(button->font()).horizontalAdvance(button->text());
        EXPECT_LE(caption + glyph + FrameAndGap, button->width()) << name;
        EXPECT_LE(QFontMetrics(button->font()).height(), button->height()) << name;
    }
}

TEST_F(WindowTest, GlyphsAndIconAreLoaded) {
    ShowWindow();
    EXPECT_FALSE(form->windowIcon().isNull());
    EXPECT_FALSE(Button("BitBtn1")->icon().isNull());
    EXPECT_EQ(Button("BitBtn1")->iconSize(), QSize(20, 20));
    EXPECT_FALSE(Button("BitBtn2")->icon().isNull());
    EXPECT_EQ(Button("BitBtn2")->iconSize(), QSize(23, 23));
    EXPECT_TRUE(Button("BitBtn3")->icon().isNull());
}

TEST_F(WindowTest, MemoWrapsWordsWithoutScrollBars) {
    ShowWindow();
    auto* memo = Control<QPlainTextEdit>("Memo1");
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

// The window owns its port component, with only the receive handler bound.
TEST_F(WindowTest, WindowOwnsItsPortWithOnlyTheReceiveHandlerBound) {
    ShowWindow();
    TBComPort* port = form->BComPort1;
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->Owner(), form->Components());
    EXPECT_EQ(port->Name(), "BComPort1");
    EXPECT_TRUE(port->OnRxChar);
    EXPECT_FALSE(port->OnTxEmpty || port->OnRing || port->OnError || port->OnRx80Full ||
                 port->OnCTSChange || port->OnDSRChange || port->OnRLSDChange);
}
