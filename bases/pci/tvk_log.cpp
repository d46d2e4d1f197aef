#include "bases/pci/tvk_log.h"

#include <cstdio>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

namespace {
constexpr int kStartLevel = 3;
}

int g_iLogLevel = kStartLevel;

GLOBALS_RESET(tvk_log)
{
    g_iLogLevel = kStartLevel;
}

namespace {

struct TvkTag {
    int level;
    const char *tag;
};

constexpr TvkTag kTags[] = {
    {TVK_LVL_DBG, "<TVK-DBG>"},   {TVK_LVL_INFO, "<TVK-INFO>"}, {TVK_LVL_NOTE, "<TVK-NOTE>"},
    {TVK_LVL_WARN, "<TVK-WARN>"}, {TVK_LVL_ERR, "<TVK-ERR>"},   {TVK_LVL_LOG, "[LOG] "},
};

const char *tag_of(int level)
{
    for (const TvkTag &t : kTags)
        if (t.level == level)
            return t.tag;
    return "";
}

bool passes(int level) { return level == TVK_LVL_LOG || level >= g_iLogLevel; }

// Appends "file line tag" and the text to the log, or to standard output.
__attribute__((format(printf, 4, 0))) void write_line(const char *file, int line, const char *tag,
                                                      const char *format, va_list ap)
{
    FILE *log = host().fopen("tavik.log", "a+");
    FILE *out = log ? log : stdout;
    std::fprintf(out, "%s %d %s", file, line, tag);
    std::vfprintf(out, format, ap);
    if (log)
        std::fclose(log);
    else
        std::fflush(stdout);
}

__attribute__((format(printf, 4, 5))) void write_fmt(const char *file, int line, const char *tag, const char *format,
                                                     ...)
{
    va_list ap;
    va_start(ap, format);
    write_line(file, line, tag, format, ap);
    va_end(ap);
}

} // namespace

void tvk_log_at(const char *file, int line, int level, const char *format, ...)
{
    if (!passes(level))
        return;
    va_list ap;
    va_start(ap, format);
    write_line(file, line, tag_of(level), format, ap);
    va_end(ap);
}

void tvk_show(const char *format, ...)
{
    std::fputs("[SHOW] ", stdout);
    va_list ap;
    va_start(ap, format);
    std::vprintf(format, ap);
    va_end(ap);
    std::fflush(stdout);
}

namespace {

// The text of one dump line, "%08x:" and " %02hhx" per byte.
struct HexLine {
    char text[128] = {};
    size_t used = 0;

    void start(unsigned offset)
    {
        used = 0;
        text[0] = '\0';
        put(snprintf_s(text, sizeof text, sizeof text - 1, "%08x:", offset));
    }
    void add(const char *piece) { put(snprintf_s(text + used, sizeof text - used, sizeof text - used - 1, "%s", piece)); }
    void add_byte(unsigned char byte)
    {
        put(snprintf_s(text + used, sizeof text - used, sizeof text - used - 1, " %02hhx", byte));
    }
    void put(int n) { used += n > 0 ? static_cast<size_t>(n) : 0; }
};

} // namespace

void tvk_log_hex_at(const char *file, int line, int level, const void *data, int len, int addr, int limit,
                    const char *who)
{
    if (data == nullptr)
        return;
    char label[32] = "<WHO>";
    if (who != nullptr)
        (void)snprintf_s(label, sizeof label, sizeof label - 1, "%s", who);
    if (level < 0)
        return;
    bool shown = level >= g_iLogLevel;
    if (shown)
        write_fmt(file, line, label, "--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n");
    const auto *bytes = static_cast<const unsigned char *>(data);
    int column = addr % 16;
    HexLine buf;
    if (column != 0) {
        buf.start(static_cast<unsigned>(addr) - static_cast<unsigned>(column));
        for (int k = 0; k < column; k++)
            buf.add("   ");
    }
    int count = len < limit ? len : limit;
    for (int i = 0; i < count; i++) {
        if ((i + column) % 16 == 0) {
            if (buf.used > 0 && shown)
                write_fmt(file, line, label, "%s\n", buf.text);
            buf.start(static_cast<unsigned>(addr) + static_cast<unsigned>(i));
        }
        buf.add_byte(bytes[i]);
    }
    if (shown)
        write_fmt(file, line, label, "%s\n", buf.text);
}
