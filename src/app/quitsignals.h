#pragma once

#include <QObject>

#include <signal.h>

class QSocketNotifier;
class TFormMain;

// Ends the program on SIGTERM or SIGINT as closing the main window does: a
// run in progress stops at its next record first, without a question, and
// the window closes after it. The handler only writes to a pipe, the one
// thing safe to do there; the window hears of it in its event loop.
class QuitOnSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitOnSignals(TFormMain *form);
    // Puts the handlers there were before back.
    ~QuitOnSignals() override;

private:
    void signalled();

    TFormMain *m_form;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_oldTerm {};
    struct sigaction m_oldInt {};
};
