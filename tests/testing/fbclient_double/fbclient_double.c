/* A stand-in for fbclient.dll in the Windows tests of the client's discovery
 * (tests/shell/windows_fbclient_discovery_test.sh). It exports the classic calls
 * the agent resolves (store/firebird_client_library.cc) and refuses every
 * attach with a text of its own that names its width and the file it was loaded
 * from, so a test reads which file the agent used:
 *
 *   fbclient test double (64-bit) C:\...\fbclient.dll refuses the attach
 *
 * Written in C and built by the Windows test build for both widths, with the
 * cross-compiler of each (tests/shell/CMakeLists.txt). The calls are __stdcall
 * on 32-bit Windows, as ibase.h declares them; the link exports them without
 * their decoration (--kill-at), as Firebird's own client does. */
#include <windows.h>
#include <ibase.h>
#include <stdio.h>
#include <string.h>

static HMODULE self;
static char refusal[1024];

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

/* The refusal as a status vector: one error whose text is a string argument. */
static ISC_STATUS Refuse(ISC_STATUS* status) {
  char path[MAX_PATH + 1] = "";
  GetModuleFileNameA(self, path, MAX_PATH);
  snprintf(refusal, sizeof refusal, "fbclient test double (%d-bit) %s refuses the attach",
           (int)(sizeof(void*) * 8), path);
  status[0] = isc_arg_gds;
  status[1] = isc_random;
  status[2] = isc_arg_string;
  status[3] = (ISC_STATUS)(intptr_t)refusal;
  status[4] = isc_arg_end;
  return status[1];
}

ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* buffer, unsigned int length,
                                 const ISC_STATUS** vector) {
  const ISC_STATUS* status = *vector;
  if (length == 0 || status[0] != isc_arg_gds || status[1] != isc_random ||
      status[2] != isc_arg_string) {
    return 0;
  }
  const char* text = (const char*)(intptr_t)status[3];
  size_t size = strlen(text);
  if (size >= length) size = length - 1;
  memcpy(buffer, text, size);
  buffer[size] = '\0';
  *vector = status + 4;
  return (ISC_LONG)size;
}

ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* status, short name_length,
                                          const ISC_SCHAR* name, isc_db_handle* database,
                                          short parameters_length, const ISC_SCHAR* parameters) {
  (void)name_length, (void)name, (void)database, (void)parameters_length, (void)parameters;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* status, isc_db_handle* database) {
  (void)database;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS* status, isc_tr_handle* transaction,
                                                   short count, ...) {
  (void)transaction, (void)count;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* status, isc_tr_handle* transaction) {
  (void)transaction;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* status, isc_tr_handle* transaction) {
  (void)transaction;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_allocate_statement(ISC_STATUS* status, isc_db_handle* database,
                                                  isc_stmt_handle* statement) {
  (void)database, (void)statement;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* transaction,
                                       isc_stmt_handle* statement, unsigned short length,
                                       const ISC_SCHAR* text, unsigned short dialect,
                                       XSQLDA* area) {
  (void)transaction, (void)statement, (void)length, (void)text, (void)dialect, (void)area;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS* status, isc_stmt_handle* statement,
                                        unsigned short dialect, XSQLDA* area) {
  (void)statement, (void)dialect, (void)area;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS* status, isc_tr_handle* transaction,
                                       isc_stmt_handle* statement, unsigned short dialect,
                                       const XSQLDA* area) {
  (void)transaction, (void)statement, (void)dialect, (void)area;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* status, isc_stmt_handle* statement,
                                     unsigned short dialect, const XSQLDA* area) {
  (void)statement, (void)dialect, (void)area;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* status, isc_stmt_handle* statement,
                                              unsigned short option) {
  (void)statement, (void)option;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* status, isc_stmt_handle* statement,
                                        short items_length, const ISC_SCHAR* items,
                                        short buffer_length, ISC_SCHAR* buffer) {
  (void)statement, (void)items_length, (void)items, (void)buffer_length, (void)buffer;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_open_blob2(ISC_STATUS* status, isc_db_handle* database,
                                     isc_tr_handle* transaction, isc_blob_handle* blob,
                                     ISC_QUAD* id, ISC_USHORT length, const ISC_UCHAR* parameters) {
  (void)database, (void)transaction, (void)blob, (void)id, (void)length, (void)parameters;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_get_segment(ISC_STATUS* status, isc_blob_handle* blob,
                                      unsigned short* length, unsigned short buffer_length,
                                      ISC_SCHAR* buffer) {
  (void)blob, (void)length, (void)buffer_length, (void)buffer;
  return Refuse(status);
}

ISC_STATUS ISC_EXPORT isc_close_blob(ISC_STATUS* status, isc_blob_handle* blob) {
  (void)blob;
  return Refuse(status);
}

int ISC_EXPORT fb_shutdown(unsigned int timeout, const int reason) {
  (void)timeout, (void)reason;
  return 0;
}
