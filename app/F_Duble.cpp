#include "F_Duble.h"

#include "AnsiCodePage.h"
#include "Application.h"
#include "BaudRateChoice.h"
#include "ComPortDesign.h"
#include "ComboBoxItemIndex.h"
#include "ComboBoxStrings.h"
#include "StrToInt.h"
#include "TransferGuard.h"
#include "ui_F_Duble.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>

#include <cstdint>
#include <string>

namespace {

// The client area below the menu, as designed: Panel1 on top, PageControl1 below it.
constexpr int DesignClientWidth = 271;
constexpr int DesignClientHeight = 73 + 228;

} // namespace

TForm1::TForm1(QWidget* Parent)
    : QMainWindow(Parent), ui(std::make_unique<Ui::TForm1>()),
      components_(std::make_unique<TComponent>(nullptr)) {
    ui->setupUi(this);
    memo1Log_.emplace(ui->Memo1);
    components_->SetName("Form1");

    // Designer adds a box's items after its text and selects the first item, so the
    // design texts of the two boxes are set here, with no entry selected.
    ui->ComboBox1->setEditText("ComboBox1");
    ui->ComboBox2->setCurrentIndex(-1);
    ui->ComboBox2->setEditText("ComboBox2");
    // The menu bar's height depends on the font; the client area keeps the design's size.
    resize(DesignClientWidth, menuBar()->sizeHint().height() + DesignClientHeight);

    BComPort1 = new TBComPort(components_.get()); // freed by its owner
    BComPort1->SetName("BComPort1");
    RestoreBComPort1Design(*BComPort1);
    BComPort1->OnRxChar = [this](TObject* Sender, int Count) { BComPort1RxChar(Sender, Count); };

    ConnectHandlers();
}

TForm1::~TForm1() = default;

void TForm1::ConnectHandlers() {
    TObject* sender = components_.get();
    connect(ui->BitBtn1, &QPushButton::clicked, this,
            [this, sender] { GuardHandler(sender, [&] { BitBtn1Click(sender); }); });
    connect(ui->BitBtn2, &QPushButton::clicked, this,
            [this, sender] { GuardHandler(sender, [&] { BitBtn2Click(sender); }); });
    connect(ui->BitBtn3, &QPushButton::clicked, this,
            [this, sender] { GuardHandler(sender, [&] { BitBtn3Click(sender); }); });
    connect(ui->N2, &QAction::triggered, this,
            [this, sender] { GuardHandler(sender, [&] { N2Click(sender); }); });
    ui->Edit1->installEventFilter(this);
}

void TForm1::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (shown_) return;
    shown_ = true;
    GuardHandler(components_.get(), [&] { FormShow(components_.get()); });
}

void TForm1::closeEvent(QCloseEvent* Event) {
    TCloseAction action = caHide;
    bool handled = false;
    GuardHandler(components_.get(), [&] {
        FormClose(components_.get(), action);
        handled = true;
    });
    // A handler that raised, or one that chose caNone, keeps the window open.
    if (handled && action != caNone)
        Event->accept();
    else
        Event->ignore();
}

// Typed characters pass through Edit1KeyPress before Edit1 gets them.
bool TForm1::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched != ui->Edit1 || Event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(Watched, Event);
    const QString text = static_cast<QKeyEvent*>(Event)->text();
    if (text.size() != 1) return false; // keys that type nothing (Delete, arrows) go on
    const char16_t typed = text.at(0).unicode();
    char16_t key = typed;
    bool handled = false;
    GuardHandler(components_.get(), [&] {
        Edit1KeyPress(components_.get(), key);
        handled = true;
    });
    if (handled && key == typed) return false;
    if (handled && key != 0) ui->Edit1->insert(QString(QChar(key)));
    return true;
}

void TForm1::FormShow(TObject* /*Sender*/) {
    TComboBoxStrings ports(ui->ComboBox1);
    ListSerialPorts(&ports);
    ui->ComboBox1->setCurrentIndex(1); // the second port; with fewer, no entry at all
    ui->ComboBox2->setCurrentIndex(br9600);
}

void TForm1::FormClose(TObject* /*Sender*/, TCloseAction& /*Action*/) {
    if (BComPort1->Close()) {
        ui->BitBtn1->setEnabled(true);
        ui->BitBtn2->setEnabled(false);
    }
}

void TForm1::BitBtn1Click(TObject* /*Sender*/) {
    BComPort1->SetPort(ui->ComboBox1->currentText().toStdString());
    BComPort1->SetBaudRate(
        BaudRateFromChoice(ItemIndex(*ui->ComboBox2), ui->ComboBox2->currentText().toStdString()));
    if (BComPort1->Open()) {
        ui->BitBtn1->setEnabled(false);
        ui->BitBtn2->setEnabled(true);
        ui->BitBtn3->setEnabled(true);
        setWindowTitle(ui->ComboBox1->currentText());
    }
}

void TForm1::BitBtn2Click(TObject* /*Sender*/) {
    if (BComPort1->Close()) {
        ui->BitBtn1->setEnabled(true);
        ui->BitBtn2->setEnabled(false);
        ui->BitBtn3->setEnabled(false);
        setWindowTitle("Test");
    }
}

// Sends the command text, then the number's two low bytes, low byte first, as two writes.
// Each write is polled to its end before the next step; the port's write timeouts end
// every write within a bounded time, so the polls cannot spin forever.
void TForm1::BitBtn3Click(TObject* /*Sender*/) {
    const std::string command = Utf8ToAnsi(ui->Edit2->text().toStdString());
    {
        PPortTransfer async = nullptr;
        CreateTransfer(async);
        const TTransferGuard release(async);
        BComPort1->WriteData(command.data(), static_cast<int>(command.size()), async);
        while (!BComPort1->TransferDone(async)) {
        }
    }

    // The command is on the line by now; a bad number stops here and sends no value.
    const auto value = static_cast<std::uint32_t>(StrToInt(ui->Edit1->text().toStdString()));
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value & 0xFFu),
                                   static_cast<std::uint8_t>((value >> 8) & 0xFFu)};
    PPortTransfer async = nullptr;
    CreateTransfer(async);
    const TTransferGuard release(async);
    BComPort1->WriteData(bytes, 2, async);
    while (!BComPort1->TransferDone(async)) {
    }
}

// Only digits reach Edit1 by typing; Backspace and other control characters are dropped
// too. Keys that type nothing (Delete, arrows) never come here.
void TForm1::Edit1KeyPress(TObject* /*Sender*/, char16_t& Key) {
    if (Key < u'0' || Key > u'9') Key = 0;
}

// Reads up to three bytes as one value, first byte lowest; bytes not received count as 0
// and bytes past the third wait for the next arrival. Runs on the main thread through the
// hand-over: what it raises ends event delivery without a box, and the log is untouched.
void TForm1::BComPort1RxChar(TObject* /*Sender*/, int /*Count*/) {
    std::uint8_t reply[3] = {0, 0, 0};
    {
        PPortTransfer async = nullptr;
        CreateTransfer(async);
        const TTransferGuard release(async);
        BComPort1->ReadData(reply, 3, async);
        while (!BComPort1->TransferDone(async)) {
        }
        BComPort1->AwaitTransfer(async);
    }
    const std::uint32_t value = reply[0] + 256u * reply[1] + 65536u * reply[2];
    memo1Log_->Append(QStringLiteral("\n\r") + QString::number(value) + QStringLiteral("\n\r"));
}

// Exactly what the close box does: closeEvent, and so FormClose, decides.
void TForm1::N2Click(TObject* /*Sender*/) {
    close();
}
