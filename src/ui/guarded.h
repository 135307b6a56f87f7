#pragma once

#include "ui/uiplatform.h"

#include <QString>
#include <exception>

class QWidget;

// Runs a handler's body; an error it raises is shown in the error box and
// the handler ends there, so no exception ever leaves a Qt slot.
template <typename F> void guarded(QWidget *parent, F &&body)
{
    try {
        body();
    } catch (const std::exception &e) {
        platform::showError(parent, QString::fromUtf8(e.what()));
    }
}
