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

/* Status codes returned by FileRecover. */
enum {
  VESK_OK = 0,                  /* finished; a schema or a table was recovered */
  VESK_NOTHING_RECOVERED = -3,  /* finished, but nothing was recovered */
  VESK_NO_DATABASE_DIR = -4,    /* the database directory cannot be found */
  VESK_CANNOT_CREATE_OUTPUT = -5, /* result directory or its first files */
  VESK_NO_SIBLING_LIBRARY = -6, /* tarncmn could not be loaded or initialised;
                                   nothing was created */
  VESK_INTERNAL_ERROR = -7,     /* the run ended early on an unexpected error;
                                   the script holds what was written before */
  VESK_STOPPED = -1000          /* stopped through the break flag */
};

/* Status text for the user ("Pass 1: analyzing database...", "done", ...). */
typedef void(VESK_CALL* MessageCallback)(const char* text, intptr_t user);
/* Stage name (catalog or table name, or empty) and percent 0..100. */
typedef void(VESK_CALL* ProgressCallback)(const char* stage, int32_t percent, intptr_t user);

/* Recovers the database directory that holds `path` (any file inside it; only
 * the text before its last path separator is used). The result directory is
 * created as "<prefix>Recovered <dir> <d-Mon-yyyy hh.mm.ss>". `unused` is
 * ignored. Callbacks may be null. `logFile` may be null or empty: the log then
 * stays in a temporary file. Returns one of the status codes above. */
VESK_EXPORT int32_t VESK_CALL FileRecover(const char* path, const char* prefix, int32_t unused,
                                          MessageCallback message, ProgressCallback progress,
                                          intptr_t user, const char* logFile);

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
