#pragma once

#include "testdb.h"

#include "app/mainform.h"

#include <memory>

// A shown main window signed in as the demo administrator on a fresh copy
// of the test database; null (and a test failure) when the sign-in fails.
std::unique_ptr<TFormMain> signedInMainForm(TestDb &db);

// The same on a given database: a file or a server's connection string.
std::unique_ptr<TFormMain> signedInMainForm(const QString &database);
