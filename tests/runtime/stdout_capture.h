// Runs a piece of code and gives back what it printed on standard output.
#ifndef NOLMAK_TESTS_RUNTIME_STDOUT_CAPTURE_H
#define NOLMAK_TESTS_RUNTIME_STDOUT_CAPTURE_H

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

template <class Body>
std::string printed_by(Body &&body)
{
    fflush(stdout);
    testing::internal::CaptureStdout();
    body();
    // The library's lines are not flushed by the library itself.
    fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

#endif
