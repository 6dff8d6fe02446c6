#pragma once

// Turns the just-in-time compiler of the toolkit's regular expressions off for this process, and
// leaves the environment as it was, so that the programs the reporter starts keep their own.
//
// Needed with MinGW-w64: when a thread ends, the runtime may free the storage of its thread_local
// variables before it runs their destructors. The toolkit keeps each thread's JIT stack in such a
// variable, and every thread that ran a JIT-compiled match registers its destructor; a thread
// ending then frees whatever pointer its freed storage holds by then, and the process crashes
// now and then (the web client's thread parses every answer with a regular expression). Without
// the JIT nothing touches that variable. It must run before the first pattern is compiled: the
// toolkit reads its setting once.
void turnRegularExpressionJitOff();
