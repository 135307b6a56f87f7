#pragma once

#include <QDialog>
#include <QObject>

class QTextBrowser;

// The staff's guide to the working day, with its pictures, built into the
// program so that an installed copy has it too.
class TFormHelp : public QDialog {
    Q_OBJECT

public:
    explicit TFormHelp(QWidget *parent = nullptr);

    QTextBrowser *BrowserHelp;
};

// While it lives, F1 in any window of the program opens the guide over that
// window: beside the main window, or over a dialog, which would otherwise
// leave it out of reach.
class HelpKey : public QObject {
    Q_OBJECT

public:
    explicit HelpKey(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Opens the guide over a window, or brings forward the one already there.
TFormHelp *showGuide(QWidget *over);
