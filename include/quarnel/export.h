// What the library exports: its public functions, and nothing else, when it
// is built as a shared library.
#pragma once

#if defined(QUARNEL_BUILDING_SHARED)
#if defined(_WIN32)
#define QUARNEL_API __declspec(dllexport)
#else
#define QUARNEL_API __attribute__((visibility("default")))
#endif
#elif defined(QUARNEL_SHARED) && defined(_WIN32)
#define QUARNEL_API __declspec(dllimport)
#else
#define QUARNEL_API
#endif
