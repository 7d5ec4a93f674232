#include "link/usb/usb_history.h"

void UsbHistory::add(const QString &line)
{
    m_lines.push_back(line);
    ++m_added;
    while (static_cast<int>(m_lines.size()) > m_limit)
        m_lines.pop_front();
}

QStringList UsbHistory::lines() const
{
    QStringList result;
    result.reserve(count());
    for (const QString &line : m_lines)
        result << line;
    return result;
}
