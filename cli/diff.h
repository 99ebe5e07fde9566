// orveldump --diff A B: the structural difference of two files, readable or as JSON.
#pragma once

struct Arguments;

// Exit status: 0 when the files agree, 3 when they differ, 1 when either is refused or cannot
// be read (the diff then covers what was read).
int RunDiff(const Arguments& arguments);
