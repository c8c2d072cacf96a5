#include "ChainReader.h"

#include "ChainHash.h"
#include "UsageDatabase.h"

#include <sqlite3.h>

#include <algorithm>

namespace {
// Rows a run, and runs read ahead per source: some hundred kilobytes a source.
constexpr int rowsPerRun = 1024;
constexpr size_t runsAhead = 3;
}

ChainReader::ChainReader(const QString &path)
    : m_failure(open(path))
{
}

ChainReader::~ChainReader()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_taken.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    close();
}

Failure ChainReader::open(const QString &path)
{
    if (const Failure failure = UsageDatabase::openReader(path, m_db))
        return failure;
    return ChainHash::install(m_db.get());
}

int ChainReader::add(std::unique_ptr<ChainSource> source)
{
    m_queues.push_back({std::move(source), {}, false});
    return int(m_queues.size()) - 1;
}

void ChainReader::start()
{
    m_thread = std::thread([this] { readAll(); });
}

std::optional<ChainRows> ChainReader::take(int source, const Deadline &deadline)
{
    std::unique_lock lock(m_mutex);
    Queue &queue = m_queues[size_t(source)];
    const auto read = [&] { return !queue.runs.empty(); };
    if (deadline)
        m_read.wait_until(lock, *deadline, read);
    else
        m_read.wait(lock, read);
    if (queue.runs.empty())
        return std::nullopt;
    ChainRows rows = std::move(queue.runs.front());
    queue.runs.pop_front();
    lock.unlock();
    m_taken.notify_all();
    return rows;
}

// Reads the sources in turn, each as far ahead as it may, until all are read.
void ChainReader::readAll()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        Queue *queue = nextToRead();
        if (!queue) {
            if (std::all_of(m_queues.begin(), m_queues.end(),
                            [](const Queue &each) { return each.ended; }))
                break;
            m_taken.wait(lock);
            continue;
        }
        lock.unlock();
        ChainRows rows = queue->source->read(rowsPerRun);
        lock.lock();
        queue->ended = rows.isLast();
        queue->runs.push_back(std::move(rows));
        m_read.notify_all();
    }
    lock.unlock();
    // What was read stays queued.
    close();
}

ChainReader::Queue *ChainReader::nextToRead()
{
    for (size_t tried = 0; tried < m_queues.size(); ++tried) {
        Queue &queue = m_queues[m_turn];
        m_turn = (m_turn + 1) % m_queues.size();
        if (!queue.ended && queue.runs.size() < runsAhead)
            return &queue;
    }
    return nullptr;
}

void ChainReader::close()
{
    for (Queue &queue : m_queues)
        queue.source.reset();
    m_db.reset();
}
