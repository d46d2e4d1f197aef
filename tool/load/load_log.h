// Console lines of the logic store and loader: "file:line [quorbix-ERR]"
// or "file:line [quorbix-INFO]" followed by the text as given (a text
// without a line end leaves the cursor on the line).
#ifndef QUORBIX_TOOL_LOAD_LOAD_LOG_H
#define QUORBIX_TOOL_LOAD_LOAD_LOG_H

void load_print(bool error, const char *file, int line, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

#define LOAD_ERR(...) load_print(true, __FILE__, __LINE__, __VA_ARGS__)
#define LOAD_INFO(...) load_print(false, __FILE__, __LINE__, __VA_ARGS__)

#endif
