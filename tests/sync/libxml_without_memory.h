// libxml2 without memory: while a LibxmlWithoutMemory lives, libxml2's
// allocations fail (all of them, or the next few), as they would on a terminal
// that ran out of memory. libxml2 allocates through functions it can be handed,
// so nothing else in the process is touched. One at a time.
#pragma once

#include <libxml/xmlmemory.h>

#include <cstddef>

namespace quorbin::testing {

class LibxmlWithoutMemory {
 public:
  // `refusals`: how many allocations fail, every one when negative.
  explicit LibxmlWithoutMemory(int refusals = -1) {
    xmlMemGet(&free_, &real_malloc_, &real_realloc_, &real_strdup_);
    refusals_left_ = refusals;
    xmlMemSetup(free_, &Allocate, &Reallocate, &Copy);
  }
  ~LibxmlWithoutMemory() {
    xmlMemSetup(free_, real_malloc_, real_realloc_, real_strdup_);
    refusals_left_ = 0;
  }
  LibxmlWithoutMemory(const LibxmlWithoutMemory&) = delete;
  // How many of the refusals asked for are still to come.
  int refusals_left() const { return refusals_left_; }
  LibxmlWithoutMemory& operator=(const LibxmlWithoutMemory&) = delete;

 private:
  static bool Refused() {
    if (refusals_left_ == 0) return false;
    if (refusals_left_ > 0) --refusals_left_;
    return true;
  }
  static void* Allocate(std::size_t size) { return Refused() ? nullptr : real_malloc_(size); }
  static void* Reallocate(void* memory, std::size_t size) {
    return Refused() ? nullptr : real_realloc_(memory, size);
  }
  static char* Copy(const char* text) { return Refused() ? nullptr : real_strdup_(text); }

  xmlFreeFunc free_ = nullptr;
  static inline int refusals_left_ = 0;
  static inline xmlMallocFunc real_malloc_ = nullptr;
  static inline xmlReallocFunc real_realloc_ = nullptr;
  static inline xmlStrdupFunc real_strdup_ = nullptr;
};

}  // namespace quorbin::testing
