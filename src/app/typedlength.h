#pragma once

#include <QValidator>

// Limits what can be typed into a field without cutting a longer text set
// from outside, as a stored user name or an eleven-digit number read back.
class TypedLengthValidator : public QValidator {
public:
    TypedLengthValidator(int length, QObject *parent) : QValidator(parent), m_length(length) {}

    State validate(QString &input, int &) const override { return input.size() <= m_length ? Acceptable : Invalid; }

private:
    int m_length;
};
