#pragma once

#include <memory>

struct sqlite3;

// Closes a database connection when its owner lets it go.
struct SqlCloser
{
    void operator()(sqlite3 *db) const;
};

// One open database connection; the parts of the usage database share its owner's.
using SqlConnection = std::unique_ptr<sqlite3, SqlCloser>;
