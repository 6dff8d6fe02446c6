#pragma once

#include <QString>

class QtCommandLine;

// The reporter's own command line, in one place for the program and for its manual page: the
// options in the order the help text lists them, and the help text's usage line.
//
// dumpRequired: false when the free word "+send-pending" asks for the queued reports, which need
// no dump.
void addReporterOptions(QtCommandLine &commandLine, bool dumpRequired = true);

QString reporterUsage();
