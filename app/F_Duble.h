// The main window: its design (F_Duble.ui), its port component and its handlers.
#pragma once

#include "BCPort.h"
#include "MemoLog.h"

#include <QMainWindow>

#include <memory>
#include <optional>

namespace Ui {
class TForm1;
}

// What a close handler may do with the close: caNone keeps the window open.
enum TCloseAction { caNone, caHide, caFree, caMinimize };

class TForm1 : public QMainWindow {
    Q_OBJECT

  public:
    explicit TForm1(QWidget* Parent = nullptr);
    ~TForm1() override; // frees the components before the controls go

    // Handlers. Qt reaches them only through GuardHandler, so whatever they raise goes to
    // the error box and never into Qt's event loop.
    void FormShow(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void BitBtn1Click(TObject* Sender);
    void BitBtn2Click(TObject* Sender);
    void BitBtn3Click(TObject* Sender);
    void Edit1KeyPress(TObject* Sender, char16_t& Key); // Key 0: the box does not get it
    void BComPort1RxChar(TObject* Sender, int Count);
    void N2Click(TObject* Sender);

    // The form's side in the component tree: owns BComPort1 and is the Sender of the
    // form's handlers.
    TComponent* Components() const { return components_.get(); }
    TBComPort* BComPort1 = nullptr;

    // Memo1's text as the window wrote it, CR included (see TMemoLog).
    const QString& Memo1Text() const { return memo1Log_->Text(); }

  protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

  private:
    void ConnectHandlers();

    std::unique_ptr<Ui::TForm1> ui;
    std::optional<TMemoLog> memo1Log_; // made once ui has made Memo1
    // Declared after ui so that it goes first: the port closes while the controls its
    // handlers touch still exist.
    std::unique_ptr<TComponent> components_;
    bool shown_ = false;
};
