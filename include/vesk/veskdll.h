/* Public interface of the vesk recovery engine.
 *
 * The engine reads the raw heap files of one PostgreSQL 8.2 or 8.3 database
 * directory and writes a SQL script that recreates its schemas, tables and
 * rows. All exports use the C calling convention in which the caller removes
 * the arguments (cdecl); so do the callbacks. */
#ifndef VESK_VESKDLL_H
#define VESK_VESKDLL_H

#include <stdint.h>

#if defined(_WIN32)
#define VESK_CALL __cdecl
#define VESK_EXPORT __declspec(dllexport)
#else
#define VESK_CALL
#define VESK_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes returned by FileRecover (FileRecoverEx also returns the two
 * marked "Ex only"; FileRecover reports those cases as VESK_OK and
 * VESK_NOTHING_RECOVERED, as it always did). */
enum {
  VESK_OK = 0,                  /* finished; a schema or a table was recovered */
  VESK_RECOVERED_WITH_LOSSES = 1, /* Ex only: finished, but pages were skipped,
                                   rows set aside, values lost or table files
                                   unreadable (see the table reports) */
  VESK_NOTHING_RECOVERED = -3,  /* finished, but nothing was recovered, or not
                                   one of the tables the catalog lists */
  VESK_NO_DATABASE_DIR = -4,    /* the database directory cannot be found */
  VESK_CANNOT_CREATE_OUTPUT = -5, /* result directory or its first files */
  VESK_NO_SIBLING_LIBRARY = -6, /* tarncmn could not be loaded or initialised;
                                   nothing was created */
  VESK_INTERNAL_ERROR = -7,     /* the run ended early on an unexpected error;
                                   the script holds what was written before */
  VESK_BAD_OPTIONS = -8,        /* FileRecoverEx: options of an unknown version
                                   or with a value out of range */
  VESK_UNSUPPORTED_BUILD = -9,  /* written by a server build the engine cannot
                                   read (another version, block size or byte
                                   order); nothing was decoded */
  VESK_NOT_A_DATABASE = -10,    /* Ex only: no catalog holds a plausible row;
                                   nothing was written */
  VESK_STOPPED = -1000          /* stopped through the break flag */
};

/* Status text for the user ("Pass 1: analyzing database...", "done", ...). */
typedef void(VESK_CALL* MessageCallback)(const char* text, intptr_t user);
/* Stage name (catalog or table name, or empty) and percent 0..100. */
typedef void(VESK_CALL* ProgressCallback)(const char* stage, int32_t percent, intptr_t user);

/* Recovers the database directory that holds `path` (any file inside it; only
 * the text before its last path separator is used). The result directory is
 * created as "<prefix>Recovered <dir> <d-Mon-yyyy hh.mm.ss>", <dir> being the
 * database's name when its cluster's pg_database (../../global) names it.
 * When that directory is a cluster's data directory (global/ and base/), every
 * database it lists is recovered into "<result directory>/<database>/", with
 * the loaders load_all.sh and load_all.bat beside them. `unused` is
 * ignored. Callbacks may be null. `logFile` may be null or empty: the log then
 * stays in a temporary file. Returns one of the status codes above. */
VESK_EXPORT int32_t VESK_CALL FileRecover(const char* path, const char* prefix, int32_t unused,
                                          MessageCallback message, ProgressCallback progress,
                                          intptr_t user, const char* logFile);

/* Options of FileRecoverEx. The caller zero-fills the structure, sets `size`
 * to sizeof(VeskOptions) and `version` to VESK_OPTIONS_VERSION, then the
 * fields it wants; zero always means "decide from the files". Later versions
 * only append fields: a field beyond the caller's `size` takes its default. */
enum { VESK_OPTIONS_VERSION = 1 };

/* How timestamp, time, timetz and interval values are stored. */
enum {
  VESK_DATETIME_AUTO = 0,    /* control file, else detected from the data */
  VESK_DATETIME_FLOAT = 1,   /* float8 seconds (the default server build) */
  VESK_DATETIME_INTEGER = 2  /* int64 microseconds (--enable-integer-datetimes) */
};

/* What one user table gave, sent when its scan ends (also when its file
 * could not be read at all). Texts are valid during the call only. */
