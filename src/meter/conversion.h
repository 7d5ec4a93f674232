#pragma once

#include <QString>

#include <stdexcept>

// A text that should have been a number was not. Its message is what the
// user sees in the general error report.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// A decimal 32-bit integer with an optional sign, nothing else; throws
// ConversionError "'<text>' is not a valid integer value" otherwise.
int strToInt(const QString &text);

// The same without throwing: false when the text is not such an integer.
bool tryStrToInt(const QString &text, int &value);
