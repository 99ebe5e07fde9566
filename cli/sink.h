// Where orveldump's output goes: standard output and standard error, or, in a worker process of
// -j, a pipe to the process that prints every file's output in input order. Every mode writes
// through here, so a dump reads the same however it is run.
#pragma once

#include <cstddef>
#include <string>

// A file's standard output.
void WriteOut(const char* text, size_t length);
inline void WriteOut(const std::string& text) { WriteOut(text.data(), text.size()); }
// A line on standard error after what the file printed so far (which is flushed first).
void WriteErr(const std::string& line);

// Sends what WriteOut and WriteErr are given down `fd` as framed chunks instead (a -j worker).
void SinkToPipe(int fd);
// Sends one framed chunk of `kind` down the pipe (the worker's end of file record). Small frames
// are held back until SinkFlush (or until 64 KiB are held), so that a file costs one write.
void SinkFrame(char kind, const char* data, size_t size);
inline void SinkFrame(char kind, const std::string& data) { SinkFrame(kind, data.data(), data.size()); }
void SinkFlush();

// Called before each line on standard error (the progress display clears its line).
void SetBeforeErr(void (*beforeErr)());

// Flushes standard output. On a write error: quietly exits with status 1 when the reader has gone
// (a closed pipe), else says why on standard error and exits with status 1.
void FlushOutOrExit();
