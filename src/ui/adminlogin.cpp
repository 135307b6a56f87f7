#include "ui/adminlogin.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

AdminLoginDialog::AdminLoginDialog(const QString &why, QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Администратор базы данных"));
    setModal(true);

    LabelWhy = new QLabel(why, this);
    LabelWhy->setObjectName(QStringLiteral("LabelWhy"));
    LabelWhy->setWordWrap(true);

    // The server's own administrator is the usual one.
    EditAdminUser = new QLineEdit(QStringLiteral("SYSDBA"), this);
    EditAdminUser->setObjectName(QStringLiteral("EditAdminUser"));
    EditAdminPassword = new QLineEdit(this);
    EditAdminPassword->setObjectName(QStringLiteral("EditAdminPassword"));
    EditAdminPassword->setEchoMode(QLineEdit::Password);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    Buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("отмена"));
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("имя:"), EditAdminUser);
    fields->addRow(QStringLiteral("пароль:"), EditAdminPassword);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LabelWhy);
    layout->addLayout(fields);
    layout->addWidget(Buttons);
    setFixedWidth(360);
    // The name is usually right already; the password is what is typed.
    EditAdminPassword->setFocus();
}

std::optional<ServiceLogin> askAdministrator(const QString &why, QWidget *parent)
{
    AdminLoginDialog dialog(why, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    ServiceLogin login;
    login.user = dialog.EditAdminUser->text().trimmed().toUtf8();
    login.password = dialog.EditAdminPassword->text().toUtf8();
    return login;
}
