// Placement new for code that builds objects in storage it manages itself.
// The freestanding Windows build has no C++ runtime headers, so it defines the
// two placement forms here; every other build takes them from <new>.
#ifndef VESK_NEW_H
#define VESK_NEW_H

#include <stddef.h>

#if defined(VESK_FREESTANDING)
inline void* operator new(size_t, void* place) noexcept { return place; }
inline void operator delete(void*, void*) noexcept {}
#else
#include <new>
#endif

#endif  // VESK_NEW_H