typedef struct VeskTableReport {
  uint32_t size;            /* sizeof(VeskTableReport) as the engine knows it */
  const char* schema;
  const char* table;
  int64_t rowsWritten;      /* INSERT statements in the script */
  int64_t rowsQuarantined;  /* rows set aside as implausible, not in the script */
  int64_t valuesNulled;     /* values that could not be read and became NULL */
  int64_t pagesRead;
  int64_t pagesSkipped;     /* pages whose header could not be trusted */
  const char* problem;      /* null, or why the file could not be read: path and reason */
} VeskTableReport;
typedef void(VESK_CALL* TableReportCallback)(const VeskTableReport* report, intptr_t user);

/* Where Pass 2 is, sent when it begins, when a table begins and ends, after
 * about every mebibyte of a table's heap, and when the run ends or stops.
 * The byte total is the size of the recovered tables' heap files before
 * Pass 2 (their TOAST relations not included). `table` is valid during the
 * call only. */
typedef struct VeskRunProgress {
  uint32_t size;            /* sizeof(VeskRunProgress) as the engine knows it */
  int32_t tablesDone;
  int32_t tablesTotal;
  const char* table;        /* the table being read; empty between tables */
  int64_t bytesDone;
  int64_t bytesTotal;
  int64_t rowsWritten;      /* rows written so far in the whole run */
} VeskRunProgress;
typedef void(VESK_CALL* RunProgressCallback)(const VeskRunProgress* progress, intptr_t user);

/* How the rows of a table are written (VeskOptions::rowFormat). */
enum {
  VESK_ROWS_INSERT = 0, /* one INSERT statement per row */
  VESK_ROWS_COPY = 1    /* one COPY ... FROM stdin block per table, in COPY
                           text format, as pg_dump writes; a block cut by the
                           100 MiB split is ended and begun again */
};

/* How float4 and float8 values are printed (VeskOptions::floatText). */
enum {
  VESK_FLOATS_DISPLAY = 0, /* 6 and 15 significant digits, as 8.x displays
                              them (may not read back to the same bits) */
  VESK_FLOATS_EXACT = 1    /* the shortest text that reads back to the same
                              bits, as PostgreSQL 12 and later print */
};

/* The server the script is written for (VeskOptions::targetServer). */
enum {
  VESK_TARGET_ORIGINAL = 0, /* an 8.2 or 8.3 server: every type as stored */
  VESK_TARGET_CURRENT = 1   /* PostgreSQL 12 and later: a type they lack
                               (abstime, reltime, tinterval, unknown, a C type
                               whose library is missing) becomes one that
                               loads without loss; INSERT scripts turn off
                               synchronous commit */
};

/* Objects besides tables and rows (VeskOptions::schemaObjects). */
enum {
  VESK_OBJECTS_NONE = 0,          /* tables and rows only */
  VESK_OBJECTS_ALL = 1,           /* also NOT NULL, defaults, sequences, keys,
                                     checks, indexes, inheritance, views
                                     listed; written after the data, as
                                     pg_dump orders them */
  VESK_OBJECTS_NO_CONSTRAINTS = 2 /* VESK_OBJECTS_ALL without NOT NULL, keys,
                                     checks and indexes: a first, fast load of
                                     damaged data that might violate them */
};

/* What the script holds (VeskOptions::content). */
enum {
  VESK_CONTENT_ALL = 0,         /* definitions and rows */
  VESK_CONTENT_SCHEMA_ONLY = 1, /* definitions and schema objects, no rows */
  VESK_CONTENT_DATA_ONLY = 2    /* rows (and sequence values) only */
};

/* One piece of the script, for a caller that loads it straight into a
 * server (VeskOptions::scriptSink). Pieces come in script order:
 *   VESK_PIECE_SQL          SQL text; a statement may span pieces, so the
 *                           caller runs what it collected at the next piece
 *                           of another kind and at the end of the run;
 *                           comments included
 *   VESK_PIECE_TABLE_BEGIN  a user table begins (no text): its definition,
 *                           rows and the TABLE_END follow
 *   VESK_PIECE_COPY_BEGIN   "COPY ... FROM stdin;\n" of the table
 *   VESK_PIECE_COPY_DATA    one or more whole rows in COPY text format
 *   VESK_PIECE_COPY_END     "\\.\n"
 *   VESK_PIECE_TABLE_END    the table is complete (no text)
 * With VESK_ROWS_INSERT the rows come as SQL pieces instead of a COPY block.
 * `schema` and `table` name the table of a piece inside TABLE_BEGIN ..
 * TABLE_END, else they are null. Texts are valid during the call only. */
