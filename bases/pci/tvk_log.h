// The PCI diagnosis log "tavik.log", shared by the PCI access library and
// the platform checks. One line per message: source path, line, tag, text.
// Gated lines are written when their level is at least g_iLogLevel; "[LOG] "
// lines always; "[SHOW] " lines go to standard output only. The file is
// opened ("a+", relative to the working directory) and closed per line; when
// it cannot be opened the line goes to standard output.
#ifndef QUORBIX_BASES_PCI_TVK_LOG_H
#define QUORBIX_BASES_PCI_TVK_LOG_H

#include <cstdarg>

extern int g_iLogLevel;

enum TvkLogLevel : int {
    TVK_LVL_DBG = 0,
    TVK_LVL_INFO = 1,
    TVK_LVL_NOTE = 2,
    TVK_LVL_WARN = 3,
    TVK_LVL_ERR = 4,
    TVK_LVL_LOG = 5,   // "[LOG] ": no gate
};

// One line of `level` from `file`:`line`; the text carries its own newline.
void tvk_log_at(const char *file, int line, int level, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
// "[SHOW] " and the text on standard output.
void tvk_show(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Hex dump of min(len, limit) bytes of `data`, the first at offset `addr`,
// labelled `who` ("<WHO>" when NULL), at `level`.
void tvk_log_hex_at(const char *file, int line, int level, const void *data, int len, int addr, int limit,
                    const char *who);

#define TVK_ERR(...) tvk_log_at(__FILE__, __LINE__, TVK_LVL_ERR, __VA_ARGS__)
#define TVK_WARN(...) tvk_log_at(__FILE__, __LINE__, TVK_LVL_WARN, __VA_ARGS__)
#define TVK_NOTE(...) tvk_log_at(__FILE__, __LINE__, TVK_LVL_NOTE, __VA_ARGS__)
#define TVK_INFO(...) tvk_log_at(__FILE__, __LINE__, TVK_LVL_INFO, __VA_ARGS__)
#define TVK_DBG(...) tvk_log_at(__FILE__, __LINE__, TVK_LVL_DBG, __VA_ARGS__)
#define TVK_LOG(...) tvk_log_at(__FILE__, __LINE__, TVK_LVL_LOG, __VA_ARGS__)
#define TVK_SHOW(...) tvk_show(__VA_ARGS__)
#define tvk_level_log_hex(level, data, len, addr, limit, who) \
    tvk_log_hex_at(__FILE__, __LINE__, (level), (data), (len), (addr), (limit), (who))

#endif
