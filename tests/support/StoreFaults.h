#pragma once

// A file layer under the database engine that fails on demand: as a full disk
// (every write fails) or as a directory that takes no new files (no journal can be
// made). Installed for the lifetime of the object; databases opened meanwhile are
// affected whenever a fault is set.
class StoreFaults
{
public:
    enum class Fault { None, DiskFull, NoNewFiles };

    StoreFaults();
    ~StoreFaults();
    StoreFaults(const StoreFaults &) = delete;
    StoreFaults &operator=(const StoreFaults &) = delete;

    void set(Fault fault);
};
