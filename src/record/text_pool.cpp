#include "text_pool.h"

#include <QHashFunctions>

TextPool::TextPool() : m_offsets{0, 0}, m_slots(64, 0)
{
    // Id 0, the empty text, is in the offsets but never in the slots.
}

QStringView TextPool::view(std::uint32_t id) const
{
    if (id >= size())
        return {};
    return QStringView(m_chars.data() + m_offsets[id], m_offsets[id + 1] - m_offsets[id]);
}

std::size_t TextPool::slotOf(QStringView text) const
{
    const std::size_t mask = m_slots.size() - 1;
    std::size_t slot = qHash(text) & mask;
    while (m_slots[slot] != 0 && view(m_slots[slot] - 1) != text)
        slot = (slot + 1) & mask;
    return slot;
}

std::uint32_t TextPool::intern(QStringView text)
{
    if (text.isEmpty())
        return 0;
    std::size_t slot = slotOf(text);
    if (m_slots[slot] != 0)
        return m_slots[slot] - 1;

    const std::uint32_t id = size();
    m_chars.insert(m_chars.end(), text.utf16(), text.utf16() + text.size());
    m_offsets.push_back(static_cast<std::uint32_t>(m_chars.size()));
    if (2 * (id + 1) > m_slots.size()) {
        grow();
        slot = slotOf(text);
    }
    m_slots[slot] = id + 1;
    return id;
}

void TextPool::grow()
{
    std::vector<std::uint32_t> old(m_slots.size() * 2, 0);
    m_slots.swap(old);
    for (std::uint32_t entry : old) {
        if (entry != 0)
            m_slots[slotOf(view(entry - 1))] = entry;
    }
}
