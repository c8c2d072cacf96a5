#include "SqlConnection.h"

#include <sqlite3.h>

void SqlCloser::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
}
