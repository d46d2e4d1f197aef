// Hardware-table commands: the record test driven by a command file, the
// bulk initialisation, the built-in speed test (block "s_tcam") and the
// catalogue queries (sub-block "m_table").
#ifndef QUORBIX_TOOL_TRANS_TABLE_TEST_H
#define QUORBIX_TOOL_TRANS_TABLE_TEST_H

#include <cstdint>

#include "tool/trans_op.h"

TransOpStatus test_tcam_record(const char *params);
TransOpStatus init_tcam_record(const char *params);
TransOpStatus test_table_func(const char *params);

TransOpStatus get_table_info_byid(const char *params);
TransOpStatus get_table_num(const char *params);
TransOpStatus del_table(const char *params);

// Runs a command file: 0; -1216 or -1218 for the file itself; -1202 when a
// line or its data text is bad (the run stops there); otherwise the first
// failed result write (the run went on).
int32_t parse_config_file(const char *path);

// Appends "name\tword\n" or "name\tword\ttext\n" (text not null) to the
// result file: 0, -1216 (open) or -1218 (write or close).
int32_t write_result_to_file(const char *path, const char *name, const char *word, const char *text);

// One command-file operation each: 0 once its result line is written
// (whatever the library answered), -1202 for a bad table or data text,
// or the failed result write.
int32_t clear_stat(const char *name, uint32_t table, uint32_t index, const char *data, const char *path);
int32_t delete_record(const char *name, uint32_t table, uint32_t index, const char *data, const char *path);
int32_t get_record(const char *name, uint32_t table, uint32_t index, const char *data, const char *path);
int32_t read_stat(const char *name, uint32_t table, uint32_t index, const char *data, const char *path);
int32_t write_record(const char *name, uint32_t table, uint32_t index, const char *data, const char *path);

#endif
