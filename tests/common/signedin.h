#pragma once

#include "testdb.h"

#include "app/mainform.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A shown main window signed in as the demo administrator on a fresh copy
// of the test database; null (and a test failure) when the sign-in fails.
std::unique_ptr<TFormMain> signedInMainForm(TestDb &db);

// The same on a given database: a file or a server's connection string.
std::unique_ptr<TFormMain> signedInMainForm(const QString &database);

// Base of the tests that drive the main window: before each test a fresh
// window on a fresh copy of the test database, signed out and not yet
// shown; the errors the window would show are collected in m_errors
// instead, and the settings files are read and written in a folder of the
// test's own. A test class that needs more set-up declares its own slots
// and calls these.
class WindowTest : public QObject {
    Q_OBJECT

protected:
    // Types the name and password into the strip and presses its button.
    void signIn(const QString &user, const QString &password);

    // Answers the confirmation dialog that action raises with yes or no,
    // and returns how many questions were asked.
    int answerQuestion(bool yes, const std::function<void()> &action);

    // Reads and writes the window's database behind its back.
    QList<QByteArray> rows(const QByteArray &select) const;
    QByteArray value(const QByteArray &select) const { return rows(select).value(0); }
    void exec(const QByteArray &statement) const;

    TestDb m_db;
    QTemporaryDir m_settings;
    std::unique_ptr<TFormMain> m_form;
    QStringList m_errors;

protected slots:
    void initTestCase();
    void init();
    void cleanup();
};

// The same with the window shown and signed in as the demo administrator
// before each test.
class SignedInWindowTest : public WindowTest {
    Q_OBJECT

protected slots:
    void init();
};
