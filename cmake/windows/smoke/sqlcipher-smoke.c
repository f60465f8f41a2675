/* Writes an encrypted database or reads one back, and tells which SQLCipher
 * and crypto library did it:
 *   sqlcipher-smoke FILE KEY write   a new FILE with table t of two names
 *   sqlcipher-smoke FILE KEY read    prints t's names
 */
#include <sqlcipher/sqlite3.h>
#include <stdio.h>
#include <string.h>

static int print_row(void* unused, int count, char** values, char** names) {
    (void)unused;
    for (int i = 0; i < count; i++) {
        printf("%s%s=%s", i ? " " : "", names[i], values[i] ? values[i] : "NULL");
    }
    printf("\n");
    return 0;
}

static int run(sqlite3* db, const char* sql) {
    char* error = NULL;
    if (sqlite3_exec(db, sql, print_row, NULL, &error) != SQLITE_OK) {
        fprintf(stderr, "%s: %s\n", sql, error ? error : "error");
        sqlite3_free(error);
        return 0;
    }
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 4 || (strcmp(argv[3], "write") != 0 && strcmp(argv[3], "read") != 0)) {
        fprintf(stderr, "usage: sqlcipher-smoke FILE KEY write|read\n");
        return 2;
    }
    const int writing = strcmp(argv[3], "write") == 0;
    if (writing) {
        remove(argv[1]);
    }
    sqlite3* db = NULL;
    const int flags = writing ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(argv[1], &db, flags, NULL) != SQLITE_OK) {
        fprintf(stderr, "%s: %s\n", argv[1], sqlite3_errmsg(db));
        return 1;
    }
    char key[256];
    snprintf(key, sizeof key, "PRAGMA key = '%s';", argv[2]);
    int ok = run(db, key) && run(db, "SELECT sqlite_version() AS sqlite;") &&
             run(db, "PRAGMA cipher_version;") && run(db, "PRAGMA cipher_provider;") &&
             (!writing || run(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT);"
                                  "INSERT INTO t(name) VALUES ('from Windows'), ('Zürich');")) &&
             run(db, "SELECT name FROM t ORDER BY id;");
    if (sqlite3_close(db) != SQLITE_OK) {
        ok = 0;
    }
    return ok ? 0 : 1;
}
