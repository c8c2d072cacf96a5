#include "StoreFaults.h"

#include <sqlite3.h>

namespace {
StoreFaults::Fault currentFault = StoreFaults::Fault::None;
sqlite3_vfs faultyVfs;
sqlite3_vfs *realVfs = nullptr;
// Files opened through the faulty layer keep its methods after it is removed.
sqlite3_io_methods faultyMethods;
const sqlite3_io_methods *realMethods = nullptr;

int faultyWrite(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    if (currentFault == StoreFaults::Fault::DiskFull)
        return SQLITE_FULL;
    return realMethods->xWrite(file, data, amount, offset);
}

int faultyOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    if (currentFault == StoreFaults::Fault::NoNewFiles && !(flags & SQLITE_OPEN_MAIN_DB))
        return SQLITE_CANTOPEN;
    const int opened = realVfs->xOpen(realVfs, name, file, flags, outFlags);
    if (opened != SQLITE_OK || !file->pMethods)
        return opened;
    if (!realMethods) {
        realMethods = file->pMethods;
        faultyMethods = *realMethods;
        faultyMethods.xWrite = faultyWrite;
    }
    if (file->pMethods == realMethods)
        file->pMethods = &faultyMethods;
    return opened;
}
}

StoreFaults::StoreFaults()
{
    realVfs = sqlite3_vfs_find(nullptr);
    faultyVfs = *realVfs;
    faultyVfs.zName = "kavo-faults";
    faultyVfs.xOpen = faultyOpen;
    sqlite3_vfs_register(&faultyVfs, 1);
}

StoreFaults::~StoreFaults()
{
    currentFault = Fault::None;
    sqlite3_vfs_unregister(&faultyVfs);
}

void StoreFaults::set(Fault fault)
{
    currentFault = fault;
}
