#pragma once

#include <QObject>
#include <QTimer>

class QLabel;
class QLineEdit;

// Two small marks at the right end of a password field while it has the
// focus: Caps Lock when it is on, and the keyboard layout, both read
// through the platform seams. Passwords are compared case for case, so a
// wrong case or layout is the commonest refused sign-in.
class KeyboardMarks : public QObject {
    Q_OBJECT

public:
    // Made as a child of the field, which owns it and the two marks.
    explicit KeyboardMarks(QLineEdit *field);

    QLabel *caps() const { return m_caps; }
    QLabel *layout() const { return m_layout; }

    // Reads the state again and shows it, while the field has the focus.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void hideMarks();

    QLineEdit *m_field;
    QLabel *m_caps;
    QLabel *m_layout;
    // Neither a layout switch nor Caps Lock pressed in another window
    // reaches the field as an event, so the state is read a few times a
    // second while it has the focus.
    QTimer m_poll;
};
