// The reply log behind Memo1.
//
// The window writes LF CR around each value. A Qt text document cannot hold a lone CR:
// QTextCursor::insertText and setPlainText both turn it into a paragraph break, so the
// widget alone would read back LF LF digits LF LF. The log therefore keeps the exact
// text it was given, and shows it as a terminal would: LF starts a new line, CR returns
// to the start of the line, which after the LF it already is, so it shows nothing.
// Appending inserts only the new piece at the end: the document is never rebuilt, so a
// log left running for hours stays as quick as a new one.
#pragma once

#include <QString>

class QPlainTextEdit;

class TMemoLog {
  public:
    explicit TMemoLog(QPlainTextEdit* Memo) : memo_(Memo) {}

    void Append(const QString& Piece);
    // Everything appended so far, CR included.
    const QString& Text() const { return text_; }

  private:
    QPlainTextEdit* memo_;
    QString text_;
};
