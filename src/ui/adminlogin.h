#pragma once

#include "db/fbservice.h"

#include <QDialog>

#include <optional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

// Asks for the name and password of a server's database administrator, for
// one piece of work that the program's own account may not do. Nothing
// typed here is kept.
class AdminLoginDialog : public QDialog {
    Q_OBJECT

public:
    explicit AdminLoginDialog(const QString &why, QWidget *parent = nullptr);

    QLabel *LabelWhy;
    QLineEdit *EditAdminUser;
    QLineEdit *EditAdminPassword;
    QDialogButtonBox *Buttons;
};

// The administrator's login as typed; nothing when the dialog was
// cancelled.
std::optional<ServiceLogin> askAdministrator(const QString &why, QWidget *parent);
