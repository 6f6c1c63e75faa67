// Symbol visibility for the rkxml library.
//
// The library is built with hidden visibility; only what is marked RKXML_API
// is exported from the shared library. RKXML_LOCAL hides single members of an
// exported class (internal helpers that tests reach through a static build).
#ifndef RKXML_EXPORT_H
#define RKXML_EXPORT_H

#if defined(RKXML_STATIC)
#define RKXML_API
#define RKXML_LOCAL
#elif defined(_WIN32)
#if defined(RKXML_BUILDING)
#define RKXML_API __declspec(dllexport)
#else
#define RKXML_API __declspec(dllimport)
#endif
#define RKXML_LOCAL
#else
#define RKXML_API __attribute__((visibility("default")))
#define RKXML_LOCAL __attribute__((visibility("hidden")))
#endif

#endif
