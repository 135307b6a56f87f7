#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The confirmed new password of the last showing; empty when none was given.
extern QByteArray NewPass;

// Asks for a new password, typed twice.
class TFormDiaPass : public QDialog {
    Q_OBJECT

public:
    explicit TFormDiaPass(QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *Label2;
    QLineEdit *Edit1;
    QLineEdit *Edit2;
    QPushButton *BitBtnOK;

    void FormShow();
    void BitBtnOKClick();
    void Edit1KeyDown(int key);

    // Empties both fields and the new password kept, so that nothing one
    // person typed is left for the next.
    void clearFields();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

extern TFormDiaPass *FormDiaPass;

// Shows the password dialog modally, made first if need be, and returns
// NewPass as it closed: the sign-in's way to ask for a new password.
QByteArray showPasswordDialog();
