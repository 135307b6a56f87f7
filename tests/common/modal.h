#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers modal dialogs through the real dialog: while it lives, every
// showing of a modal window is handed to the action once, and counted. A
// dialog shown again straight after it closed counts as a new showing.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget *)> action) : m_action(std::move(action))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible()) {
                m_handled = nullptr;
                return;
            }
            // Still the showing answered before, left open by the action.
            if (modal == m_handled)
                return;
            m_handled = modal;
            ++m_count;
            m_action(modal);
            if (m_handled && !m_handled->isVisible())
                m_handled = nullptr;
        });
        m_timer.start(5);
    }

    // How many showings were answered.
    int count() const { return m_count; }

private:
    std::function<void(QWidget *)> m_action;
    QTimer m_timer;
    QPointer<QWidget> m_handled;
    int m_count = 0;
};
