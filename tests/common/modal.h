#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers modal dialogs through the real dialog: while it lives, every modal
// window that opens is handed to the action, and counted.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget *)> action) : m_action(std::move(action))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal) {
                m_handled = nullptr;
                return;
            }
            if (modal == m_handled)
                return;
            m_handled = modal;
            ++m_count;
            m_action(modal);
        });
        m_timer.start(10);
    }

    // How many modal dialogs were answered.
    int count() const { return m_count; }

private:
    std::function<void(QWidget *)> m_action;
    QTimer m_timer;
    QWidget *m_handled = nullptr;
    int m_count = 0;
};
