// A Firebird client library that exports only the classic C calls, as a 2.x
// client does (no fb_get_master_interface), each forwarded to the real
// libfbclient of this machine. Built as libfbclient.so.2 in a folder of its own,
// which the tests put first on LD_LIBRARY_PATH.
#include <dlfcn.h>
#include <ibase.h>

#include <cstdarg>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

// The transaction block of isc_start_multiple.
struct Teb {
  isc_db_handle* database;
  int tpb_length;
  const char* tpb;
};

// Loaded with this library, as a client's own code is: its exit handlers then
// run after those of the program that loaded the client.
void* const real_library = dlopen(QUORBIN_REAL_FBCLIENT, RTLD_NOW | RTLD_LOCAL);

void* Real(const char* name) {
  void* address = real_library ? dlsym(real_library, name) : nullptr;
  if (!address) std::abort();
  return address;
}

template <typename Function>
Function RealCall(const char* name) {
  return reinterpret_cast<Function>(Real(name));
}

}  // namespace

#define FORWARD(name, ...)                                     \
  static const auto real = RealCall<decltype(&::name)>(#name); \
  return real(__VA_ARGS__)

extern "C" {

ISC_STATUS isc_attach_database(ISC_STATUS* s, short l, const ISC_SCHAR* n, isc_db_handle* d,
                               short pl, const ISC_SCHAR* p) {
  FORWARD(isc_attach_database, s, l, n, d, pl, p);
}
ISC_STATUS isc_detach_database(ISC_STATUS* s, isc_db_handle* d) {
  FORWARD(isc_detach_database, s, d);
}
// Variadic: the triples (database, TPB length, TPB) go to isc_start_multiple.
ISC_STATUS isc_start_transaction(ISC_STATUS* s, isc_tr_handle* t, short count, ...) {
  std::vector<Teb> vector(static_cast<std::size_t>(count));
  va_list arguments;
  va_start(arguments, count);
  for (Teb& teb : vector) {
    teb.database = va_arg(arguments, isc_db_handle*);
    teb.tpb_length = va_arg(arguments, int);
    teb.tpb = va_arg(arguments, const char*);
  }
  va_end(arguments);
  static const auto real = RealCall<decltype(&::isc_start_multiple)>("isc_start_multiple");
  return real(s, t, count, vector.data());
}
ISC_STATUS isc_start_multiple(ISC_STATUS* s, isc_tr_handle* t, short c, void* v) {
  FORWARD(isc_start_multiple, s, t, c, v);
}
ISC_STATUS isc_commit_transaction(ISC_STATUS* s, isc_tr_handle* t) {
  FORWARD(isc_commit_transaction, s, t);
}
ISC_STATUS isc_rollback_transaction(ISC_STATUS* s, isc_tr_handle* t) {
  FORWARD(isc_rollback_transaction, s, t);
}
ISC_STATUS isc_dsql_allocate_statement(ISC_STATUS* s, isc_db_handle* d, isc_stmt_handle* h) {
  FORWARD(isc_dsql_allocate_statement, s, d, h);
}
ISC_STATUS isc_dsql_prepare(ISC_STATUS* s, isc_tr_handle* t, isc_stmt_handle* h, unsigned short l,
                            const ISC_SCHAR* q, unsigned short d, XSQLDA* x) {
  FORWARD(isc_dsql_prepare, s, t, h, l, q, d, x);
}
ISC_STATUS isc_dsql_describe(ISC_STATUS* s, isc_stmt_handle* h, unsigned short d, XSQLDA* x) {
  FORWARD(isc_dsql_describe, s, h, d, x);
}
ISC_STATUS isc_dsql_execute(ISC_STATUS* s, isc_tr_handle* t, isc_stmt_handle* h, unsigned short d,
                            const XSQLDA* x) {
  FORWARD(isc_dsql_execute, s, t, h, d, x);
}
// With QUORBIN_CLASSIC_CLIENT_FETCH_THROWS set, a fetch raises std::bad_alloc:
// work inside a transaction that ends by an exception which is not the client's.
ISC_STATUS isc_dsql_fetch(ISC_STATUS* s, isc_stmt_handle* h, unsigned short d, const XSQLDA* x) {
  if (std::getenv("QUORBIN_CLASSIC_CLIENT_FETCH_THROWS")) throw std::bad_alloc();
  FORWARD(isc_dsql_fetch, s, h, d, x);
}
ISC_STATUS isc_dsql_free_statement(ISC_STATUS* s, isc_stmt_handle* h, unsigned short o) {
  FORWARD(isc_dsql_free_statement, s, h, o);
}
ISC_STATUS isc_dsql_sql_info(ISC_STATUS* s, isc_stmt_handle* h, short l, const ISC_SCHAR* i,
                             short bl, ISC_SCHAR* b) {
  FORWARD(isc_dsql_sql_info, s, h, l, i, bl, b);
}
ISC_STATUS isc_open_blob2(ISC_STATUS* s, isc_db_handle* d, isc_tr_handle* t, isc_blob_handle* b,
                          ISC_QUAD* q, ISC_USHORT l, const ISC_UCHAR* p) {
  FORWARD(isc_open_blob2, s, d, t, b, q, l, p);
}
ISC_STATUS isc_get_segment(ISC_STATUS* s, isc_blob_handle* b, unsigned short* l, unsigned short bl,
                           ISC_SCHAR* buffer) {
  FORWARD(isc_get_segment, s, b, l, bl, buffer);
}
ISC_STATUS isc_close_blob(ISC_STATUS* s, isc_blob_handle* b) {
  FORWARD(isc_close_blob, s, b);
}
ISC_LONG fb_interpret(ISC_SCHAR* b, unsigned int l, const ISC_STATUS** v) {
  FORWARD(fb_interpret, b, l, v);
}
int fb_shutdown(unsigned int t, const int r) {
  FORWARD(fb_shutdown, t, r);
}

}  // extern "C"
