#pragma once

#include "FileFacts.h"
#include "SqliteDatabase.h"

#include <cstdint>
#include <string_view>

namespace lh {

// How the metadata cache lays FileFacts out in its table: one row per file, keyed by the
// path's bytes (WITHOUT ROWID, so the key is stored once), the stream description and the tags
// as plain columns so the database answers questions about them later, and the day the file
// was last named, for pruning.
namespace FactsTable {

// The table as version 1 of the database has it.
extern const char* const createSql;
// Takes the path (1); gives seen first, then what readFacts reads.
extern const char* const selectSql;
// Take the first path wanted (1) and give the rows from there on in path order, with the path
// in the column named beside them, for looking many files up in one pass.
// Gives what selectSql gives.
extern const char* const selectFromSql;
constexpr int selectFromPathColumn = 22;
// Gives seen and the duration of the files whose stream is known.
extern const char* const durationFromSql;
constexpr int durationFromPathColumn = 2;
// Gives seen, then what readListing reads.
extern const char* const listingFromSql;
constexpr int listingFromPathColumn = 8;
// Takes the path (1), the day (2), then the facts (bindFacts).
extern const char* const replaceSql;
// Takes the day (1) and the path (2).
extern const char* const touchSql;
// Takes the oldest day kept (1).
extern const char* const pruneSql;

// The facts of the row `statement` (from selectSql) stands on.
FileFacts readFacts(const SqliteDatabase::Statement& statement);
// The stamp, the duration and the tags' title and artists of the row `statement` (from
// listingFromSql) stands on, and nothing else: what a launch names its rows by.
FileFacts readListing(const SqliteDatabase::Statement& statement);
// The day of that row.
std::int64_t readSeen(const SqliteDatabase::Statement& statement);
void bindFacts(SqliteDatabase::Statement& statement, std::string_view path, std::int64_t day, const FileFacts& facts);

} // namespace FactsTable
} // namespace lh
