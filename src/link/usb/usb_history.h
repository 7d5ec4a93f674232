#pragma once

#include <QString>
#include <QStringList>

#include <deque>

// The history of the USB link: arrivals, removals, configuration reports, data and read errors. Every added
// line becomes the selected one. Only the newest lines are kept, so that a run of days at a hundred reports
// a second does not grow memory without end.
class UsbHistory {
public:
    static constexpr int DefaultLimit = 10000; // lines

    explicit UsbHistory(int limit = DefaultLimit) : m_limit(limit > 0 ? limit : 1) {}

    void add(const QString &line);
    void clear() { m_lines.clear(); }

    int count() const { return static_cast<int>(m_lines.size()); }
    const QString &line(int index) const { return m_lines.at(static_cast<size_t>(index)); }
    // The newest line, which is the selected one; empty when there is none.
    QString selectedLine() const { return m_lines.empty() ? QString() : m_lines.back(); }
    int ItemIndex() const { return count() - 1; }
    long long added() const { return m_added; } // lines ever added, the dropped ones included
    QStringList lines() const;

private:
    int m_limit;
    std::deque<QString> m_lines;
    long long m_added = 0;
};
