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

// Base of the tests that drive a signed-in main window: before each test a
// fresh copy of the test database and the window signed in on it; the
// errors the window would show are collected in m_errors instead, and the
// settings files are read and written in a folder of the test's own. A
// test class that needs more set-up declares its own init() and calls this
// one.
class SignedInWindowTest : public QObject {
    Q_OBJECT

protected:
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
