#pragma once

#include "privatemounts.h"

#include <QApplication>
#include <QLocale>
#include <QTest>
#include <cstdio>
#include <unistd.h>

/// How a fault test must be run.
struct FaultTestNeeds
{
    const char *rootFor = nullptr; ///< why root is needed; nothing when it is not
    bool privateMounts = false;    ///< a mount namespace of its own
};

/// main() of a fault test: without root when root is needed, prints why and
/// exits 77 (CTest's "skipped"); enters a private mount namespace when asked,
/// before any thread starts; then runs the QtTest object @p Test under a
/// QApplication.
template<class Test>
int runFaultTest(int argc, char **argv, FaultTestNeeds needs = {})
{
    if (needs.rootFor && geteuid() != 0) {
        std::printf("SKIPPED: needs root (%s)\n", needs.rootFor);
        return 77;
    }
    if (needs.privateMounts) {
        const QString problem = enterPrivateMountNamespace();
        if (!problem.isEmpty()) {
            std::printf("FAIL: %s\n", qPrintable(problem));
            return 1;
        }
    }
    QApplication app(argc, argv);
    // Result lines carry the locale's date and time separators.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Test test;
    return QTest::qExec(&test, argc, argv);
}
