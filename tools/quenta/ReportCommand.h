#pragma once

// quenta report [--out FILE] [--with-backups] [--port-dir DIR]
//
// Writes the support report (the last wire traces, the port check, the carried package and the
// versions of the program, Qt and the kernel) as one .tar.gz, codeplug backups only when asked.
int runReportCommand(int argc, char** argv);
