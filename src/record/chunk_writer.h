#pragma once

#include <QByteArray>
#include <QIODevice>

#include <cstring>

// Gathers a file's bytes and hands them to the device a megabyte at a time:
// few system calls, and no copy of the whole file in memory. Callers put at
// most RowRoom bytes between two calls of rowDone().
class ChunkWriter {
public:
    static constexpr qsizetype ChunkBytes = 1 << 20;
    static constexpr qsizetype RowRoom = 1 << 12;

    explicit ChunkWriter(QIODevice &out) : m_out(out), m_buffer(ChunkBytes + RowRoom, Qt::Uninitialized) {}

    void put(const char *bytes, qsizetype size)
    {
        std::memcpy(m_buffer.data() + m_size, bytes, size_t(size));
        m_size += size;
    }
    void put(const QByteArray &bytes) { put(bytes.constData(), bytes.size()); }
    void put(char c) { m_buffer.data()[m_size++] = c; }
    void putNumber(qint64 value)
    {
        char digits[24];
        char *p = digits + sizeof digits;
        quint64 magnitude = value < 0 ? 0u - quint64(value) : quint64(value);
        do {
            *--p = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (value < 0)
            *--p = '-';
        put(p, digits + sizeof digits - p);
    }

    // Between rows: writes the chunk once it is full. False when the device failed.
    bool rowDone() { return m_size < ChunkBytes || flush(); }
    bool flush()
    {
        const bool ok = m_out.write(m_buffer.constData(), m_size) == m_size;
        m_size = 0;
        return ok;
    }

private:
    QIODevice &m_out;
    QByteArray m_buffer;
    qsizetype m_size = 0;
};