enum {
  VESK_PIECE_SQL = 1,
  VESK_PIECE_TABLE_BEGIN = 2,
  VESK_PIECE_COPY_BEGIN = 3,
  VESK_PIECE_COPY_DATA = 4,
  VESK_PIECE_COPY_END = 5,
  VESK_PIECE_TABLE_END = 6
};
typedef struct VeskScriptPiece {
  uint32_t size;       /* sizeof(VeskScriptPiece) as the engine knows it */
  int32_t kind;        /* VESK_PIECE_* */
  const char* schema;
  const char* table;
  const char* text;    /* not terminated; null when length is 0 */
  int64_t length;
} VeskScriptPiece;
/* Returns 0 to go on; nonzero stops the run as the break flag does. */
typedef int32_t(VESK_CALL* ScriptSinkCallback)(const VeskScriptPiece* piece, intptr_t user);

typedef struct VeskOptions {
  uint32_t size;            /* sizeof(VeskOptions) as the caller compiled it */
  uint32_t version;         /* VESK_OPTIONS_VERSION */
  int32_t datetimeStorage;  /* VESK_DATETIME_* */
  int32_t maxAlign;         /* 0 (decide), 4 (32-bit server) or 8 (64-bit server) */
  TableReportCallback tableReport; /* may be null */
  /* What the text's bytes really are, as a server names the encoding
     ("LATIN1", "WIN1252", "SJIS"); null or empty: what pg_database says. The
     scripts declare it and, for a cluster, each database is created with it. */
  const char* encoding;
  /* Given a cluster's data directory: the names of the databases to recover,
     ending with a null pointer; null: every database with user tables. */
  const char* const* databases;
  RunProgressCallback runProgress; /* may be null; with it (or with any
                                      FileRecoverEx call) the progress
                                      callback also gets steps inside a table */
  /* The fields below were appended later; zero keeps what FileRecover
     writes. */
  int32_t rowFormat;        /* VESK_ROWS_* */
  int32_t floatText;        /* VESK_FLOATS_* */
  int32_t targetServer;     /* VESK_TARGET_* */
  int32_t schemaObjects;    /* VESK_OBJECTS_* */
  int32_t content;          /* VESK_CONTENT_* */
  /* Nonzero: also every dead row version that can still be decoded, into
     deleted_N.sql (companion tables, loaders of their own); the live
     script is the same either way. */
  int32_t deletedRows;
  /* Non-null: the script goes to this callback piece by piece (see
     VeskScriptPiece) instead of recovered_N.sql; the result directory still
     holds the log and the quarantine file. */
  ScriptSinkCallback scriptSink;
} VeskOptions;

/* FileRecover with options; `options` may be null (all defaults). Returns
 * the same statuses, plus VESK_BAD_OPTIONS for a structure it cannot take. */
VESK_EXPORT int32_t VESK_CALL FileRecoverEx(const char* path, const char* prefix, MessageCallback message,
                                            ProgressCallback progress, intptr_t user, const char* logFile,
                                            const VeskOptions* options);

/* Registers the caller-owned cancellation byte; a nonzero byte stops the run
 * at its next poll. FileRecover clears the byte when it starts. */
VESK_EXPORT void VESK_CALL SetBreakFlag(volatile unsigned char* flag);

/* Always 2. */
VESK_EXPORT int32_t VESK_CALL GetDllVersion(void);
/* Always 0. */
VESK_EXPORT int32_t VESK_CALL isEnvReady(void);
/* Loads the sibling library tarncmn beside this one and calls its Initialize.
 * Returns 0, or VESK_NO_SIBLING_LIBRARY when it cannot be loaded. */
VESK_EXPORT int32_t VESK_CALL LoadTarncmn(void);

#ifdef __cplusplus
}
#endif

#endif
