#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lh {

// One connection to an SQLite database, used by one thread at a time (it is opened without
// SQLite's own mutex: its owner serialises the calls). Failures are SQLite's result codes,
// returned rather than thrown, because each one the cache meets decides what it does next.
class SqliteDatabase {
public:
    // A prepared statement of this connection, reset and rebound for each use.
    class Statement {
    public:
        Statement() = default;
        Statement(Statement&& other) noexcept;
        Statement& operator=(Statement&& other) noexcept;
        ~Statement();

        bool isValid() const noexcept { return statement_ != nullptr; }
        // Resets the statement and clears its bindings, ready for the next use.
        void reset();
        void bind(int index, std::string_view bytes); // as a blob: paths are bytes
        void bind(int index, std::int64_t value);
        void bind(int index, std::optional<double> value);
        void bind(int index, std::optional<std::int64_t> value);
        void bind(int index, const std::optional<QString>& text);
        // SQLITE_ROW, SQLITE_DONE or an error code.
        int step();

        bool isNull(int column) const;
        std::int64_t integer(int column) const;
        double real(int column) const;
        QString text(int column) const;
        // A blob or text column's bytes, valid until the statement steps or is reset.
        std::string_view bytes(int column) const;

    private:
        friend class SqliteDatabase;
        explicit Statement(sqlite3_stmt* statement)
            : statement_(statement)
        {
        }
        sqlite3_stmt* statement_ = nullptr;
    };

    SqliteDatabase() = default;
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    ~SqliteDatabase();

    // SQLITE_OK, or why the file could not be opened; `flags` as sqlite3_open_v2 takes them.
    int open(const std::string& path, int flags);
    void close();
    bool isOpen() const noexcept { return db_ != nullptr; }
    // The connection could only open the file for reading, whatever was asked.
    bool isReadOnly() const;

    // Runs statements that return no rows.
    int execute(const char* sql);
    // The first column of the first row of a query that returns one integer.
    std::optional<std::int64_t> integer(const char* sql, int* result = nullptr);
    // An invalid statement when `sql` does not prepare; `result` then says why.
    Statement prepare(const char* sql, int* result = nullptr);
    void setBusyTimeout(int milliseconds);
    // The message of the last failure, for saying what went wrong.
    QString lastError() const;

private:
    sqlite3* db_ = nullptr;
};

} // namespace lh
