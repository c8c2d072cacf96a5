#pragma once

#include "ChainRows.h"
#include "ChainSource.h"
#include "Failure.h"
#include "SqlConnection.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// Reads sources of a check of the chain (see ChainCheck) on a thread of its own, over
// a connection of its own that only reads. It keeps a few runs ahead of the check per
// source and waits while they are not taken. Let go, it stops after the run it is
// reading and closes its connection.
class ChainReader
{
public:
    using Deadline = std::optional<std::chrono::steady_clock::time_point>;

    // Opens the connection to the database file.
    explicit ChainReader(const QString &path);
    ~ChainReader();
    ChainReader(const ChainReader &) = delete;
    ChainReader &operator=(const ChainReader &) = delete;

    // Why the file can't be read here.
    const Failure &failure() const { return m_failure; }
    // The connection to make the sources on, before start().
    sqlite3 *connection() const { return m_db.get(); }

    // Adds a source made on connection(), before start(); gives its index.
    int add(std::unique_ptr<ChainSource> source);
    void start();
    // The source's next rows; none when they are still being read at the deadline.
    std::optional<ChainRows> take(int source, const Deadline &deadline);

private:
    struct Queue
    {
        std::unique_ptr<ChainSource> source;
        std::deque<ChainRows> runs;
        bool ended = false;
    };

    Failure open(const QString &path);
    void readAll();
    Queue *nextToRead();
    void close();

    SqlConnection m_db;
    Failure m_failure;
    std::vector<Queue> m_queues;
    size_t m_turn = 0;
    std::mutex m_mutex;
    std::condition_variable m_read;
    std::condition_variable m_taken;
    bool m_stopping = false;
    std::thread m_thread;
};
