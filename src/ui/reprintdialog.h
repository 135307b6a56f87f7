#pragma once

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

// Numbers to print again, one a line (typed, pasted or scanned), with the
// mark to put on them; nothing is registered. Bad lines are named and keep
// the window open.
class TFormReprint : public QDialog {
    Q_OBJECT
public:
    TFormReprint(const QString &mark, QWidget *parent);

    QPlainTextEdit *EditNumbers;
    QLineEdit *EditMark;
    QLabel *LabelProblems;

    // Once accepted.
    QList<qint32> Numbers;

    void accept() override;
};
