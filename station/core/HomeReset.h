#pragma once

#include "Failure.h"

#include <QString>

#include <sys/types.h>

// Makes a customer account's home anew between two customers: everything in it is
// removed and the template's files are copied in, owned by the account. Nothing
// outside the home is ever touched: links are removed or copied as links, never
// followed, and the home itself must be a directory of the account's own.
namespace HomeReset {

// Where the template is looked for: the café's own, else the system's.
inline constexpr char cafeTemplate[] = "/etc/kavo-station/vorlage";
inline constexpr char systemTemplate[] = "/etc/skel";

// The café's template where it exists, else the system's.
QString templateDirectory();

Failure reset(const QString &home, uid_t owner, gid_t group, const QString &templateDir);

}
