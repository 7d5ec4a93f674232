#pragma once

#include <QByteArray>
#include <QIODevice>

#include <cstdint>
#include <cstring>
#include <vector>

// Gathers a file's bytes and hands them to the device a megabyte at a time:
// few system calls, and no copy of the whole file in memory. The buffer
// starts small and doubles up to a chunk, so a small file costs no megabyte.
// Callers put at most RowRoom bytes between two calls of rowDone().
class ChunkWriter {
public:
    static constexpr qsizetype ChunkBytes = 1 << 20;
    static constexpr qsizetype RowRoom = 1 << 12;

    explicit ChunkWriter(QIODevice &out) : m_out(out), m_buffer(m_limit + RowRoom, Qt::Uninitialized) {}

    void put(const char *bytes, qsizetype size)
    {
        std::memcpy(m_buffer.data() + m_size, bytes, size_t(size));
        m_size += size;
    }
    void put(const QByteArray &bytes) { put(bytes.constData(), bytes.size()); }
    // For short pieces from a source with Slack readable bytes after them: a
    // fixed-size copy, cheaper than a call to memcpy for a few bytes.
    static constexpr qsizetype Slack = 16;
    void putShort(const char *bytes, qsizetype size)
    {
        if (size > Slack)
            return put(bytes, size);
        std::memcpy(m_buffer.data() + m_size, bytes, Slack);
        m_size += size;
    }
    void put(char c) { m_buffer.data()[m_size++] = c; }
    // Decimal, written in place two digits at a time.
    void putNumber(qint64 value)
    {
        quint64 magnitude = value < 0 ? 0u - quint64(value) : quint64(value);
        if (value < 0)
            put('-');
        int digits = 1;
        for (quint64 limit = 10; digits < 20 && magnitude >= limit; limit *= 10)
            ++digits;
        m_size += digits;
        char *p = m_buffer.data() + m_size;
        while (magnitude >= 100) {
            const quint64 pair = magnitude % 100;
            magnitude /= 100;
            p -= 2;
            std::memcpy(p, kDigitPairs + 2 * pair, 2);
        }
        if (magnitude >= 10)
            std::memcpy(p - 2, kDigitPairs + 2 * magnitude, 2);
        else
            p[-1] = char('0' + magnitude);
    }

    // Between rows: writes the chunk once it is full. False when the device failed.
    bool rowDone()
    {
        if (m_size < m_limit)
            return true;
        if (m_limit < ChunkBytes) {
            m_limit *= 2;
            m_buffer.resize(m_limit + RowRoom);
            return true;
        }
        return flush();
    }
    bool flush()
    {
        const bool ok = m_out.write(m_buffer.constData(), m_size) == m_size;
        m_size = 0;
        return ok;
    }

private:
    static constexpr char kDigitPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";

    QIODevice &m_out;
    qsizetype m_limit = RowRoom; // before m_buffer, which is sized from it
    QByteArray m_buffer;
    qsizetype m_size = 0;
};

// The cells of a table's distinct texts as a writer puts them, each encoded
// once on first use and kept back to back in one block, with ChunkWriter's
// slack after the last. Ids are those of the table's text pool.
class EncodedCells {
public:
    explicit EncodedCells(std::uint32_t idEnd)
        : m_cells(idEnd, Cell{0, -1}), m_bytes(ChunkWriter::Slack, '\0')
    {
    }

    // encode(id, bytes) appends the cell of id to bytes.
    template <class Encode> void put(ChunkWriter &chunk, std::uint32_t id, Encode &&encode)
    {
        Cell &cell = m_cells[id];
        if (cell.size < 0) {
            m_bytes.resize(m_bytes.size() - ChunkWriter::Slack);
            cell.offset = m_bytes.size();
            encode(id, m_bytes);
            cell.size = m_bytes.size() - cell.offset;
            m_bytes.append(ChunkWriter::Slack, '\0');
        }
        chunk.putShort(m_bytes.constData() + cell.offset, cell.size);
    }

private:
    struct Cell {
        qsizetype offset, size; // size -1: not encoded yet
    };
    std::vector<Cell> m_cells;
    QByteArray m_bytes;
};
