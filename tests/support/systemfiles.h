#pragma once

#include <QTest>

// Whether this build has the system's own files (the serial driver's
// extras, the trace file's descriptor checks) rather than the plain-Qt
// fallbacks of the portable build.
#ifdef ALARM_LINUX_APIS
constexpr bool kSystemFiles = true;
#else
constexpr bool kSystemFiles = false;
#endif

// Skips the rest of a test that needs what only the system's own files do.
#define SKIP_ON_PLAIN_QT(what) \
    do { \
        if (!kSystemFiles) { \
            QTest::qSkip("the plain-Qt fallbacks cannot " what, __FILE__, __LINE__); \
            return; \
        } \
    } while (false)
