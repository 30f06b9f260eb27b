// Keeps the large blocks of whole runs for the next run instead of returning them
// to the system: a run allocates some 60 MB of tables and work arrays, and
// mapping fresh zeroed pages for them every run took most of its time. Blocks
// still come from malloc, so AddressSanitizer guards their edges; a block handed
// out again is not checked for use after free.
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

constexpr size_t kBig = size_t(1) << 20;
constexpr int kSlots = 64;

struct Slot {
  void* p = nullptr;
  size_t n = 0;
  bool used = false;
};
Slot slots[kSlots];
std::atomic_flag busy = ATOMIC_FLAG_INIT;

struct Lock {
  Lock() {
    while (busy.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~Lock() { busy.clear(std::memory_order_release); }
};

void* take(size_t n) {
  if (n >= kBig) {
    Lock lock;
    for (Slot& s : slots) {
      if (s.p && !s.used && s.n == n) {
        s.used = true;
        return s.p;
      }
    }
  }
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) return nullptr;
  if (n >= kBig) {
    Lock lock;
    for (Slot& s : slots) {
      if (s.p == nullptr) {
        s = Slot{p, n, true};
        break;
      }
    }
  }
  return p;
}

void give(void* p) noexcept {
  if (p == nullptr) return;
  {
    Lock lock;
    for (Slot& s : slots) {
      if (s.p == p) {
        s.used = false;
        return;
      }
    }
  }
  std::free(p);
}

void* take_or_throw(size_t n) {
  void* p = take(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(size_t n) { return take_or_throw(n); }
void* operator new[](size_t n) { return take_or_throw(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return take(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return take(n); }
void operator delete(void* p) noexcept { give(p); }
void operator delete[](void* p) noexcept { give(p); }
void operator delete(void* p, size_t) noexcept { give(p); }
void operator delete[](void* p, size_t) noexcept { give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { give(p); }
