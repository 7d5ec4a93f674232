#pragma once

#include <QLocale>
#include <QString>

// The user's and the system's locale, as the program reads them. Behind an
// interface so that tests can switch the decimal separator while running.
class LocaleService {
public:
    virtual ~LocaleService() = default;
    // Decimal separator of the user's default locale.
    virtual QString userDecimalSeparator() const = 0;
    // Decimal separator of the system default locale; empty when unknown.
    virtual QString systemDecimalSeparator() const = 0;
    // Number and time formats of the user's default locale.
    virtual QLocale userLocale() const = 0;
};

// The locale of the running process (LC_NUMERIC / LANG) for the user, and
// the machine-wide setting in /etc/default/locale or /etc/locale.conf for the
// system.
class SystemLocaleService : public LocaleService {
public:
    QString userDecimalSeparator() const override;
    QString systemDecimalSeparator() const override;
    QLocale userLocale() const override;
};

// A locale that stays as it is set; for tests, benchmarks and tools.
class FixedLocaleService : public LocaleService {
public:
    explicit FixedLocaleService(const QLocale &locale = QLocale::c()) : m_user(locale), m_system(locale) {}
    void setUserLocale(const QLocale &locale) { m_user = locale; }
    void setSystemLocale(const QLocale &locale) { m_system = locale; }
    QString userDecimalSeparator() const override { return m_user.decimalPoint(); }
    QString systemDecimalSeparator() const override { return m_system.decimalPoint(); }
    QLocale userLocale() const override { return m_user; }

private:
    QLocale m_user;
    QLocale m_system;
};
