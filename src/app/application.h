#pragma once

#include <QApplication>

// The program's one error path: an error that escapes any event handler is
// shown in a message box and the program waits for the next user action.
class Application : public QApplication {
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
