// orveldump --html over every file of the command line.
#pragma once

struct Arguments;

// Writes each file's page (stdout, -o FILE or -o FOLDER); the exit status as for a dump.
int RunHtml(const Arguments& arguments);
