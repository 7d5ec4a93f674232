#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

// Stores each distinct text once and hands out small ids for it. The table
// repeats the same few functions, units, verdicts, values and times of day
// millions of times; a row then costs four bytes per text. Id 0 is the empty
// text. Texts are never removed (the set of distinct texts stays small).
class TextPool {
public:
    TextPool();

    std::uint32_t intern(QStringView text);
    QStringView view(std::uint32_t id) const;
    QString text(std::uint32_t id) const { return view(id).toString(); }
    std::uint32_t size() const { return static_cast<std::uint32_t>(m_offsets.size() - 1); }

private:
    void grow();
    std::size_t slotOf(QStringView text) const;

    std::vector<char16_t> m_chars;        // all texts back to back
    std::vector<std::uint32_t> m_offsets; // text id starts at m_offsets[id]; one extra at the end
    std::vector<std::uint32_t> m_slots;   // open addressing: id + 1, 0 for a free slot
};
