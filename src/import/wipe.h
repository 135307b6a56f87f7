#pragma once

#include <QtGlobal>

#include <array>
#include <functional>

// The first-run wipe: every working table emptied and its generators set
// back, in this order. The reference tables, the accounts and the barcode
// register keep their rows.
extern const std::array<const char *, 35> kWipeStatements;

// Runs the wipe's statements as one transaction: all of them, or, when one
// fails, none. progress, when given, hears each statement done.
void runWipe(const std::function<void(qsizetype done)> &progress = {});
