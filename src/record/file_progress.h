#pragma once

#include <QtGlobal>

// Told how far a long load or save has come, so that the window can show a
// sign of life. Amounts are in whatever unit begin() announced (bytes or rows).
class FileProgress {
public:
    virtual ~FileProgress() = default;
    virtual void begin(qint64 total) = 0;
    virtual void advance(qint64 done) = 0;
    virtual void end() = 0;
};

// Calls end() when a load or save leaves, by any way.
class ProgressScope {
public:
    ProgressScope(FileProgress *progress, qint64 total) : m_progress(progress)
    {
        if (m_progress)
            m_progress->begin(total);
    }
    ~ProgressScope()
    {
        if (m_progress)
            m_progress->end();
    }
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;
    void advance(qint64 done)
    {
        if (m_progress)
            m_progress->advance(done);
    }

private:
    FileProgress *m_progress;
};
