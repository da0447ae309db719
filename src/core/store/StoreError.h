#pragma once

#include <stdexcept>
#include <string>

namespace skyloom {

// A failure of the model store: reading, saving or opening it.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const std::string& what, int sqliteCode = 0, int systemErrno = 0);

    // SQLite's extended result code, 0 when the failure did not come from SQLite.
    int sqliteCode() const { return sqliteCode_; }
    // The operating system's errno behind the failure, 0 when unknown.
    int systemErrno() const { return systemErrno_; }

private:
    int sqliteCode_;
    int systemErrno_;
};

// The store file could not be opened. Only known damage may be moved aside;
// every other reason leaves the files where they are, since the records in
// them may still be intact (a newer Skyloom can still read its own store).
class StoreOpenError : public StoreError {
public:
    enum class Reason {
        damagedContent, // not a database, corrupt, failed check, another application's file
        newerSchema,    // written by a newer Skyloom
        busy,           // another process holds the store or its database lock
        permission,     // the files or their folder cannot be read or written
        ioError,        // the device failed, or the system ran out of resources
        diskFull,       // no space (or quota) left to write
        unknown,        // an error not known to mean damage
    };

    StoreOpenError(Reason reason, const std::string& what, int sqliteCode = 0, int systemErrno = 0);

    Reason reason() const { return reason_; }
    bool isDamagedContent() const { return reason_ == Reason::damagedContent; }

    // The reason behind an SQLite result code and the errno SQLite saw.
    static Reason classify(int sqliteExtendedCode, int systemErrno);
    // The reason behind a failed system call.
    static Reason classifyErrno(int systemErrno);

private:
    Reason reason_;
};

} // namespace skyloom
