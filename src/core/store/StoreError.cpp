#include "core/store/StoreError.h"

#include <cerrno>
#include <sqlite3.h>

namespace skyloom {

StoreError::StoreError(const std::string& what, int sqliteCode, int systemErrno)
    : std::runtime_error(what), sqliteCode_(sqliteCode), systemErrno_(systemErrno) {}

StoreOpenError::StoreOpenError(Reason reason, const std::string& what, int sqliteCode,
                               int systemErrno)
    : StoreError(what, sqliteCode, systemErrno), reason_(reason) {}

StoreOpenError::Reason StoreOpenError::classifyErrno(int systemErrno) {
    switch (systemErrno) {
    case EACCES:
    case EPERM:
    case EROFS:
        return Reason::permission;
    case ENOSPC:
    case EDQUOT:
        return Reason::diskFull;
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY:
        return Reason::busy;
    default:
        return Reason::ioError;
    }
}

StoreOpenError::Reason StoreOpenError::classify(int sqliteExtendedCode, int systemErrno) {
    switch (sqliteExtendedCode & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Reason::busy;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return Reason::permission;
    case SQLITE_FULL:
        return Reason::diskFull;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_NOMEM:
    case SQLITE_PROTOCOL:
    case SQLITE_NOLFS:
    case SQLITE_INTERRUPT:
    case SQLITE_ABORT:
        // The errno tells a refused permission or a full disk from a failing device.
        return systemErrno != 0 ? classifyErrno(systemErrno) : Reason::ioError;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_EMPTY:
        return Reason::damagedContent;
    default:
        // Not known to mean damage (a newer SQLite's file format, say):
        // moving the file aside could orphan records that are intact.
        return Reason::unknown;
    }
}

} // namespace skyloom
