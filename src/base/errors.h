#pragma once

#include <QString>
#include <stdexcept>

// Base of the program's errors; what() is UTF-8, text() the same as QString.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString &text) : std::runtime_error(text.toStdString()) {}
    QString text() const { return QString::fromUtf8(what()); }
};

// A value that cannot be converted: a non-numeric text read as a number, a
// character that Windows-1251 cannot hold.
class ConvertError : public AppError {
public:
    using AppError::AppError;
};
