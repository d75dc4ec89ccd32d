#include "SqliteDatabase.h"

#include <utility>

namespace lh {

SqliteDatabase::Statement::Statement(Statement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr))
{
}

SqliteDatabase::Statement& SqliteDatabase::Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
    }
    return *this;
}

SqliteDatabase::Statement::~Statement()
{
    sqlite3_finalize(statement_);
}

void SqliteDatabase::Statement::reset()
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

void SqliteDatabase::Statement::bind(int index, std::string_view bytes)
{
    sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

void SqliteDatabase::Statement::bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(statement_, index, value);
}

void SqliteDatabase::Statement::bind(int index, std::optional<double> value)
{
    if (value)
        sqlite3_bind_double(statement_, index, *value);
    else
        sqlite3_bind_null(statement_, index);
}

void SqliteDatabase::Statement::bind(int index, std::optional<std::int64_t> value)
{
    if (value)
        sqlite3_bind_int64(statement_, index, *value);
    else
        sqlite3_bind_null(statement_, index);
}

void SqliteDatabase::Statement::bind(int index, const std::optional<QString>& text)
{
    if (!text) {
        sqlite3_bind_null(statement_, index);
        return;
    }
    const QByteArray utf8 = text->toUtf8();
    sqlite3_bind_text64(statement_, index, utf8.constData(), sqlite3_uint64(utf8.size()), SQLITE_TRANSIENT, SQLITE_UTF8);
}

int SqliteDatabase::Statement::step()
{
    return sqlite3_step(statement_);
}

bool SqliteDatabase::Statement::isNull(int column) const
{
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t SqliteDatabase::Statement::integer(int column) const
{
    return sqlite3_column_int64(statement_, column);
}

double SqliteDatabase::Statement::real(int column) const
{
    return sqlite3_column_double(statement_, column);
}

QString SqliteDatabase::Statement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(statement_, column));
}

std::string_view SqliteDatabase::Statement::bytes(int column) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
    return { data ? data : "", std::size_t(sqlite3_column_bytes(statement_, column)) };
}

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : db_(std::exchange(other.db_, nullptr))
{
}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept
{
    if (this != &other) {
        close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

SqliteDatabase::~SqliteDatabase()
{
    close();
}

int SqliteDatabase::open(const std::string& path, int flags)
{
    close();
    const int result = sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (result != SQLITE_OK)
        close(); // a failed open still hands out a handle, which must be closed
    return result;
}

void SqliteDatabase::close()
{
    // Statements are owned by their holders, who finalise them first; v2 waits for stragglers.
    sqlite3_close_v2(std::exchange(db_, nullptr));
}

bool SqliteDatabase::isReadOnly() const
{
    return sqlite3_db_readonly(db_, "main") == 1;
}

int SqliteDatabase::execute(const char* sql)
{
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

std::optional<std::int64_t> SqliteDatabase::integer(const char* sql, int* result)
{
    Statement statement = prepare(sql, result);
    if (!statement.isValid())
        return std::nullopt;
    const int step = statement.step();
    if (result)
        *result = step == SQLITE_ROW ? SQLITE_OK : step;
    if (step != SQLITE_ROW)
        return std::nullopt;
    return statement.integer(0);
}

SqliteDatabase::Statement SqliteDatabase::prepare(const char* sql, int* result)
{
    sqlite3_stmt* statement = nullptr;
    const int prepared = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
    if (result)
        *result = prepared;
    if (prepared != SQLITE_OK) {
        sqlite3_finalize(statement);
        return {};
    }
    return Statement(statement);
}

void SqliteDatabase::setBusyTimeout(int milliseconds)
{
    sqlite3_busy_timeout(db_, milliseconds);
}

QString SqliteDatabase::lastError() const
{
    return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
}

} // namespace lh
