// MinGW-w64 ships no sanitizer runtime and no sanitizer headers. Code that
// marks memory for AddressSanitizer includes this header unconditionally;
// here, as in GCC's own header when the sanitizer is off, the marks do
// nothing.
#pragma once

#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
