#include "MemoLog.h"

#include <QPlainTextEdit>
#include <QTextCursor>

void TMemoLog::Append(const QString& Piece) {
    text_ += Piece;
    QString shown = Piece;
    shown.remove(QChar(u'\r'));
    QTextCursor end(memo_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(shown);
}
